#!/usr/bin/python3
"""A throwaway SFTP server on 127.0.0.1 for tests: one user with a password, confined to one
folder, with the host key in the given file (made there when missing).

Prints "READY <port>" once it listens (port 0 asks the system for a free one) and logs to
standard error.
"""
import argparse
import asyncio
import logging
import os
import sys

import asyncssh


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--host-key", required=True, help="private key file (PEM/OpenSSH)")
    args = parser.parse_args()

    logging.basicConfig(stream=sys.stderr, level=logging.INFO, format="%(message)s")

    if not os.path.exists(args.host_key):
        asyncssh.generate_private_key("ecdsa-sha2-nistp256").write_private_key(args.host_key)

    class Server(asyncssh.SSHServer):
        def begin_auth(self, username):
            return True

        def password_auth_supported(self):
            return True

        def validate_password(self, username, password):
            ok = username == args.user and password == args.password
            logging.info("password for %s %s", username, "accepted" if ok else "refused")
            return ok

    class Files(asyncssh.SFTPServer):
        def __init__(self, chan):
            super().__init__(chan, chroot=args.root.encode())

    async def serve():
        server = await asyncssh.listen("127.0.0.1", 0, server_host_keys=[args.host_key],
                                       server_factory=Server, sftp_factory=Files)
        port = server.sockets[0].getsockname()[1]
        print("READY %d" % port, flush=True)
        await server.wait_closed()

    try:
        asyncio.run(serve())
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
