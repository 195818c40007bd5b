# Shared by start.sh and stop.sh: where the servers live and which throw-away accounts they use.
# tests/support/TestServers.h repeats these values for the C++ tests; keep both in step.

work_dir=/tmp/veltrane-sshd
sudoers_dropin=/etc/sudoers.d/veltrane-test-mgr
sudoers_fleet=/etc/sudoers.d/veltrane-test-fleet
sudoers_busybox=/etc/sudoers.d/veltrane-test-busybox
sudoers_pwquality=/etc/sudoers.d/veltrane-test-pwquality
test_password='Vt-Start#2026'
# The root password the su stand-in (fake-su.py) accepts; no real root password is involved.
su_root_password='Vt-Root#2026'
# The passphrase of the two manager keys that have one.
key_passphrase='Vt-Key#2026'

address_openssh=127.0.0.2   # real passwd through PAM, plus the manager account
address_dialogs=127.0.0.3   # scripted passwd dialogs of other systems
address_closed=127.0.0.4    # nothing listens here
address_silent=127.0.0.5    # accepts TCP, never speaks
address_streams=127.0.0.6   # writes to the extended (error) stream despite the terminal
address_unanswered=127.0.0.7 # TCP connects get no answer at all
address_fleet=127.0.0.8     # real passwd reached through sudo, su or a key; root may not log in by password
address_locale=127.0.0.9    # accepts LANG and LC_*; its passwd speaks German unless asked for C
address_dropbear=127.0.0.10 # Dropbear, real passwd
address_busybox=127.0.0.11  # OpenSSH; the accounts' passwd is BusyBox's
address_notty=127.0.0.12    # OpenSSH with PermitTTY no, real passwd
address_forced=127.0.0.13   # OpenSSH with ForceCommand /usr/bin/passwd
address_sha1=127.0.0.14     # OpenSSH that offers SHA-1 algorithms only, real passwd
address_onetry=127.0.0.15   # OpenSSH with MaxAuthTries 1, real passwd
address_pwquality=127.0.0.16 # OpenSSH whose passwd is held to pam_pwquality, root included
address_flood=127.0.0.17    # accepts TCP, sends text lines without end, never an SSH greeting
port=2222
# More addresses of the dialog server, so that benchmarks can stand for many hosts.
addresses_dialog_extra=(127.0.0.30 127.0.0.31 127.0.0.32 127.0.0.33 127.0.0.34 127.0.0.35 127.0.0.36 127.0.0.37)

# Accounts that log in to the OpenSSH instance and run the real passwd.
openssh_accounts=(
    vtst_eng1 vtst_eng2 vtst_eng3 vtst_eng4 vtst_eng5 vtst_eng6
    vtst_bat1 vtst_bat2 vtst_bat3 vtst_bat4 vtst_bat5 vtst_bat6
    vtst_cli1 vtst_cli2 vtst_cli3 vtst_cli4
    vtst_gui1 vtst_gui2 vtst_gui3
    vtst_bench1 vtst_bench2
    vtst_tr1 vtst_tr2 vtst_tr3
    vtst_rec1 vtst_rec2 vtst_rec3 vtst_rec4
    vtst_crash1 vtst_crash2 vtst_crash3 vtst_crash4
    vtst_fault1 vtst_fault2 vtst_fault3
    vtst_par1 vtst_par2 vtst_par3 vtst_par4
)
# Accounts on the OpenSSH instance whose authorized_keys hold the ssh-agent's key (agent_socket).
agent_accounts=(vtst_agent1 vtst_agent2 vtst_agent3)
manager_account=vtst_mgr

# One account per scripted dialog; dialog.py picks the dialog by the login name without its
# trailing digits, so numbered copies let test areas that run in parallel keep their own
# received-answers file.
dialog_accounts=(
    vtdlg_debian vtdlg_aix vtdlg_solaris vtdlg_split vtdlg_late vtdlg_reject vtdlg_silent
    vtdlg_long vtdlg_weak vtdlg_slow
    vtdlg_debian1 vtdlg_debian2 vtdlg_debian3 vtdlg_debian4 vtdlg_slow1 vtdlg_slow2
    vtdlg_vanish1 vtdlg_debian5 vtdlg_echo1 vtdlg_noisy1
    vtdlg_distant1 vtdlg_distant2 vtdlg_distant3 vtdlg_distant4
    vtdlg_freebsd vtdlg_openbsd vtdlg_macos vtdlg_pwquality vtdlg_german
    vtdlg_freebsd1 vtdlg_openbsd1 vtdlg_macos1 vtdlg_pwquality1 vtdlg_german1 vtdlg_german2
    vtdlg_rbash vtdlg_rbash1 vtdlg_rbash2 vtdlg_lazy1 vtdlg_early1
)

# Accounts of the fleet server (address_fleet). Managers log in there; the targets are the accounts
# whose real password they change (the sudoers rules allow "passwd vtfl_tN" only).
fleet_sudo_manager=vtfl_sudo       # password login; sudo asks for its password
fleet_nopasswd_manager=vtfl_nopw   # password login; sudo without a password
fleet_nosudo_manager=vtfl_nosudo   # password login; not in the sudoers rules at all
fleet_su_manager=vtfl_su           # password login; su - root works with su_root_password
fleet_key_manager=vtfl_keymgr      # key login only; sudo without a password
fleet_keysudo_manager=vtfl_keysudo # key login only; sudo asks for its password
fleet_managers=(
    "$fleet_sudo_manager" "$fleet_nopasswd_manager" "$fleet_nosudo_manager" "$fleet_su_manager"
    "$fleet_key_manager" "$fleet_keysudo_manager"
)
fleet_targets=(vtfl_t1 vtfl_t2 vtfl_t3 vtfl_t4 vtfl_t5 vtfl_t6 vtfl_t7 vtfl_t8 vtfl_t9 vtfl_t10 vtfl_t11 vtfl_t12)
# Targets with a nologin shell, as service accounts are: they cannot log in themselves, so a check of their
# password goes through the managers, who may change them with passwd and read them with getent shadow.
fleet_nologin_targets=(vtfl_nologin1 vtfl_nologin2)
# Their password has expired (chage -d 0): the host demands a new one at login.
fleet_expired=(vtfl_expired1 vtfl_expired2)
fleet_accounts=("${fleet_managers[@]}" "${fleet_targets[@]}" "${fleet_nologin_targets[@]}" "${fleet_expired[@]}")

# The ssh-agent that start.sh runs; it holds one fresh key (no key file is kept) that agent_accounts and
# onetry_agent_account accept. Tests point SSH_AUTH_SOCK at it.
agent_socket="$work_dir/agent.sock"

# Servers that real fleets run, each with accounts of its own. Their sshd (or Dropbear) admits only these.
dropbear_accounts=(vtdb_u1 vtdb_u2 vtdb_u3 vtdb_u4)
dropbear_group=vtdb_users          # Dropbear -G: only its accounts may log in
busybox_accounts=(vtbb_u1 vtbb_u2 vtbb_u3 vtbb_u4)
busybox_manager=vtbb_mgr           # "passwd vtbb_uN" runs BusyBox's passwd as root
notty_accounts=(vtnt_u1 vtnt_u2 vtnt_u3 vtnt_u4)
forced_accounts=(vtfc_u1 vtfc_u2 vtfc_u3)
sha1_accounts=(vtsha_u1 vtsha_u2 vtsha_u3)
onetry_accounts=(vtmax_u1 vtmax_u2 vtmax_u3)
onetry_agent_account=vtmax_agent1  # accepts the agent's key
pwquality_manager=vtpq_mgr         # "sudo passwd vtpq_tN" without a password; root is held to pwquality
pwquality_targets=(vtpq_t1 vtpq_t2 vtpq_t3 vtpq_t4)
pwquality_accounts=(vtpq_u1 vtpq_u2)
pwquality_minlen=12
# Every account of these servers and agent_accounts: start.sh creates them in one go, stop.sh removes them.
variant_accounts=(
    "${agent_accounts[@]}" "${dropbear_accounts[@]}" "${busybox_accounts[@]}" "$busybox_manager"
    "${notty_accounts[@]}" "${forced_accounts[@]}" "${sha1_accounts[@]}" "${onetry_accounts[@]}"
    "$onetry_agent_account" "$pwquality_manager" "${pwquality_targets[@]}" "${pwquality_accounts[@]}"
)
