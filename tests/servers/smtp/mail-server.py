#!/usr/bin/python3
"""Loopback SMTP server for the mail tests.

The plain ports (--port) require AUTH (LOGIN or PLAIN offered in clear text, no STARTTLS) with one
fixed account. The TLS ports offer AUTH without requiring it, so a mail without an account gets
through too: --starttls-port offers STARTTLS with --cert, --tls-port speaks TLS from the first byte
with --cert, --other-name-port offers STARTTLS with --other-cert (made out for another name). None
of them insists on TLS before AUTH: a client that logs in too early must show in the records rather
than be saved by the server. --auth-after-tls-port is the exception, set up like many real relays:
STARTTLS with --cert, AUTH offered only inside TLS, and a recipient refused as relaying unless the
client logged in.

Every port keeps separate records, so that a test area which counts connections can have a port
of its own. Every accepted message becomes one JSON file in <work>/<port>/mail: the envelope,
whether the connection was encrypted, the SASL mechanism and account used, the raw message and its
headers and body as Python's own mail parser reads them. Every connection appends "open" and, when
it ends, "closed" to <work>/<port>/connections.log, so tests can tell that a refused mail never
connected and that every connection was closed. Every AUTH command, before anything of it is
checked, appends "tls" or "clear" to <work>/<port>/auth.log, so tests can tell that no password
went out in clear text. Every MAIL command appends "mail" to <work>/<port>/envelopes.log, so tests
can tell that a refused mail never began its envelope. Recipients whose address starts with
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
import ssl
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword, syntax


class Recorder:
    def __init__(self, mail_dir, relay_needs_login=False):
        self.mail_dir = mail_dir
        self.relay_needs_login = relay_needs_login
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
        if self.relay_needs_login and not session.authenticated:
            return "554 5.7.1 <%s>: Relay access denied" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        auth = session.auth_data or {}
        record = {
            "mail_from": envelope.mail_from,
            "tls": server.encrypted(),
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
    def __init__(self, port_dir, *args, **kwargs):
        self.connections_log = os.path.join(port_dir, "connections.log")
        # Not "auth_log": aiosmtpd would offer every attribute named auth_* as a SASL mechanism.
        self.logins_log = os.path.join(port_dir, "auth.log")
        self.envelopes_log = os.path.join(port_dir, "envelopes.log")
        self.closed_noted = False
        super().__init__(*args, **kwargs)

    def encrypted(self):
        return self.transport is not None and self.transport.get_extra_info("ssl_object") is not None

    def connection_made(self, transport):
        # After STARTTLS the TLS layer calls this again for the same connection.
        if self._original_transport is None:
            self._note(self.connections_log, "open")
        super().connection_made(transport)

    def connection_lost(self, error):
        self._note_closed()
        super().connection_lost(error)

    async def smtp_STARTTLS(self, arg):
        try:
            await super().smtp_STARTTLS(arg)
        except Exception:
            # A failed handshake after STARTTLS never reaches connection_lost.
            self._note_closed()
            raise

    @syntax("AUTH <mechanism>")
    async def smtp_AUTH(self, arg):
        self._note(self.logins_log, "tls" if self.encrypted() else "clear")
        await super().smtp_AUTH(arg)

    @syntax("MAIL FROM: <address>", extended=" [SP <mail-parameters>]")
    async def smtp_MAIL(self, arg):
        self._note(self.envelopes_log, "mail")
        await super().smtp_MAIL(arg)

    def _note_closed(self):
        if not self.closed_noted:
            self.closed_noted = True
            self._note(self.connections_log, "closed")

    @staticmethod
    def _note(path, event):
        with open(path, "a", encoding="utf-8") as log:
            log.write(event + "\n")


def server_context(cert, key):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    return context


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", required=True)
    parser.add_argument("--port", type=int, action="append", required=True)
    parser.add_argument("--starttls-port", type=int, required=True)
    parser.add_argument("--tls-port", type=int, required=True)
    parser.add_argument("--other-name-port", type=int, required=True)
    parser.add_argument("--auth-after-tls-port", type=int, required=True)
    parser.add_argument("--cert", required=True, help="PEM chain for the tested name")
    parser.add_argument("--key", required=True)
    parser.add_argument("--other-cert", required=True, help="PEM chain made out for another name")
    parser.add_argument("--other-key", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--account", required=True)
    parser.add_argument("--password", required=True)
    args = parser.parse_args()

    authenticator = make_authenticator(args.account, args.password)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)

    tested_name = server_context(args.cert, args.key)
    other_name = server_context(args.other_cert, args.other_key)
    # (port, STARTTLS context, implicit TLS context, AUTH required, AUTH only inside TLS)
    listeners = [(port, None, None, True, False) for port in args.port]
    listeners += [(args.starttls_port, tested_name, None, False, False),
                  (args.tls_port, None, tested_name, False, False),
                  (args.other_name_port, other_name, None, False, False),
                  (args.auth_after_tls_port, tested_name, None, False, True)]

    servers = []
    for port, starttls, implicit, auth_required, auth_after_tls in listeners:
        port_dir = os.path.join(args.work, str(port))
        mail_dir = os.path.join(port_dir, "mail")
        os.makedirs(mail_dir, exist_ok=True)
        for log in ("connections.log", "auth.log", "envelopes.log"):
            open(os.path.join(port_dir, log), "w").close()
        # A relay that wants the login before it passes mail on, refusing at RCPT like Postfix.
        handler = Recorder(mail_dir, relay_needs_login=auth_after_tls)

        def factory(handler=handler, port_dir=port_dir, starttls=starttls, auth_required=auth_required,
                    auth_after_tls=auth_after_tls):
            return CountingSMTP(port_dir, handler, hostname="mail.veltrane.test", auth_required=auth_required,
                                auth_require_tls=auth_after_tls, authenticator=authenticator,
                                tls_context=starttls, loop=loop)

        servers.append(loop.run_until_complete(loop.create_server(factory, host=args.address, port=port,
                                                                  ssl=implicit)))
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    try:
        loop.run_forever()
    finally:
        for server in servers:
            server.close()


if __name__ == "__main__":
    main()
