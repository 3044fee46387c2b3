"""An SMTP server for the mail delivery tests, on a free port of 127.0.0.1.

    smtp_server.py --dir DIR --mode plain|starttls|tls [--cert PEM --key PEM]
                   [--auth USER:PASSWORD] [--refuse ADDRESS=REPLY ...] [--silent-quit]

plain offers no STARTTLS; starttls offers it; tls speaks TLS from the first
byte. With --auth every message needs a login (over TLS). A recipient named
by --refuse gets REPLY to its RCPT. With --silent-quit the server never
answers QUIT and keeps the connection open, as a broken server does. Every message accepted is written to
DIR as msg-N.eml (the bytes received) and msg-N.envelope (lines "from X",
"rcpt Y", "login Z", "tls yes|no", "connection C": the number of the
connection it came over, counted from 1). The first line on standard output is
"PORT n" once the server listens; it stops when standard input closes.
"""
import argparse
import asyncio
import logging
import os
import ssl
import sys
import warnings

# The server's own warnings (AUTH over implicit TLS, deprecations) are noise
# in test output.
warnings.simplefilter("ignore")
logging.disable(logging.CRITICAL)

try:
    from aiosmtpd.smtp import SMTP, AuthResult
except ImportError:
    print("MISSING python3-aiosmtpd", flush=True)
    sys.exit(3)


class Handler:
    def __init__(self, directory, refusals):
        self.directory = directory
        self.refusals = refusals
        self.count = 0
        self.connections = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refusals:
            return self.refusals[address]
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.directory, "msg-%d" % self.count)
        with open(base + ".eml", "wb") as out:
            out.write(envelope.original_content or envelope.content)
        tls = server.transport.get_extra_info("ssl_object") is not None
        lines = ["from " + envelope.mail_from]
        lines += ["rcpt " + r for r in envelope.rcpt_tos]
        login = getattr(session, "test_login", None)
        if login is not None:
            lines.append("login " + login)
        lines.append("tls " + ("yes" if tls else "no"))
        if getattr(session, "test_connection", None) is None:
            self.connections += 1
            session.test_connection = self.connections
        lines.append("connection %d" % session.test_connection)
        with open(base + ".envelope", "w") as out:
            out.write("\n".join(lines) + "\n")
        return "250 2.0.0 Message accepted for delivery"


class SilentQuitSMTP(SMTP):
    async def smtp_QUIT(self, arg):
        await asyncio.sleep(3600)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--mode", choices=["plain", "starttls", "tls"], default="plain")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--auth")
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--silent-quit", action="store_true")
    args = parser.parse_args()

    refusals = dict(item.split("=", 1) for item in args.refuse)
    handler = Handler(args.dir, refusals)
    context = None
    if args.mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    user, password = (args.auth.split(":", 1) + [""])[:2] if args.auth else (None, None)

    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = auth_data.login.decode() == user and auth_data.password.decode() == password
        if ok:
            session.test_login = user
        return AuthResult(success=ok, handled=False)

    def factory():
        options = dict(hostname="tarnalert-test", decode_data=False)
        if args.mode == "starttls":
            options.update(tls_context=context, require_starttls=False)
        if user is not None:
            options.update(authenticator=authenticate, auth_required=True,
                           auth_require_tls=args.mode == "starttls")
        return (SilentQuitSMTP if args.silent_quit else SMTP)(handler, **options)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        factory, "127.0.0.1", 0, ssl=context if args.mode == "tls" else None))
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)

    stop = loop.create_future()
    loop.add_reader(sys.stdin.fileno(), lambda: stop.done() or (
        not os.read(sys.stdin.fileno(), 4096) and stop.set_result(None)))
    loop.run_until_complete(stop)
    server.close()
    loop.run_until_complete(server.wait_closed())


if __name__ == "__main__":
    main()
