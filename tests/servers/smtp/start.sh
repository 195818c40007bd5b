#!/usr/bin/env bash
# Starts the loopback SMTP test server (Debian's python3-aiosmtpd) unless it already runs.
# Exits non-zero when it could not start.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/settings.sh"

pid_file="$smtp_work_dir/server.pid"
log_file="$smtp_work_dir/server.log"

# The Debian interpreter: the aiosmtpd package lives in its dist-packages, which another python3
# earlier on PATH would not see.
python=/usr/bin/python3

listening() {
    "$python" - "$smtp_address" "$smtp_port" <<'PY'
import socket, sys
s = socket.socket()
s.settimeout(0.5)
try:
    s.connect((sys.argv[1], int(sys.argv[2])))
except OSError:
    sys.exit(1)
s.close()
PY
}

if [ -f "$pid_file" ] && kill -0 "$(cat "$pid_file")" 2>/dev/null && listening; then
    echo "SMTP test server already runs on $smtp_address:$smtp_port"
    exit 0
fi

if ! "$python" -c 'import aiosmtpd' 2>/dev/null; then
    echo "python3-aiosmtpd is missing: install it with apt-get install python3-aiosmtpd" >&2
    exit 1
fi

mkdir -p "$smtp_work_dir/mail"
chmod 0777 "$smtp_work_dir" "$smtp_work_dir/mail"
: > "$smtp_work_dir/connections.log"
chmod 0666 "$smtp_work_dir/connections.log"

setsid "$python" "$here/mail-server.py" --address "$smtp_address" --port "$smtp_port" \
    --work "$smtp_work_dir" --account "$smtp_account" --password "$smtp_password" \
    </dev/null >"$log_file" 2>&1 &
echo $! > "$pid_file"

for _ in $(seq 1 50); do
    if listening; then
        echo "SMTP test server runs on $smtp_address:$smtp_port (pid $(cat "$pid_file"))"
        exit 0
    fi
    if ! kill -0 "$(cat "$pid_file")" 2>/dev/null; then
        break
    fi
    sleep 0.1
done

echo "SMTP test server did not start; its log:" >&2
cat "$log_file" >&2 || true
kill "$(cat "$pid_file")" 2>/dev/null || true
rm -f "$pid_file"
exit 1
