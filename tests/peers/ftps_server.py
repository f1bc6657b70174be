#!/usr/bin/python3
"""A throwaway FTPS server on 127.0.0.1 for tests: one user with full rights on one folder,
TLS required on the control and on every data connection.

--implicit speaks TLS from the first byte; otherwise the client asks with AUTH TLS.
--require-reuse refuses a data connection whose TLS session does not resume the control
connection's session, as strict servers do.
Prints "READY <port>" once it listens (port 0 asks the system for a free one) and logs the
whole dialogue to standard error.
"""
import argparse
import logging
import sys

from OpenSSL import SSL
from OpenSSL._util import lib as ssl_lib
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--implicit", action="store_true")
    parser.add_argument("--require-reuse", action="store_true")
    parser.add_argument("--quiet", action="store_true", help="log warnings only")
    args = parser.parse_args()

    logging.basicConfig(stream=sys.stderr,
                        level=logging.WARNING if args.quiet else logging.DEBUG,
                        format="%(message)s")

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")

    context = SSL.Context(SSL.TLS_SERVER_METHOD)
    context.set_min_proto_version(SSL.TLS1_2_VERSION)
    context.use_certificate_chain_file(args.cert)
    context.use_privatekey_file(args.key)
    context.set_session_id(b"orvex-test")
    context.set_session_cache_mode(SSL.SESS_CACHE_SERVER)

    class DataHandler(TLS_DTPHandler):
        def handle_ssl_established(self):
            reused = ssl_lib.SSL_session_reused(self.socket._ssl) == 1
            logging.info("data connection TLS session %s",
                         "resumed" if reused else "NOT resumed")
            if args.require_reuse and not reused:
                self.cmd_channel.respond(
                    "522 Data connection must resume the TLS session of the control connection.")
                self.close()

    class Handler(TLS_FTPHandler):
        dtp_handler = DataHandler
        tls_control_required = True
        tls_data_required = True
        _greeted = False

        def handle(self):
            if args.implicit:
                self.secure_connection(self.ssl_context)
            else:
                super().handle()

        def handle_ssl_established(self):
            if args.implicit and not self._greeted:
                self._greeted = True
                super().handle()

    Handler.authorizer = authorizer
    Handler.ssl_context = context
    Handler.permit_foreign_addresses = False
    Handler.masquerade_address = None

    server = FTPServer(("127.0.0.1", 0), Handler)
    port = server.socket.getsockname()[1]
    print("READY %d" % port, flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
