#!/usr/bin/python3
"""The servers of the run command's demonstration, on 127.0.0.1 only.

  demo_servers.py --root DIR --ftp-port N --echo-port M

An FTP server (user "orvex", password "orvex", home DIR, writable) and an echo page that
answers "REMOTE_ADDR: <caller><br>" at any path. Both stop when this process ends.
"""
import argparse
import logging
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class EchoHandler(BaseHTTPRequestHandler):
    def do_GET(self):
        body = ("<html><body>REMOTE_ADDR: %s<br></body></html>\n"
                % self.client_address[0]).encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--ftp-port", type=int, required=True)
    parser.add_argument("--echo-port", type=int, required=True)
    args = parser.parse_args()
    logging.basicConfig(level=logging.WARNING)

    echo = ThreadingHTTPServer(("127.0.0.1", args.echo_port), EchoHandler)
    threading.Thread(target=echo.serve_forever, daemon=True).start()

    authorizer = DummyAuthorizer()
    authorizer.add_user("orvex", "orvex", args.root, perm="elradfmw")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.passive_ports = range(30200, 30300)
    ftp = FTPServer(("127.0.0.1", args.ftp_port), handler)
    print("demo: FTP on 127.0.0.1:%d (files in %s), echo page on http://127.0.0.1:%d/ip"
          % (args.ftp_port, args.root, args.echo_port), flush=True)
    ftp.serve_forever()


if __name__ == "__main__":
    main()
