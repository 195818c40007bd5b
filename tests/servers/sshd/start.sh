#!/usr/bin/env bash
# Starts the SSH test servers on loopback addresses (see settings.sh) with throw-away accounts:
#   OpenSSH  A  real passwd through PAM for the vtst_* accounts; vtst_mgr may run
#               "sudo passwd vtst_NAME" through mgr-wrapper.sh
#   OpenSSH  B  dialog.py plays other systems' passwd dialogs for the vtdlg_* accounts
#   streams     stream-server.py writes to the extended stream (OpenSSH cannot under a terminal)
#   silent      silent-listener.py accepts TCP and never speaks
#   unanswered  silent-listener.py --unanswered: TCP connects time out
#   OpenSSH  C  the fleet: real passwd reached through sudo (with and without a password), su (a
#               stand-in that plays su with a test root password) or a key-only login; expired
#               accounts; root may not log in with a password
#   OpenSSH  D  accepts LANG and LC_* from the client; dialog.py speaks German unless asked for C
# Every account's password is reset at each start. Runs as root; first stops any leftovers.
# Exits non-zero when a server could not start.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/settings.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "start.sh: run as root (it creates system accounts)" >&2
    exit 1
fi
# The system interpreter: it has the Debian packages, whatever python3 comes first in PATH.
python=/usr/bin/python3
for tool in /usr/sbin/sshd ssh-keygen useradd chpasswd sudo "$python"; do
    command -v "$tool" >/dev/null || { echo "start.sh: $tool is missing; run scripts/install-deps.sh --test" >&2; exit 1; }
done
# The error-stream server needs paramiko; scripts/install-deps.sh --test should bring it, this
# only covers a machine prepared before it was needed.
if ! "$python" -c 'import paramiko' 2>/dev/null; then
    echo "start.sh: installing python3-paramiko"
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        python3-paramiko; } >/dev/null || true
    if ! "$python" -c 'import paramiko' 2>/dev/null; then
        echo "start.sh: python3-paramiko is missing; install it with apt-get" >&2
        exit 1
    fi
fi

bash "$here/stop.sh"

# The work folder must be traversable by the test accounts: their forced commands live in it.
mkdir -p "$work_dir"
chmod 711 "$work_dir"
mkdir -p /run/sshd
chmod 755 /run/sshd

install -m 755 "$here/dialog.py" "$here/mgr-wrapper.sh" "$work_dir/"
install -m 755 "$here/stream-server.py" "$here/silent-listener.py" "$work_dir/"

# The su stand-in: su-shell.sh puts fake-su.py first on PATH as "su"; its "root" runs root-passwd.sh as
# "passwd". Only the su manager may read the test root password.
fleet_dir="$work_dir/fleet"
install -d -m 755 "$fleet_dir" "$fleet_dir/su-bin" "$fleet_dir/root-bin"
install -m 755 "$here/su-shell.sh" "$fleet_dir/su-shell.sh"
install -m 755 "$here/fake-su.py" "$fleet_dir/su-bin/su"
install -m 755 "$here/root-passwd.sh" "$fleet_dir/root-bin/passwd"

for name in a b streams fleet locale; do
    ssh-keygen -q -t ed25519 -N '' -C "veltrane-test-$name" -f "$work_dir/hostkey_$name"
done

create_account() {
    useradd --create-home --shell /bin/bash --comment "Veltrane test account" "$1"
}
for account in "${openssh_accounts[@]}" "$manager_account" "${dialog_accounts[@]}" "${fleet_accounts[@]}"; do
    create_account "$account"
done
for account in "${openssh_accounts[@]}" "$manager_account" "${dialog_accounts[@]}" "${fleet_accounts[@]}"; do
    echo "$account:$test_password"
done | chpasswd
for account in "${fleet_expired[@]}"; do
    chage -d 0 "$account"
done

install -m 400 -o "$fleet_su_manager" /dev/null "$fleet_dir/root-password"
printf '%s\n' "$su_root_password" >"$fleet_dir/root-password"

# Manager keys, readable by root (the tests) only: ed25519 in OpenSSH format without a passphrase,
# RSA in PEM format and ECDSA in OpenSSH format, both with key_passphrase. The key-only managers
# accept all three.
keys_dir="$work_dir/keys"
install -d -m 700 "$keys_dir"
ssh-keygen -q -t ed25519 -N '' -C veltrane-test-ed25519 -f "$keys_dir/manager_ed25519"
ssh-keygen -q -t rsa -b 2048 -m PEM -N "$key_passphrase" -C veltrane-test-rsa-pem -f "$keys_dir/manager_rsa_pem"
ssh-keygen -q -t ecdsa -b 256 -N "$key_passphrase" -C veltrane-test-ecdsa -f "$keys_dir/manager_ecdsa"
for account in "$fleet_key_manager" "$fleet_keysudo_manager"; do
    home=$(getent passwd "$account" | cut -d: -f6)
    install -d -m 700 -o "$account" -g "$account" "$home/.ssh"
    cat "$keys_dir"/manager_*.pub >"$home/.ssh/authorized_keys"
    chown "$account:$account" "$home/.ssh/authorized_keys"
    chmod 600 "$home/.ssh/authorized_keys"
done

# What the dialogs received: written by the dialog accounts, readable by root only.
mkdir -p "$work_dir/received"
chmod 711 "$work_dir/received"
for account in "${dialog_accounts[@]}"; do
    install -m 622 /dev/null "$work_dir/received/$account.log"
done

# The manager may run passwd for test accounts only, without a password.
sudoers_tmp=$(mktemp)
printf '%s ALL=(root) NOPASSWD: /usr/bin/passwd ^vtst_[a-z0-9_]+$\n' "$manager_account" >"$sudoers_tmp"
if ! visudo -cq -f "$sudoers_tmp"; then
    rm -f "$sudoers_tmp"
    echo "start.sh: the sudoers rule for $manager_account is not accepted by this sudo" >&2
    exit 1
fi
install -m 440 "$sudoers_tmp" "$sudoers_dropin"
rm -f "$sudoers_tmp"

# The fleet's managers may run passwd for the fleet's targets only. sudo asks vtfl_sudo and vtfl_keysudo
# for their password every time (no lecture, no remembered ticket); vtfl_nosudo is in no rule.
sudoers_tmp=$(mktemp)
{
    printf 'Defaults:%s,%s,%s lecture=never, timestamp_timeout=0\n' \
        "$fleet_sudo_manager" "$fleet_keysudo_manager" "$fleet_nosudo_manager"
    printf '%s,%s ALL=(root) /usr/bin/passwd ^vtfl_t[0-9]+$\n' "$fleet_sudo_manager" "$fleet_keysudo_manager"
    printf '%s,%s,%s ALL=(root) NOPASSWD: /usr/bin/passwd ^vtfl_t[0-9]+$\n' \
        "$fleet_nopasswd_manager" "$fleet_key_manager" "$fleet_su_manager"
} >"$sudoers_tmp"
if ! visudo -cq -f "$sudoers_tmp"; then
    rm -f "$sudoers_tmp"
    echo "start.sh: the sudoers rules of the fleet accounts are not accepted by this sudo" >&2
    exit 1
fi
install -m 440 "$sudoers_tmp" "$sudoers_fleet"
rm -f "$sudoers_tmp"

write_sshd_config() { # name address allowed-users extra-block [PermitRootLogin, default no]
    cat >"$work_dir/sshd_$1.conf" <<CONF
ListenAddress $2:$port
HostKey $work_dir/hostkey_$1
PidFile $work_dir/sshd_$1.pid
UsePAM yes
PasswordAuthentication yes
KbdInteractiveAuthentication yes
PubkeyAuthentication yes
PermitRootLogin ${5:-no}
AllowUsers $3
PrintMotd no
PrintLastLog no
UseDNS no
X11Forwarding no
AllowTcpForwarding no
AllowAgentForwarding no
PermitUserEnvironment no
Compression yes
MaxStartups 200
MaxSessions 10
LoginGraceTime 30
LogLevel VERBOSE
$4
CONF
}
write_sshd_config a "$address_openssh" "vtst_*" "Match User $manager_account
    ForceCommand $work_dir/mgr-wrapper.sh"
extra_listen=""
for extra in "${addresses_dialog_extra[@]}"; do extra_listen+="ListenAddress $extra:$port"$'\n'; done
write_sshd_config b "$address_dialogs" "vtdlg_*" "${extra_listen}ForceCommand /usr/bin/python3 $work_dir/dialog.py"
# root is let through AllowUsers so that its refusal is the real one: no password, and no key of its own.
write_sshd_config fleet "$address_fleet" "root vtfl_*" "Match User root
    AuthorizedKeysFile none
Match User $fleet_key_manager,$fleet_keysudo_manager
    PasswordAuthentication no
    KbdInteractiveAuthentication no
    AuthenticationMethods publickey
Match User $fleet_su_manager
    ForceCommand $fleet_dir/su-shell.sh" prohibit-password
write_sshd_config locale "$address_locale" "vtdlg_german*" "AcceptEnv LANG LC_*
ForceCommand /usr/bin/python3 $work_dir/dialog.py"

port_open() {
    timeout 1 bash -c "exec 3<>/dev/tcp/$1/$2" 2>/dev/null
}
wait_for_port() { # address what
    for _ in $(seq 50); do
        port_open "$1" "$port" && return 0
        sleep 0.1
    done
    echo "start.sh: $2 did not start on $1:$port; see $work_dir/*.log" >&2
    exit 1
}

for address in "$address_fleet" "$address_locale"; do
    if port_open "$address" "$port"; then
        echo "start.sh: something else listens on $address:$port; stop it first" >&2
        exit 1
    fi
done
if port_open "$address_closed" "$port"; then
    echo "start.sh: something listens on $address_closed:$port, which the tests need closed" >&2
    exit 1
fi

for name in a b fleet locale; do
    /usr/sbin/sshd -t -f "$work_dir/sshd_$name.conf"
    /usr/sbin/sshd -f "$work_dir/sshd_$name.conf" -E "$work_dir/sshd_$name.log"
done
wait_for_port "$address_openssh" "OpenSSH server A"
wait_for_port "$address_dialogs" "OpenSSH server B"
wait_for_port "$address_fleet" "the fleet's OpenSSH server"
wait_for_port "$address_locale" "the German OpenSSH server"

start_background() { # name command...
    local name=$1
    shift
    setsid "$@" >"$work_dir/$name.log" 2>&1 </dev/null &
    echo $! >"$work_dir/$name.pid"
}
start_background silent "$python" "$work_dir/silent-listener.py" "$address_silent" "$port"
start_background streams "$python" "$work_dir/stream-server.py" "$address_streams" "$port" \
    "$work_dir/hostkey_streams" "$test_password"
start_background unanswered "$python" "$work_dir/silent-listener.py" --unanswered "$address_unanswered" "$port"
wait_for_port "$address_silent" "the silent listener"
wait_for_port "$address_streams" "the stream server"

# The unanswered listener cannot be probed by connecting; it only has to be alive.
sleep 0.3
if ! kill -0 "$(cat "$work_dir/unanswered.pid")" 2>/dev/null; then
    echo "start.sh: the unanswered listener did not start; see $work_dir/unanswered.log" >&2
    exit 1
fi

echo "SSH test servers running: OpenSSH $address_openssh:$port and $address_dialogs:$port," \
     "fleet $address_fleet:$port, German $address_locale:$port," \
     "streams $address_streams:$port, silent $address_silent:$port, unanswered $address_unanswered:$port," \
     "closed $address_closed:$port"
