# Shared by start.sh and stop.sh. tests/support/MailTestServer.h repeats these values for the C++
# tests; keep both in step.
smtp_address=127.0.0.6
# 2525 is shared by every test area; 2526 belongs to the mail tests alone, which count the
# connections the server sees and so must not share them with tests running in parallel.
smtp_ports=(2525 2526)
smtp_work_dir=/tmp/veltrane-smtp
smtp_account=vtst_mail
smtp_password='Mail-Pass#2026'
