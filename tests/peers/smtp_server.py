#!/usr/bin/python3
"""SMTP server for tests: aiosmtpd on 127.0.0.1 (or ::1) with AUTH PLAIN, LOGIN and CRAM-MD5.

Usage: smtp_server.py OUTDIR [--port N] [--user U] [--password P] [--mechanisms M,M]
                      [--raw-only] [--refuse ADDRESS,ADDRESS]
                      [--starttls CERT KEY | --tls CERT KEY]

Prints "READY <port>" once it listens (port 0 = any free port). Every message received is
saved in OUTDIR as N.eml (the bytes between DATA and the dot, transparency undone) with:
  N.env    envelope, one "key: value" a line: greeting (EHLO/HELO), helo, mechanism, login,
           mail_from, rcpt (one line each)
  N.parts  the message parsed with Python's email package: "header<TAB>name<TAB>value" lines,
           then "part<TAB>content type<TAB>filename<TAB>disposition<TAB>decoded size" per part
  N.att<k> the decoded payload of the k-th part (from 1) that carries a file name
N.env is written last, so its presence means the message is complete. --raw-only skips
N.parts and the N.att files (for timing runs, where parsing would only add noise).
--refuse answers RCPT TO for those addresses with 550. --starttls offers STARTTLS with that
certificate and key and requires it before anything else; --tls speaks TLS from the first byte.
"""

import argparse
import asyncio
import email
import email.policy
import hmac
import os
import signal
import ssl
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword, MISSING


class Handler:
    def __init__(self, outdir, user, password, parse=True, refused=()):
        self.outdir = outdir
        self.refused = {a.lower() for a in refused}
        self.parse = parse
        self.user = user
        self.password = password
        self.count = 0

    def authenticator(self, server, session, envelope, mechanism, auth_data):
        session.orvex_mechanism = mechanism
        if (isinstance(auth_data, LoginPassword) and auth_data.login == self.user
                and auth_data.password == self.password):
            return AuthResult(success=True, auth_data=auth_data)
        # handled=False makes aiosmtpd answer 535 itself.
        return AuthResult(success=False, handled=False)

    async def auth_CRAM__MD5(self, server, args):
        challenge = f"<{os.getpid()}.{time.time_ns()}@orvex.test>".encode()
        response = await server.challenge_auth(challenge)
        if response is MISSING:
            return AuthResult(success=False, handled=True)
        server.session.orvex_mechanism = "CRAM-MD5"
        user, _, digest = response.partition(b" ")
        expected = hmac.new(self.password, challenge, "md5").hexdigest().encode()
        if user == self.user and hmac.compare_digest(digest, expected):
            return AuthResult(success=True, auth_data=LoginPassword(user, b""))
        return AuthResult(success=False, handled=False)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower() in self.refused:
            return "550 5.1.1 <{}>: Recipient address rejected".format(address)
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.outdir, str(self.count))
        content = envelope.original_content or envelope.content
        with open(base + ".eml", "wb") as f:
            f.write(content)
        if self.parse:
            self.save_parts(base, content)
        login = session.login_data or b""
        if isinstance(login, bytes):
            login = login.decode("latin-1")
        lines = [
            "greeting: " + ("EHLO" if session.extended_smtp else "HELO"),
            "helo: " + (session.host_name or ""),
            "mechanism: " + getattr(session, "orvex_mechanism", ""),
            "login: " + login,
            "mail_from: " + (envelope.mail_from or ""),
        ] + ["rcpt: " + r for r in envelope.rcpt_tos]
        with open(base + ".env.tmp", "w") as f:
            f.write("\n".join(lines) + "\n")
        os.rename(base + ".env.tmp", base + ".env")
        return "250 Message accepted for delivery"

    @staticmethod
    def save_parts(base, content):
        message = email.message_from_bytes(content, policy=email.policy.default)
        out = [f"header\t{name}\t{value}" for name, value in message.items()]
        attachments = 0
        for part in message.walk():
            payload = b"" if part.is_multipart() else (part.get_payload(decode=True) or b"")
            filename = part.get_filename() or ""
            out.append("part\t{}\t{}\t{}\t{}".format(part.get_content_type(), filename,
                                                   part.get_content_disposition() or "",
                                                   len(payload)))
            if filename:
                attachments += 1
                with open(f"{base}.att{attachments}", "wb") as f:
                    f.write(payload)
        with open(base + ".parts", "w", encoding="utf-8") as f:
            f.write("\n".join(out) + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", default="joe")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--mechanisms", default="CRAM-MD5,LOGIN,PLAIN",
                        help="mechanisms to advertise")
    parser.add_argument("--raw-only", action="store_true")
    parser.add_argument("--refuse", default="", help="recipients to refuse with 550")
    parser.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--bind", default="127.0.0.1", help="listening address (::1 for IPv6)")
    args = parser.parse_args()

    os.makedirs(args.outdir, exist_ok=True)
    handler = Handler(args.outdir, args.user.encode(), args.password.encode(),
                      parse=not args.raw_only,
                      refused=[a.strip() for a in args.refuse.split(",") if a.strip()])
    wanted = {m.strip().upper() for m in args.mechanisms.split(",") if m.strip()}
    excluded = [m for m in ("CRAM-MD5", "LOGIN", "PLAIN") if m not in wanted]

    def context(pair):
        if not pair:
            return None
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        ctx.load_cert_chain(pair[0], pair[1])
        return ctx

    starttls = context(args.starttls)

    def factory():
        return SMTP(handler, hostname="orvex-test", authenticator=handler.authenticator,
                    auth_require_tls=False, auth_exclude_mechanism=excluded,
                    tls_context=starttls, require_starttls=starttls is not None)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(
        loop.create_server(factory, args.bind, args.port, ssl=context(args.tls)))
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    print("READY {}".format(server.sockets[0].getsockname()[1]), flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    main()
