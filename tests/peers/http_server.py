#!/usr/bin/python3
"""A loopback HTTP or HTTPS server for the tests of the HTTP client and its users.

Prints "READY <port>" once it listens (on a port the system chooses). Every request, of any
method, is appended to the record file (--record) as one JSON line
{"method", "path", "headers": [[name, value], ...], "body"} before it is answered.

How to answer is told by the request's own query, so one server serves a whole table of cases:
  status=N        the answer's status (200)
  header=N:V      a header of the answer (repeatable)
  body=TEXT       the body; without it the body is the request's record as JSON
  size=N          a body of N bytes "x" instead
  redirect=URL    a redirect to URL
  hops=N          a redirect to this same address with hops=N-1; hops=0 answers as usual
  via=N           the status of those redirects (302)
  stall=S         wait S seconds before answering at all
  trickle=1       send the body, then a trickle of filler forever, without a length
Options:
  --tls CERT KEY  speak HTTPS with that certificate chain and key
  --bind ADDR     listen on ADDR (127.0.0.1, or ::1)
  --redirect BASE redirect every request to BASE followed by the request's own path and query
                  (a service that moved elsewhere)
"""
import argparse
import json
import socket
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlencode, urlsplit


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--redirect")
    args = parser.parse_args()
    lock = threading.Lock()

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def answer(self):
            length = int(self.headers.get("Content-Length", "0") or "0")
            body = self.rfile.read(length).decode("utf-8", "replace") if length else ""
            record = {
                "method": self.command,
                "path": self.path,
                "headers": [[k, v] for k, v in self.headers.items()],
                "body": body,
            }
            if args.record:
                with lock, open(args.record, "a", encoding="utf-8") as out:
                    out.write(json.dumps(record) + "\n")
            parts = urlsplit(self.path)
            query = parse_qs(parts.query, keep_blank_values=True)
            one = lambda name, default=None: query.get(name, [default])[0]
            time.sleep(float(one("stall", "0")))
            status = int(one("status", "200"))
            headers = [h.split(":", 1) for h in query.get("header", []) if ":" in h]
            hops = one("hops")
            if hops is not None and int(hops) > 0:
                query["hops"] = [str(int(hops) - 1)]
                headers.append(["Location", parts.path + "?" + urlencode(query, doseq=True)])
                status = int(one("via", "302"))
            elif one("redirect") is not None or args.redirect:
                target = one("redirect") or args.redirect + self.path
                headers.append(["Location", target])
                status = int(one("via", "302"))
            if one("size") is not None:
                data = b"x" * int(one("size"))
            elif one("body") is not None:
                data = one("body").encode("utf-8")
            else:
                data = json.dumps(record).encode("utf-8")
            try:
                self.send_response(status)
                for name, value in headers:
                    self.send_header(name.strip(), value.strip())
                if one("trickle"):
                    self.send_header("Connection", "close")
                    self.end_headers()
                    self.wfile.write(data)
                    # A trickle, so that the client's time bound ends it, not its size bound.
                    while True:
                        self.wfile.write(b"<!-- filler -->\n")
                        self.wfile.flush()
                        time.sleep(0.02)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)
                self.wfile.flush()
            except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
                self.close_connection = True

        do_GET = do_POST = do_PUT = do_PATCH = do_DELETE = answer

        def log_message(self, format, *log_args):
            pass

    class Server(ThreadingHTTPServer):
        address_family = socket.AF_INET6 if ":" in args.bind else socket.AF_INET
        daemon_threads = True

        def get_request(self):
            connection, address = self.socket.accept()
            if context is not None:
                # The handshake happens on the request's own thread, so a client that
                # never finishes it holds nobody else up.
                connection = context.wrap_socket(connection, server_side=True,
                                                 do_handshake_on_connect=False)
            return connection, address

        def process_request_thread(self, request, client_address):
            if context is not None:
                try:
                    request.settimeout(30)
                    request.do_handshake()
                    request.settimeout(None)
                except (OSError, ssl.SSLError):
                    self.shutdown_request(request)
                    return
            super().process_request_thread(request, client_address)

    context = None
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls[0], args.tls[1])
    server = Server((args.bind, 0), Handler)
    print("READY %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
