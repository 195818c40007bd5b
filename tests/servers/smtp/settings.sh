# Shared by start.sh and stop.sh. tests/support/MailTestServer.h repeats these values for the C++
# tests; keep both in step.
smtp_address=127.0.0.6
# Plain ports: AUTH in clear text, no STARTTLS offered.
# 2525 is shared by every test area; 2526 belongs to the mail tests alone, which count the
# connections the server sees and so must not share them with tests running in parallel.
smtp_ports=(2525 2526)
# TLS ports, for the mail tests alone: STARTTLS offered; TLS from the first byte; STARTTLS with a
# certificate made out for another name; STARTTLS with AUTH offered only after it.
smtp_starttls_port=2527
smtp_tls_port=2528
smtp_other_name_port=2529
# STARTTLS offered, AUTH only inside TLS, relaying only after a login.
smtp_auth_after_tls_port=2530
smtp_work_dir=/tmp/veltrane-smtp
# A throw-away certificate authority (ca.pem) and the server certificates it signed, made at each
# start: one for the address the tests connect to, one for smtp_other_name.
smtp_tls_dir=$smtp_work_dir/tls
smtp_other_name=mail.elsewhere.test
smtp_account=vtst_mail
smtp_password='Mail-Pass#2026'
