#!/usr/bin/env bash
# Installs what is missing, builds, starts the loopback test servers and runs every test.
# Run as root (or with sudo): the test servers create throw-away system accounts.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
cd "$top"

if [ "$(id -u)" -ne 0 ]; then
    exec sudo "$0" "$@"
fi

bash scripts/install-deps.sh --test
bash scripts/build.sh

trap 'bash tests/servers/stop-all.sh' EXIT
bash tests/servers/start-all.sh

ctest --test-dir build --output-on-failure --parallel "$(nproc)" "$@"
