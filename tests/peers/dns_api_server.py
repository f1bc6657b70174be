#!/usr/bin/python3
"""A DNS provider's HTTP interface on loopback, for the dynamic DNS tests.

One framework, one small module per provider in dnsapi/ (routes, authentication check, answer
and error shapes, written from each provider's public API documentation). Prints
"READY <port>" once it listens on 127.0.0.1 (a port the system chooses).

The zone example.test (and the decoy ample.test) is seeded for each --host by --case:
  update    A 192.0.2.1 and AAAA 2001:db8::1, TTL 3600, a note and (where it exists) the
            proxied flag set by hand
  current   A --address and AAAA --address6, the same TTL and note
  missing   no record
  two       two A records (192.0.2.1, 192.0.2.2) and the current AAAA
and www.example.test keeps an A record that must never change. Switches for the answers:
  --case auth       the credentials given are not the ones it accepts
  --case throttle   every request gets 429 with Retry-After: 7
  --case malformed  every answer is cut short (not valid JSON or XML)
  --delay S         wait S seconds before answering (a slow answer)
Each request is appended to --record as one JSON line {"method", "path", "query", "body",
"auth", "write"} ("write" when it changed a record); after each request --state holds
{"records": [{"name", "type", "content", "ttl", "note", "proxied"}, ...]}.
"""
import argparse
import importlib
import json
import os
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from dnsapi.common import ApiError, Reply, check_address  # noqa: E402


class Request:
    def __init__(self, method, path, query, headers, body):
        self.method = method
        self.path = path
        self.query = {k: v[0] for k, v in parse_qs(query, keep_blank_values=True).items()}
        self.raw_query = query
        self.headers = headers
        self.body = body
        try:
            self.json = json.loads(body) if body else None
        except ValueError:
            self.json = None

    def need_json(self):
        if self.json is None:
            raise ApiError(400, "the request body is not JSON")
        return self.json


class Credentials:
    def __init__(self, user, token):
        self.user = user
        self.token = token


class Store:
    """Zones and records, provider-neutral; modules map them to their own shapes."""

    def __init__(self, zone_id):
        self.zones = []
        self.records = []
        self.revision = 0
        self.next_id = 1000
        self.zone_id = zone_id

    def add_zone(self, name):
        zone = {"id": self.zone_id(len(self.zones), name), "name": name}
        self.zones.append(zone)
        return zone

    def zone(self, key):
        for zone in self.zones:
            if key in (zone["id"], zone["name"]):
                return zone
        raise ApiError(404, "no zone %s" % key)

    def relative(self, record):
        name, zone = record["name"], record["zone"]
        return "" if name == zone else name[: -len(zone) - 1]

    def full(self, zone, relative):
        relative = (relative or "").rstrip(".").lower()
        if relative in ("", "@"):
            return zone["name"]
        if relative == zone["name"] or relative.endswith("." + zone["name"]):
            return relative
        return relative + "." + zone["name"]

    def find(self, zone=None, name=None, rtype=None):
        return [r for r in self.records
                if (zone is None or r["zone"] == zone["name"])
                and (name is None or r["name"] == name.rstrip(".").lower())
                and (rtype is None or r["type"] == rtype)]

    def record(self, record_id):
        for r in self.records:
            if str(r["id"]) == str(record_id):
                return r
        raise ApiError(404, "no record %s" % record_id)

    def add(self, zone, name, rtype, content, ttl, note=None, proxied=False):
        check_address(rtype, content)
        self.next_id += 1
        record = {"id": self.next_id, "zone": zone["name"], "name": name.rstrip(".").lower(),
                  "type": rtype, "content": content, "ttl": ttl, "note": note,
                  "proxied": proxied}
        self.records.append(record)
        self.revision += 1
        return record

    def change(self, record, **fields):
        if "content" in fields:
            check_address(record["type"], fields["content"])
        record.update(fields)
        self.revision += 1
        return record

    def replace_set(self, zone, name, rtype, values, ttl):
        """A record set written whole: one value replacing one keeps that record's id and note."""
        for value in values:
            check_address(rtype, value)
        old = self.find(zone, name, rtype)
        if len(old) == 1 and len(values) == 1:
            return [self.change(old[0], content=values[0], ttl=ttl)]
        self.records = [r for r in self.records if r not in old]
        return [self.add(zone, name, rtype, v, ttl) for v in values]


def seed(store, args):
    zone = store.add_zone(args.zone)
    store.add_zone("ample.test")
    for host in args.host:
        if args.case == "missing":
            continue
        first = {"current": args.address}.get(args.case, "192.0.2.1")
        store.add(zone, host, "A", first, 3600, "set by hand", True)
        if args.case == "two":
            store.add(zone, host, "A", "192.0.2.2", 3600, "set by hand", True)
        second = args.address6 if args.case in ("current", "two") else "2001:db8::1"
        store.add(zone, host, "AAAA", second, 3600, "set by hand", True)
    store.add(zone, "www." + args.zone, "A", "192.0.2.99", 3600, None, False)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--provider", required=True)
    parser.add_argument("--record", required=True)
    parser.add_argument("--state", default="")
    parser.add_argument("--user", default="")
    parser.add_argument("--token", default="")
    parser.add_argument("--zone", default="example.test")
    parser.add_argument("--host", action="append", default=[])
    parser.add_argument("--case", default="update",
                        choices=["update", "current", "missing", "two", "auth", "throttle",
                                 "malformed"])
    parser.add_argument("--address", default="192.0.2.7")
    parser.add_argument("--address6", default="2001:db8::7")
    parser.add_argument("--delay", type=float, default=0.0)
    args = parser.parse_args()
    args.host = [h.lower() for h in args.host] or ["home." + args.zone]
    module = importlib.import_module("dnsapi." + args.provider)
    accepted = Credentials(args.user, args.token + ("-other" if args.case == "auth" else ""))
    store = Store(getattr(module, "zone_id", lambda index, name: "%d" % (index + 1)))
    store.credentials = accepted
    seed(store, args)
    lock = threading.Lock()

    def write_state():
        if args.state:
            with open(args.state + ".new", "w", encoding="utf-8") as out:
                json.dump({"records": [{k: r[k] for k in ("name", "type", "content", "ttl",
                                                          "note", "proxied")}
                                       for r in store.records]}, out)
            os.replace(args.state + ".new", args.state)

    write_state()

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def handle_any(self):
            parts = urlsplit(self.path)
            length = int(self.headers.get("Content-Length") or 0)
            body = self.rfile.read(length) if length else b""
            path = parts.path
            prefix = getattr(module, "PREFIX", "")
            if prefix and path.startswith(prefix):
                path = path[len(prefix):]
            request = Request(self.command, path, parts.query, self.headers, body)
            request.host = self.headers.get("Host", "")
            request.full_path = parts.path
            with lock:
                before = store.revision
                extra = {}
                if args.case == "throttle":
                    reply = module.error(429, "Too many requests; slow down")
                    extra["Retry-After"] = "7"
                elif args.case == "malformed":
                    reply = Reply(200, raw=module.MALFORMED)
                elif not module.authorized(request, accepted):
                    reply = module.error(getattr(module, "AUTH_STATUS", 401),
                                         "Invalid authentication credentials")
                else:
                    try:
                        reply = module.handle(request, store)
                    except ApiError as e:
                        reply = module.error(e.status, e.message)
                with open(args.record, "a", encoding="utf-8") as record:
                    record.write(json.dumps({
                        "method": self.command, "path": parts.path, "query": parts.query,
                        "body": body.decode("utf-8", "replace"),
                        "auth": self.headers.get("Authorization", ""),
                        "write": store.revision != before}) + "\n")
                write_state()
            time.sleep(args.delay)
            if reply.raw is not None:
                data = reply.raw
            elif reply.body is None:
                data = b""
            else:
                data = json.dumps(reply.body).encode("utf-8")
            try:
                self.send_response(reply.status)
                if data:
                    self.send_header("Content-Type", reply.content_type)
                for name, value in extra.items():
                    self.send_header(name, value)
                self.send_header("Content-Length", str(len(data)))
                self.end_headers()
                self.wfile.write(data)
            except (BrokenPipeError, ConnectionResetError):
                pass

        do_GET = do_POST = do_PUT = do_PATCH = do_DELETE = handle_any

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
