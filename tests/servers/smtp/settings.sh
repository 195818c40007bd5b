# Shared by start.sh and stop.sh. tests/support/MailTestServer.h repeats these values for the C++
# tests; keep both in step.
smtp_address=127.0.0.6
smtp_port=2525
smtp_work_dir=/tmp/veltrane-smtp
smtp_account=vtst_mail
smtp_password='Mail-Pass#2026'
