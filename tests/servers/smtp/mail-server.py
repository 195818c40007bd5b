#!/usr/bin/python3
"""Loopback SMTP server for the mail tests.

Requires AUTH (LOGIN or PLAIN offered, without TLS since it only listens on loopback) with one
fixed account, on one or more ports that keep separate records, so that a test area which counts
connections can have a port of its own. Every accepted message becomes one JSON file in
<work>/<port>/mail: the envelope, the SASL mechanism and account used, the raw message and its
headers and body as Python's own mail parser reads them. Every connection appends "open" and,
when it ends, "closed" to <work>/<port>/connections.log, so tests can tell that a refused mail
never connected and that every connection was closed. Recipients whose address starts with
"refused" are refused with 550.
"""
import argparse
import asyncio
import email
import email.policy
import itertools
import json
import os
import signal
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Recorder:
    def __init__(self, mail_dir):
        self.mail_dir = mail_dir
        self.counter = itertools.count(1)

    @staticmethod
    def parse(content):
        parsed = email.message_from_bytes(content, policy=email.policy.default)
        return {
            "subject": str(parsed.get("subject", "")),
            "from": str(parsed.get("from", "")),
            "to": [str(a.addr_spec) for a in parsed["to"].addresses] if parsed.get("to") else [],
            "date": str(parsed.get("date", "")),
            "message_id": str(parsed.get("message-id", "")),
            "content_type": parsed.get_content_type(),
            "charset": parsed.get_content_charset() or "",
            "body": parsed.get_content() if not parsed.is_multipart() else "",
            "defects": [type(d).__name__ for d in parsed.defects],
        }

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        # Lets tests see how a refused recipient is reported.
        if address.startswith("refused"):
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        auth = session.auth_data or {}
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "mechanism": auth.get("mechanism", ""),
            "login": auth.get("login", ""),
            "data": envelope.content.decode("utf-8", errors="replace"),
        }
        try:
            record["parsed"] = self.parse(envelope.content)
        except Exception as error:  # a malformed message is recorded, not refused
            record["parsed"] = {"error": repr(error)}
        name = "%d-%06d.json" % (time.time_ns(), next(self.counter))
        temporary = os.path.join(self.mail_dir, "." + name)
        with open(temporary, "w", encoding="utf-8") as out:
            json.dump(record, out)
        # Renamed into place so a reader never sees half a file.
        os.rename(temporary, os.path.join(self.mail_dir, name))
        return "250 Message accepted for delivery"


def make_authenticator(account, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        if not isinstance(auth_data, LoginPassword):
            return AuthResult(success=False, handled=False)
        good = auth_data.login == account.encode() and auth_data.password == password.encode()
        info = {"mechanism": mechanism, "login": auth_data.login.decode("utf-8", errors="replace")}
        return AuthResult(success=good, handled=False, auth_data=info)

    return authenticate


class CountingSMTP(SMTP):
    def __init__(self, connections_log, *args, **kwargs):
        self.connections_log = connections_log
        super().__init__(*args, **kwargs)

    def connection_made(self, transport):
        self._note("open")
        super().connection_made(transport)

    def connection_lost(self, error):
        self._note("closed")
        super().connection_lost(error)

    def _note(self, event):
        with open(self.connections_log, "a", encoding="utf-8") as log:
            log.write(event + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", required=True)
    parser.add_argument("--port", type=int, action="append", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--account", required=True)
    parser.add_argument("--password", required=True)
    args = parser.parse_args()

    authenticator = make_authenticator(args.account, args.password)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    servers = []
    for port in args.port:
        port_dir = os.path.join(args.work, str(port))
        mail_dir = os.path.join(port_dir, "mail")
        os.makedirs(mail_dir, exist_ok=True)
        connections_log = os.path.join(port_dir, "connections.log")
        open(connections_log, "w").close()
        handler = Recorder(mail_dir)

        def factory(handler=handler, connections_log=connections_log):
            return CountingSMTP(connections_log, handler, hostname="mail.veltrane.test", auth_required=True,
                                auth_require_tls=False, authenticator=authenticator, loop=loop)

        servers.append(loop.run_until_complete(loop.create_server(factory, host=args.address, port=port)))
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    try:
        loop.run_forever()
    finally:
        for server in servers:
            server.close()


if __name__ == "__main__":
    main()
