#!/usr/bin/python3
"""An update service on loopback speaking the dyndns2 answer codes, for the dynamic DNS tests.

Prints "READY <port>" once it listens (on a port the system chooses). Each request is appended
to the record file as one JSON line {"path", "query", "auth", "agent"} before it is answered.

Answers follow a script: --answer may be given several times; the n-th request gets the n-th
answer, and the last one is repeated after that. An answer is
  CODE        one line per host name of the request ("hostname=a,b"): "CODE" followed, for
              good and nochg, by the first address of "myip"
  !TEXT       the body TEXT, with Python's backslash escapes ("\\n", "\\r", "\\x1b") decoded
Options:
  --status N  the HTTP status of every answer (200)
  --delay S   wait S seconds before answering
  --header H  a header line "Name: value" sent with every answer (may be given several times)
"""
import argparse
import json
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record", required=True)
    parser.add_argument("--answer", action="append", default=[])
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--delay", type=float, default=0.0)
    parser.add_argument("--header", action="append", default=[])
    args = parser.parse_args()
    answers = args.answer or ["good"]
    lock = threading.Lock()
    served = [0]

    class Handler(BaseHTTPRequestHandler):
        def do_GET(self):
            parts = urlsplit(self.path)
            with lock:
                answer = answers[min(served[0], len(answers) - 1)]
                served[0] += 1
                with open(args.record, "a", encoding="utf-8") as record:
                    record.write(json.dumps({
                        "path": parts.path,
                        "query": parts.query,
                        "auth": self.headers.get("Authorization", ""),
                        "agent": self.headers.get("User-Agent", ""),
                    }) + "\n")
            time.sleep(args.delay)
            if answer.startswith("!"):
                body = answer[1:].encode("utf-8").decode("unicode_escape")
            else:
                query = parse_qs(parts.query)
                hosts = ",".join(query.get("hostname", [""])).split(",")
                address = ",".join(query.get("myip", [""])).split(",")[0]
                line = answer + (" " + address if answer in ("good", "nochg") else "")
                body = "\n".join(line for _ in hosts) + "\n"
            data = body.encode("utf-8")
            try:
                self.send_response(args.status)
                self.send_header("Content-Type", "text/plain")
                self.send_header("Content-Length", str(len(data)))
                for header in args.header:
                    name, _, value = header.partition(":")
                    self.send_header(name.strip(), value.strip())
                self.end_headers()
                self.wfile.write(data)
            except (BrokenPipeError, ConnectionResetError):
                pass

        def log_message(self, format, *log_args):
            pass

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("READY %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    sys.exit(main())
