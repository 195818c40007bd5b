#!/usr/bin/env bash
# Builds the widget-free parts with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan
# and runs their test suites. Exits non-zero when a test fails or a sanitizer reports anything
# (AddressSanitizer reports also from helper processes whose exit status no test looks at).
#
#   scripts/sanitize.sh [--no-servers] [area...]
#
# area: a folder under tests/ (default: core transport engine mail batch).
# --no-servers: skip the tests that need the loopback servers instead of starting them.
# BUILD_DIR and JOBS override the build folder (default <repo>/build-asan) and build jobs (2).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build-asan}
jobs=${JOBS:-2}

with_servers=1
areas=()
for arg in "$@"; do
    case "$arg" in
    --no-servers) with_servers=0 ;;
    -h | --help)
        sed -n '2,10p' "$0"
        exit 0
        ;;
    -*)
        echo "Unknown option $arg; see $0 --help." >&2
        exit 2
        ;;
    *) areas+=("$arg") ;;
    esac
done
[ ${#areas[@]} -gt 0 ] || areas=(core transport engine mail batch)
for area in "${areas[@]}"; do
    if [ ! -f "$top/tests/$area/CMakeLists.txt" ]; then
        echo "There is no test folder tests/$area; name folders under tests/." >&2
        exit 2
    fi
done

# Without the widgets: half-finished windows cannot break this build, and nothing here needs them.
cmake -S "$top" -B "$build" -G Ninja -DVELTRANE_SANITIZE=ON -DVELTRANE_WERROR=ON -DCMAKE_BUILD_TYPE=Debug \
    -DVELTRANE_GUI=OFF >/dev/null

# Every executable of the chosen test folders, helpers included; no other target is built.
targets=()
for area in "${areas[@]}"; do
    while IFS= read -r target; do
        targets+=("$target")
    done < <(ninja -C "$build" -t targets all | sed -n "s#^\(tests/$area/[^/:]*\): CXX_EXECUTABLE_LINKER.*#\1#p")
done
if [ ${#targets[@]} -eq 0 ]; then
    echo "No test programs found in ${areas[*]}." >&2
    exit 2
fi
echo "== building ${#targets[@]} programs in $build"
ninja -C "$build" -j "$jobs" "${targets[@]}"

started_servers=0
if [ $with_servers -eq 1 ]; then
    # Other people's runs use the same servers: start them only when none listens, and stop only
    # what this run started.
    if ss -ltn 2>/dev/null | grep -E "127\.0\.0\.[2-7]:" >/dev/null; then
        echo "== loopback test servers already running"
    elif [ "$(id -u)" -eq 0 ]; then
        echo "== starting the loopback test servers"
        bash "$top/tests/servers/start-all.sh"
        started_servers=1
    else
        echo "The loopback test servers are not running; start them as root with" \
            "'bash tests/servers/start-all.sh', or pass --no-servers." >&2
        exit 2
    fi
fi
stop_servers() {
    if [ $started_servers -eq 1 ]; then
        bash "$top/tests/servers/stop-all.sh" || true
    fi
}
trap stop_servers EXIT

reports=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-sanitize.XXXXXX")
# AddressSanitizer writes its reports to files, so those of child processes are seen too. The
# separate UBSan runtime ignores log_path next to ASan: its reports are found in the tests' output
# (and halt_on_error makes the process fail).
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

ctest_args=(--output-on-failure --test-output-size-passed 50000000 --test-output-size-failed 50000000)
[ $with_servers -eq 1 ] || ctest_args+=(-LE servers)
status=0
started=$(date +%s)
for area in "${areas[@]}"; do
    echo "== tests/$area"
    # One test at a time: some tests measure processor time, which parallel runs would distort.
    ctest --test-dir "$build/tests/$area" "${ctest_args[@]}" --output-junit "$reports/output-$area.xml" || status=1
done
echo "== tests took $(($(date +%s) - started)) s"

shopt -s nullglob
report_files=("$reports"/asan.*)
findings=0
for file in "${report_files[@]}"; do
    echo "== sanitizer report $(basename "$file")"
    cat "$file"
    findings=$((findings + 1))
done
for file in "$reports"/output-*.xml; do
    if grep -qE 'runtime error:|ERROR: (Address|Leak|UndefinedBehavior)Sanitizer' "$file"; then
        echo "== sanitizer report in the output of tests/$(basename "$file" .xml | sed 's/^output-//')"
        grep -E -A12 'runtime error:|ERROR: (Address|Leak|UndefinedBehavior)Sanitizer' "$file"
        findings=$((findings + 1))
    fi
done
if [ $findings -gt 0 ]; then
    echo "!! sanitizer reports found; everything is kept in $reports" >&2
    exit 1
fi
if [ $status -ne 0 ]; then
    echo "!! tests failed; their output is kept in $reports" >&2
    exit 1
fi
rm -rf "$reports"
echo "== no sanitizer reports, all tests passed"
