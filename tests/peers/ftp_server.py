#!/usr/bin/python3
"""A throwaway FTP server on loopback (127.0.0.1, or ::1) for tests: one user with full rights on one folder.

Prints "READY <port>" once it listens (port 0 asks the system for a free one) and logs the
whole dialogue to standard error.
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--passive-ports", help="A-B")
    parser.add_argument("--quiet", action="store_true", help="log warnings only")
    parser.add_argument("--bind", default="127.0.0.1", help="listening address (::1 for IPv6)")
    parser.add_argument("--masquerade",
                        help="the address PASV replies name, as a server behind NAT names its "
                             "public or private one; data is still taken on --bind")
    args = parser.parse_args()

    logging.basicConfig(stream=sys.stderr,
                        level=logging.WARNING if args.quiet else logging.DEBUG,
                        format="%(message)s")

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    # Clients and the server both sit on loopback; PORT to the control peer's own address.
    Handler.permit_foreign_addresses = False
    Handler.masquerade_address = args.masquerade
    if args.passive_ports:
        low, high = (int(p) for p in args.passive_ports.split("-"))
        Handler.passive_ports = range(low, high + 1)

    server = FTPServer((args.bind, 0), Handler)
    port = server.socket.getsockname()[1]
    print("READY %d" % port, flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
