#!/usr/bin/env bash
# cmake --install into a throw-away prefix, then what a desktop and a shell make of the result: the
# man pages render without warnings and say what --help says, the desktop entry and the AppStream
# metainfo validate, every link of the installed manual reaches an installed file and anchor, and
# bash completes veltrane-cli's commands and options.
set -euo pipefail
build=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || {
    cat "$work/install.log" >&2
    fail "cmake --install failed"
}
share=$prefix/share
manual=$share/veltrane/manual
for f in bin/veltrane bin/veltrane-cli share/veltrane/manual/index.html share/veltrane/manual/manual.css \
    share/applications/veltrane.desktop share/icons/hicolor/scalable/apps/veltrane.svg \
    share/metainfo/example.veltrane.Veltrane.metainfo.xml share/man/man1/veltrane.1.gz \
    share/man/man1/veltrane-cli.1.gz share/bash-completion/completions/veltrane-cli; do
    [ -e "$prefix/$f" ] || fail "$f is not installed"
done

# --- Man pages: no groff warnings, and every line --help prints is in the page (the usage lines
# stand under SYNOPSIS without their "Usage: ").
help_lines() {
    "$@" | sed -e 's/^[[:space:]]*//' -e 's/^Usage: //' -e 's/[[:space:]]*$//' -e '/^$/d'
}
for program in veltrane veltrane-cli; do
    page=$share/man/man1/$program.1.gz
    MANWIDTH=200 man --warnings -E ascii -l "$page" >"$work/$program.txt" 2>"$work/$program.warnings" ||
        fail "man -l $page failed: $(cat "$work/$program.warnings")"
    [ ! -s "$work/$program.warnings" ] || fail "man -l $page warns: $(cat "$work/$program.warnings")"
    { help_lines "$prefix/bin/$program" --help; } >"$work/$program.help"
    if [ "$program" = veltrane-cli ]; then
        for command in paths change-password host; do
            help_lines "$prefix/bin/$program" help "$command" >>"$work/$program.help"
        done
    fi
    while IFS= read -r line; do
        grep -qF -- "$line" "$work/$program.txt" || fail "$program(1) lacks the --help line: $line"
    done <"$work/$program.help"
done
grep -q '^NAME' "$work/veltrane-cli.txt" && grep -q 'veltrane(1)' "$work/veltrane-cli.txt" ||
    fail "veltrane-cli(1) has no NAME or SEE ALSO section"

# --- Desktop entry and AppStream metainfo as a software centre reads them.
desktop-file-validate "$share/applications/veltrane.desktop" || fail "desktop-file-validate refuses the entry"
appstreamcli validate --no-net "$share/metainfo/example.veltrane.Veltrane.metainfo.xml" >"$work/as.log" 2>&1 || {
    cat "$work/as.log" >&2
    fail "appstreamcli refuses the metainfo"
}
grep -q '^Icon=veltrane$' "$share/applications/veltrane.desktop" || fail "the entry names another icon"
grep -q '^Exec=veltrane$' "$share/applications/veltrane.desktop" || fail "the entry starts another program"

# --- Every link and picture of the installed manual reaches an installed file, and its anchor.
pages=0
for html in "$manual"/*.html; do
    pages=$((pages + 1))
    name=$(basename "$html")
    grep -q "href=\"$name\"" "$manual/index.html" || [ "$name" = index.html ] ||
        fail "$name is not in the contents of index.html"
    grep -oE '(href|src)="[^"]*"' "$html" | sed -E 's/^(href|src)="(.*)"$/\2/' | sort -u >"$work/links"
    while IFS= read -r link; do
        case $link in http://* | https://* | mailto:*) continue ;; esac
        file=${link%%#*}
        anchor=""
        [ "$file" != "$link" ] && anchor=${link#*#}
        target=$manual/${file:-$name}
        [ -f "$target" ] || fail "$name links to $link, which is not installed"
        if [ -n "$anchor" ]; then
            grep -q "id=\"$anchor\"" "$target" || fail "$name links to $link, but $(basename "$target") has no such anchor"
        fi
    done <"$work/links"
done
[ "$pages" -ge 10 ] || fail "only $pages pages in the installed manual"

# --- bash completion, fed with the installed program.
complete_words() {
    PATH="$prefix/bin:$PATH" bash -c '
        . "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        _veltrane_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$share/bash-completion/completions/veltrane-cli" "$@"
}
complete_words veltrane-cli pa | grep -x paths >/dev/null || fail "completion does not offer 'paths'"
complete_words veltrane-cli de | grep -x decipher >/dev/null || fail "completion does not offer 'decipher'"
complete_words veltrane-cli --db x.db list --j | grep -x -- --json >/dev/null || fail "completion does not offer 'list --json'"
complete_words veltrane-cli host a | grep -x add >/dev/null || fail "completion does not offer 'host add'"
complete_words veltrane-cli host edit h --no-u | grep -x -- --no-use-agent >/dev/null ||
    fail "completion does not offer 'host edit --no-use-agent'"

echo "PASS: installed files, man pages, desktop entry, metainfo, $pages manual pages and completion"
