#!/usr/bin/python3
"""An echo page on loopback for the WAN address lookup tests.

Prints "READY <port>" once it listens (on a port the system chooses), then one line per
request on standard output: "REQUEST <path> AGENT <user agent>".

Modes:
  (default)            200, body "REMOTE_ADDR: <caller><br>"
  --body TEXT          the body TEXT instead ("\\n" in TEXT stands for a line end)
  --status CODE        answer with this status code (404 with a body, ...)
  --pieces N --gap S   send the body in N pieces, S seconds apart (length announced up front)
  --endless            send the body, then a trickle of filler forever, without a length
  --delay S            wait S seconds before answering
  --bind ADDR          listen on ADDR (127.0.0.1 or ::1; repeat for both, on one port)
"""
import argparse
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--body")
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--pieces", type=int, default=1)
    parser.add_argument("--gap", type=float, default=0.0)
    parser.add_argument("--endless", action="store_true")
    parser.add_argument("--delay", type=float, default=0.0)
    parser.add_argument("--bind", action="append")
    args = parser.parse_args()

    class Handler(BaseHTTPRequestHandler):
        def do_GET(self):
            # One write, so the line never interleaves with other output.
            sys.stdout.write("REQUEST %s AGENT %s\n"
                             % (self.path, self.headers.get("User-Agent", "")))
            sys.stdout.flush()
            time.sleep(args.delay)
            if args.body is None:
                body = "REMOTE_ADDR: %s<br>" % self.client_address[0]
            else:
                body = args.body.replace("\\n", "\n")
            data = body.encode("latin-1")
            try:
                if args.endless:
                    self.protocol_version = "HTTP/1.0"
                    self.send_response(args.status)
                    self.send_header("Content-Type", "text/html")
                    self.end_headers()
                    self.wfile.write(data)
                    # A trickle, so that the client's time bound ends it, not its size bound.
                    while True:
                        self.wfile.write(b"<!-- filler -->\n")
                        self.wfile.flush()
                        time.sleep(0.02)
                self.send_response(args.status)
                self.send_header("Content-Type", "text/html")
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.flush()
                pieces = max(args.pieces, 1)
                size = (len(data) + pieces - 1) // pieces
                for i in range(pieces):
                    if i > 0:
                        time.sleep(args.gap)
                    self.wfile.write(data[i * size:(i + 1) * size])
                    self.wfile.flush()
            except (BrokenPipeError, ConnectionResetError):
                pass

        def log_message(self, format, *log_args):
            # The request line above is the log; standard error shares the same file.
            pass

    class Server6(ThreadingHTTPServer):
        address_family = socket.AF_INET6

        def server_bind(self):
            self.socket.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
            super().server_bind()

    servers = []
    port = 0
    for address in args.bind or ["127.0.0.1"]:
        kind = Server6 if ":" in address else ThreadingHTTPServer
        server = kind((address, port), Handler)
        server.daemon_threads = True
        port = server.server_address[1]
        servers.append(server)
    for server in servers[1:]:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    print("READY %d" % port, flush=True)
    try:
        servers[0].serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
