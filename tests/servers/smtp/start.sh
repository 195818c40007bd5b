#!/usr/bin/env bash
# Starts the loopback SMTP test server (Debian's python3-aiosmtpd) unless it already runs, with a
# fresh throw-away certificate authority for its TLS ports. Exits non-zero when it could not start.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/settings.sh"

pid_file="$smtp_work_dir/server.pid"
log_file="$smtp_work_dir/server.log"

# The Debian interpreter: the aiosmtpd package lives in its dist-packages, which another python3
# earlier on PATH would not see.
python=/usr/bin/python3
all_ports=("${smtp_ports[@]}" "$smtp_starttls_port" "$smtp_tls_port" "$smtp_other_name_port"
    "$smtp_auth_after_tls_port")

# Whether every port accepts a connection.
listening() {
    "$python" - "$smtp_address" "${all_ports[@]}" <<'PY'
import socket, sys
for port in sys.argv[2:]:
    s = socket.socket()
    s.settimeout(0.5)
    try:
        s.connect((sys.argv[1], int(port)))
    except OSError:
        sys.exit(1)
    s.close()
PY
}

# The pid of the pid file when that process is still our server (a pid can be reused).
server_pid() {
    [ -f "$pid_file" ] || return 1
    local pid
    pid=$(cat "$pid_file")
    grep -qa mail-server.py "/proc/$pid/cmdline" 2>/dev/null || return 1
    echo "$pid"
}

if server_pid >/dev/null && listening; then
    echo "SMTP test server already runs on $smtp_address, ports ${all_ports[*]}"
    exit 0
fi

if ! "$python" -c 'import aiosmtpd' 2>/dev/null; then
    echo "python3-aiosmtpd is missing: install it with apt-get install python3-aiosmtpd" >&2
    exit 1
fi
if ! command -v openssl >/dev/null; then
    echo "openssl is missing: install it with apt-get install openssl" >&2
    exit 1
fi

# A server that runs but no longer answers on every port is replaced.
if old_pid=$(server_pid); then
    kill "$old_pid" 2>/dev/null || true
    for _ in $(seq 1 30); do
        kill -0 "$old_pid" 2>/dev/null || break
        sleep 0.1
    done
fi
rm -rf "$smtp_work_dir"
mkdir -p "$smtp_work_dir" "$smtp_tls_dir"

openssl_log="$smtp_tls_dir/openssl.log"
# issue NAME SUBJECT_ALT_NAME: a key and a certificate signed by the test authority.
issue() {
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=$1" \
        -keyout "$smtp_tls_dir/$1.key" -out "$smtp_tls_dir/$1.csr" 2>>"$openssl_log" &&
        printf 'subjectAltName=%s\nbasicConstraints=critical,CA:FALSE\nextendedKeyUsage=serverAuth\n' "$2" \
            >"$smtp_tls_dir/$1.ext" &&
        openssl x509 -req -days 825 -in "$smtp_tls_dir/$1.csr" -CA "$smtp_tls_dir/ca.pem" \
            -CAkey "$smtp_tls_dir/ca.key" -CAcreateserial -extfile "$smtp_tls_dir/$1.ext" \
            -out "$smtp_tls_dir/$1.pem" 2>>"$openssl_log"
}
make_certificates() {
    openssl req -x509 -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 825 \
        -subj "/CN=Veltrane test mail authority" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "$smtp_tls_dir/ca.key" -out "$smtp_tls_dir/ca.pem" 2>>"$openssl_log" &&
        # The tests connect to the bare address, so its certificate names it as an IP address.
        issue "$smtp_address" "IP:$smtp_address" &&
        issue "$smtp_other_name" "DNS:$smtp_other_name"
}
if ! make_certificates; then
    echo "Could not make the test certificates; openssl said:" >&2
    cat "$openssl_log" >&2
    exit 1
fi
# Readable by the tests whoever runs them; the keys are worthless outside this server.
chmod 755 "$smtp_work_dir" "$smtp_tls_dir"
chmod 644 "$smtp_tls_dir"/*

port_arguments=()
for port in "${smtp_ports[@]}"; do
    port_arguments+=(--port "$port")
done
setsid "$python" "$here/mail-server.py" --address "$smtp_address" "${port_arguments[@]}" \
    --starttls-port "$smtp_starttls_port" --tls-port "$smtp_tls_port" --other-name-port "$smtp_other_name_port" \
    --auth-after-tls-port "$smtp_auth_after_tls_port" \
    --cert "$smtp_tls_dir/$smtp_address.pem" --key "$smtp_tls_dir/$smtp_address.key" \
    --other-cert "$smtp_tls_dir/$smtp_other_name.pem" --other-key "$smtp_tls_dir/$smtp_other_name.key" \
    --work "$smtp_work_dir" --account "$smtp_account" --password "$smtp_password" \
    </dev/null >"$log_file" 2>&1 &
echo $! > "$pid_file"

for _ in $(seq 1 50); do
    if listening; then
        echo "SMTP test server runs on $smtp_address, ports ${all_ports[*]} (pid $(cat "$pid_file"))"
        exit 0
    fi
    if ! server_pid >/dev/null; then
        break
    fi
    sleep 0.1
done

echo "SMTP test server did not start; its log:" >&2
cat "$log_file" >&2 || true
kill "$(cat "$pid_file")" 2>/dev/null || true
rm -f "$pid_file"
exit 1
