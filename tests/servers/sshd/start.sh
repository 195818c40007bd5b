#!/usr/bin/env bash
# Starts the SSH test servers on loopback addresses (see settings.sh) with throw-away accounts:
#   OpenSSH  A  real passwd through PAM for the vtst_* accounts; vtst_mgr may run
#               "sudo passwd vtst_NAME" through mgr-wrapper.sh
#   OpenSSH  B  dialog.py plays other systems' passwd dialogs for the vtdlg_* accounts
#   streams     stream-server.py writes to the extended stream (OpenSSH cannot under a terminal)
#   silent      silent-listener.py accepts TCP and never speaks
#   unanswered  silent-listener.py --unanswered: TCP connects time out
#   flood       silent-listener.py --flood: text lines without end, never an SSH greeting
#   OpenSSH  C  the fleet: real passwd reached through sudo (with and without a password), su (a
#               stand-in that plays su with a test root password) or a key-only login; expired
#               accounts; nologin targets whose shadow entries two managers may read; root may not
#               log in with a password
#   OpenSSH  D  accepts LANG and LC_* from the client; dialog.py speaks German unless asked for C
#   Dropbear    real passwd, a host key of its own
#   BusyBox     OpenSSH whose accounts' passwd is BusyBox's (bb-shell.sh, bb-passwd.py); its manager runs
#               BusyBox's passwd as root for them (bb-mgr.py)
#   no tty      OpenSSH with PermitTTY no; real passwd
#   forced      OpenSSH with ForceCommand /usr/bin/passwd
#   SHA-1       OpenSSH that offers ssh-rsa, diffie-hellman-group14/group1-sha1 and hmac-sha1 only
#   one try     OpenSSH with MaxAuthTries 1; real passwd
#   pwquality   OpenSSH in a mount namespace of its own, where a test copy of common-password holds
#               passwd to pam_pwquality with enforce_for_root; its manager runs "sudo passwd vtpq_tN"
#   ssh-agent   holds a fresh key that the vtst_agent* accounts and one one-try account accept
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
for tool in /usr/sbin/sshd ssh-keygen ssh-agent ssh-add useradd newusers chpasswd sudo unshare "$python" \
    /usr/sbin/dropbear dropbearkey /bin/busybox; do
    command -v "$tool" >/dev/null || { echo "start.sh: $tool is missing; run scripts/install-deps.sh --test" >&2; exit 1; }
done
pam_pwquality=""
for module in /usr/lib/*/security/pam_pwquality.so /lib/*/security/pam_pwquality.so; do
    [ -e "$module" ] && pam_pwquality=$module && break
done
if [ -z "$pam_pwquality" ]; then
    echo "start.sh: pam_pwquality.so is missing; run scripts/install-deps.sh --test" >&2
    exit 1
fi
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
# "passwd" and root-getent.sh as "getent". Only the su manager may read the test root password.
fleet_dir="$work_dir/fleet"
install -d -m 755 "$fleet_dir" "$fleet_dir/su-bin" "$fleet_dir/root-bin"
install -m 755 "$here/su-shell.sh" "$fleet_dir/su-shell.sh"
install -m 755 "$here/fake-su.py" "$fleet_dir/su-bin/su"
install -m 755 "$here/root-passwd.sh" "$fleet_dir/root-bin/passwd"
install -m 755 "$here/root-getent.sh" "$fleet_dir/root-bin/getent"

for name in a b streams fleet locale busybox notty forced onetry pwquality; do
    ssh-keygen -q -t ed25519 -N '' -C "veltrane-test-$name" -f "$work_dir/hostkey_$name"
done
# The SHA-1 server signs with ssh-rsa, so it needs an RSA key; Dropbear reads its own key format.
ssh-keygen -q -t rsa -b 2048 -N '' -C veltrane-test-sha1 -f "$work_dir/hostkey_sha1"
dropbearkey -t ed25519 -f "$work_dir/hostkey_dropbear" >/dev/null 2>&1
dropbearkey -y -f "$work_dir/hostkey_dropbear" 2>/dev/null | sed -n 's/^\(ssh-ed25519 [^ ]*\).*/\1 veltrane-test-dropbear/p' \
    >"$work_dir/hostkey_dropbear.pub"

# BusyBox's passwd for the BusyBox server: bb-shell.sh puts bin/passwd first on PATH, which runs
# bb-passwd.py through sudo (see its rule below).
busybox_dir="$work_dir/busybox"
install -d -m 755 "$busybox_dir" "$busybox_dir/bin"
install -m 755 "$here/bb-shell.sh" "$here/bb-passwd.py" "$here/bb-mgr.py" "$busybox_dir/"
printf '#!/bin/sh\nexec sudo -n %s "$@"\n' "$busybox_dir/bb-passwd.py" >"$busybox_dir/bin/passwd"
chmod 755 "$busybox_dir/bin/passwd"

# The pwquality server's common-password: what pam-auth-update writes for pwquality, held to it for root
# too. Only that server's mount namespace sees it (see below); the machine's own file stays as it is.
install -d -m 755 "$work_dir/pam"
cat >"$work_dir/pam/common-password" <<PAM
# Test copy for the Veltrane pwquality test server only (bind-mounted in its own mount namespace).
password	requisite			pam_pwquality.so retry=3 enforce_for_root minlen=$pwquality_minlen dictcheck=0
password	[success=1 default=ignore]	pam_unix.so obscure use_authtok try_first_pass yescrypt
password	requisite			pam_deny.so
password	required			pam_permit.so
PAM
chmod 644 "$work_dir/pam/common-password"

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
for account in "${fleet_nologin_targets[@]}"; do
    usermod --shell /usr/sbin/nologin "$account"
done
# The newer servers' accounts in one newusers run (one lock and write of the account files for all, where
# useradd takes a tenth of a second each). Dropbear's accounts share the group that Dropbear admits.
for account in "${variant_accounts[@]}"; do
    group=""
    [[ " ${dropbear_accounts[*]} " == *" $account "* ]] && group=$dropbear_group
    printf '%s:%s::%s:Veltrane test account:/home/%s:/bin/bash\n' "$account" "$test_password" "$group" "$account"
done | newusers
# BusyBox's passwd checks the old password itself and knows no yescrypt: SHA-512 hashes, as Alpine writes.
for account in "${busybox_accounts[@]}"; do
    echo "$account:$test_password"
done | chpasswd -c SHA512

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

# The ssh-agent with a fresh key; only the agent keeps the private half.
start_agent() {
    setsid ssh-agent -D -a "$agent_socket" >"$work_dir/agent.log" 2>&1 </dev/null &
    echo $! >"$work_dir/agent.pid"
    for _ in $(seq 50); do
        [ -S "$agent_socket" ] && break
        sleep 0.1
    done
    if [ ! -S "$agent_socket" ]; then
        echo "start.sh: the ssh-agent did not start; see $work_dir/agent.log" >&2
        exit 1
    fi
    ssh-keygen -q -t ed25519 -N '' -C veltrane-test-agent -f "$keys_dir/agent_ed25519"
    SSH_AUTH_SOCK=$agent_socket ssh-add -q "$keys_dir/agent_ed25519"
    rm -f "$keys_dir/agent_ed25519"
}
start_agent
for account in "${agent_accounts[@]}" "$onetry_agent_account"; do
    home=$(getent passwd "$account" | cut -d: -f6)
    install -d -m 700 -o "$account" -g "$account" "$home/.ssh"
    install -m 600 -o "$account" -g "$account" "$keys_dir/agent_ed25519.pub" "$home/.ssh/authorized_keys"
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
# for their password every time (no lecture, no remembered ticket); vtfl_nosudo is in no rule. Only
# vtfl_nopw and the su manager may read the fleet's shadow entries (getent shadow vtfl_NAME, one name).
sudoers_tmp=$(mktemp)
{
    printf 'Defaults:%s,%s,%s lecture=never, timestamp_timeout=0\n' \
        "$fleet_sudo_manager" "$fleet_keysudo_manager" "$fleet_nosudo_manager"
    printf '%s,%s ALL=(root) /usr/bin/passwd ^vtfl_(t|nologin)[0-9]+$\n' "$fleet_sudo_manager" "$fleet_keysudo_manager"
    printf '%s,%s,%s ALL=(root) NOPASSWD: /usr/bin/passwd ^vtfl_(t|nologin)[0-9]+$\n' \
        "$fleet_nopasswd_manager" "$fleet_key_manager" "$fleet_su_manager"
    printf '%s,%s ALL=(root) NOPASSWD: /usr/bin/getent ^shadow vtfl_[a-z0-9_]+$\n' \
        "$fleet_nopasswd_manager" "$fleet_su_manager"
} >"$sudoers_tmp"
if ! visudo -cq -f "$sudoers_tmp"; then
    rm -f "$sudoers_tmp"
    echo "start.sh: the sudoers rules of the fleet accounts are not accepted by this sudo" >&2
    exit 1
fi
install -m 440 "$sudoers_tmp" "$sudoers_fleet"
rm -f "$sudoers_tmp"

# The BusyBox server's accounts may run bb-passwd.py (BusyBox's passwd for themselves) and its manager
# BusyBox's passwd for them; the pwquality manager may run passwd for that server's targets.
install_sudoers() { # file rules
    local tmp
    tmp=$(mktemp)
    printf '%s\n' "$2" >"$tmp"
    if ! visudo -cq -f "$tmp"; then
        rm -f "$tmp"
        echo "start.sh: the sudoers rules for $1 are not accepted by this sudo" >&2
        exit 1
    fi
    install -m 440 "$tmp" "$1"
    rm -f "$tmp"
}
# No pty of sudo's own in between: BusyBox's passwd talks to the session's terminal, as a setuid BusyBox does.
busybox_users=$(IFS=,; echo "${busybox_accounts[*]}")
install_sudoers "$sudoers_busybox" "Defaults:$busybox_users,$busybox_manager !use_pty
$busybox_users ALL=(root) NOPASSWD: $busybox_dir/bb-passwd.py
$busybox_manager ALL=(root) NOPASSWD: /bin/busybox ^passwd vtbb_u[0-9]+\$"
install_sudoers "$sudoers_pwquality" "$pwquality_manager ALL=(root) NOPASSWD: /usr/bin/passwd ^vtpq_t[0-9]+\$"

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

write_sshd_config busybox "$address_busybox" "vtbb_*" "ForceCommand $busybox_dir/bb-shell.sh
Match User $busybox_manager
    ForceCommand $busybox_dir/bb-mgr.py"
write_sshd_config notty "$address_notty" "vtnt_*" "PermitTTY no"
write_sshd_config forced "$address_forced" "vtfc_*" "ForceCommand /usr/bin/passwd"
# What an old host (RHEL 6, Solaris 10, appliances) offers, and what this OpenSSH still accepts of it.
write_sshd_config sha1 "$address_sha1" "vtsha_*" "HostKeyAlgorithms ssh-rsa
PubkeyAcceptedAlgorithms ssh-rsa
KexAlgorithms diffie-hellman-group14-sha1,diffie-hellman-group1-sha1
Ciphers aes128-ctr,aes192-ctr,aes256-ctr
MACs hmac-sha1"
write_sshd_config onetry "$address_onetry" "vtmax_*" "MaxAuthTries 1"
write_sshd_config pwquality "$address_pwquality" "vtpq_*" ""

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

for address in "$address_fleet" "$address_locale" "$address_dropbear" "$address_busybox" "$address_notty" \
    "$address_forced" "$address_sha1" "$address_onetry" "$address_pwquality" "$address_flood"; do
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

for name in busybox notty forced sha1 onetry; do
    /usr/sbin/sshd -t -f "$work_dir/sshd_$name.conf"
    /usr/sbin/sshd -f "$work_dir/sshd_$name.conf" -E "$work_dir/sshd_$name.log"
done
# The pwquality server and its sessions see the test copy of common-password over the machine's; the
# mount lives in their namespace only and goes with its last process.
/usr/sbin/sshd -t -f "$work_dir/sshd_pwquality.conf"
unshare --mount --propagation private /bin/sh -c \
    'mount --bind "$1" /etc/pam.d/common-password && exec /usr/sbin/sshd -f "$2" -E "$3"' sh \
    "$work_dir/pam/common-password" "$work_dir/sshd_pwquality.conf" "$work_dir/sshd_pwquality.log"

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
start_background flood "$python" "$work_dir/silent-listener.py" --flood "$address_flood" "$port"
# Dropbear writes a pid file of its own (by default in /run); -F keeps it in front so it is ours.
start_background dropbear /usr/sbin/dropbear -F -E -m -w -j -k -G "$dropbear_group" -r "$work_dir/hostkey_dropbear" \
    -p "$address_dropbear:$port" -P "$work_dir/dropbear.pid"
wait_for_port "$address_busybox" "the BusyBox OpenSSH server"
wait_for_port "$address_notty" "the OpenSSH server without terminals"
wait_for_port "$address_forced" "the OpenSSH server that forces passwd"
wait_for_port "$address_sha1" "the SHA-1 OpenSSH server"
wait_for_port "$address_onetry" "the one-try OpenSSH server"
wait_for_port "$address_pwquality" "the pwquality OpenSSH server"
wait_for_port "$address_dropbear" "Dropbear"
wait_for_port "$address_silent" "the silent listener"
wait_for_port "$address_flood" "the flood listener"
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
     "flood $address_flood:$port," \
     "closed $address_closed:$port," \
     "Dropbear $address_dropbear:$port, BusyBox $address_busybox:$port, no tty $address_notty:$port," \
     "forced passwd $address_forced:$port, SHA-1 $address_sha1:$port, one try $address_onetry:$port," \
     "pwquality $address_pwquality:$port, ssh-agent $agent_socket"
