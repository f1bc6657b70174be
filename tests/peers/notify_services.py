#!/usr/bin/python3
"""The notification services on loopback, one server for every kind, for the notification tests.

Written from each service's public documentation: the path, the way the token travels and the
shape of the request are checked as the real service checks them, and the answers (accepted,
refused, rate-limited) have the service's documented shapes. Each kind lives under its own
first path segment, so one server stands for all of them:

  /ntfy/<topic>                                    POST text; "Authorization: Bearer <token>"
  /gotify/message                                  POST JSON; "X-Gotify-Key: <token>"
  /telegram/bot<token>/sendMessage                 POST JSON {chat_id, text}
  /discord/api/webhooks/<id>/<token>               POST JSON {content}
  /slack/services/<team>/<hook>/<token>            POST JSON {text}
  /matrix/_matrix/client/v3/rooms/<room>/send/m.room.message/<txn>
                                                   PUT JSON {msgtype, body}; Bearer token
  /pushover/1/messages.json                        POST form {token, user, message}
  /webhook/...                                     POST a JSON object
  /ping/<uuid>[/fail]                              GET

Prints "READY <port>" once it listens. Every request is appended to the record file as one
JSON line {"kind", "method", "path", "query", "headers", "body", "status"} once answered (a
request is on record before its answer goes); an accepted message adds "text" and "title" as the
service would show them, wherever its request carries them. The mode file, read at each request, switches the
answers: "normal" (or no file), "refuse" (the token is refused), "429 <seconds>" (rate limit
with Retry-After), "500", "silent" (the request is read and never answered).
"""
import argparse
import json
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, unquote, urlsplit

KINDS = ("ntfy", "gotify", "telegram", "discord", "slack", "matrix", "pushover", "webhook", "ping")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--record", required=True)
    parser.add_argument("--mode-file", default="")
    parser.add_argument("--token", required=True)
    args = parser.parse_args()
    lock = threading.Lock()
    matrix_events = {}

    def mode():
        if not args.mode_file:
            return "normal"
        try:
            with open(args.mode_file, encoding="utf-8") as f:
                return f.read().strip() or "normal"
        except OSError:
            return "normal"

    def record(entry):
        with lock:
            with open(args.record, "a", encoding="utf-8") as out:
                out.write(json.dumps(entry) + "\n")

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *_):
            pass

        def do_GET(self):
            self.serve("GET")

        def do_POST(self):
            self.serve("POST")

        def do_PUT(self):
            self.serve("PUT")

        def answer(self, status, body=b"", content_type="application/json", headers=()):
            if isinstance(body, (dict, list)):
                body = json.dumps(body).encode("utf-8")
            elif isinstance(body, str):
                body = body.encode("utf-8")
            # Kept until the request is on record, so a test that has its answer finds it there.
            self.pending = (status, body, content_type, headers)
            self.status = status

        def flush(self):
            status, body, content_type, headers = self.pending
            self.send_response(status)
            if body:
                self.send_header("Content-Type", content_type)
            for name, value in headers:
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def bearer_ok(self):
            return self.headers.get("Authorization", "") == "Bearer " + args.token

        def json_body(self):
            if not self.headers.get("Content-Type", "").startswith("application/json"):
                return None
            try:
                value = json.loads(self.body.decode("utf-8"))
            except (UnicodeDecodeError, ValueError):
                return None
            return value if isinstance(value, dict) else None

        def serve(self, method):
            parts = urlsplit(self.path)
            segments = parts.path.split("/")
            kind = segments[1] if len(segments) > 1 and segments[1] in KINDS else ""
            length = int(self.headers.get("Content-Length", "0") or 0)
            self.body = self.rfile.read(length) if length > 0 else b""
            self.status = 0
            self.delivered = None
            entry = {
                "kind": kind,
                "method": method,
                "path": unquote(parts.path),
                "query": parts.query,
                "headers": {k.lower(): v for k, v in self.headers.items()},
                "body": self.body.decode("utf-8", "replace"),
            }
            now = mode()
            if now == "silent":
                entry["status"] = 0
                record(entry)
                time.sleep(60)
                return
            if now == "500":
                self.answer(500, "Internal Server Error", "text/plain")
            elif now.startswith("429"):
                self.rate_limited(kind, now.split()[1] if len(now.split()) > 1 else "1")
            elif kind:
                getattr(self, "serve_" + kind)(method, segments[2:], parts, now == "refuse")
            else:
                self.answer(404, "404 page not found", "text/plain")
            entry["status"] = self.status
            if self.delivered is not None:
                entry["text"], entry["title"] = self.delivered
            record(entry)
            self.flush()

        def rate_limited(self, kind, seconds):
            retry = [("Retry-After", seconds)]
            if kind == "telegram":
                body = {"ok": False, "error_code": 429,
                        "description": "Too Many Requests: retry after " + seconds,
                        "parameters": {"retry_after": int(seconds)}}
            elif kind == "discord":
                body = {"message": "You are being rate limited.",
                        "retry_after": float(seconds), "global": False}
            elif kind == "matrix":
                body = {"errcode": "M_LIMIT_EXCEEDED", "error": "Too many requests",
                        "retry_after_ms": int(seconds) * 1000}
            elif kind == "ntfy":
                body = {"code": 42901, "http": 429, "error": "limit reached: too many requests"}
            else:
                body = {"error": "Too Many Requests"}
            self.answer(429, body, headers=retry)

        def serve_ntfy(self, method, rest, parts, refuse):
            if method not in ("POST", "PUT") or len(rest) != 1 or not rest[0]:
                return self.answer(404, {"code": 40401, "http": 404, "error": "page not found"})
            if refuse or not self.bearer_ok():
                return self.answer(403 if refuse else 401,
                                   {"code": 40301 if refuse else 40101,
                                    "http": 403 if refuse else 401,
                                    "error": "forbidden" if refuse else "unauthorized"})
            title = self.headers.get("Title") or parse_qs(parts.query).get("title", [""])[0]
            self.delivered = (self.body.decode("utf-8", "replace"), title)
            self.answer(200, {"id": "m1", "time": int(time.time()), "event": "message",
                              "topic": unquote(rest[0]), "title": title,
                              "message": self.body.decode("utf-8", "replace")})

        def serve_gotify(self, method, rest, parts, refuse):
            if method != "POST" or rest != ["message"]:
                return self.answer(404, {"error": "Not Found", "errorCode": 404})
            token = self.headers.get("X-Gotify-Key") or parse_qs(parts.query).get("token", [""])[0]
            if refuse or token != args.token:
                return self.answer(401, {
                    "error": "Unauthorized", "errorCode": 401,
                    "errorDescription": "you need to provide a valid access token or user "
                                        "credentials to access this api"})
            body = self.json_body()
            if body is None or not isinstance(body.get("message"), str) or not body["message"]:
                return self.answer(400, {"error": "Bad Request", "errorCode": 400,
                                         "errorDescription": "Field 'message' is required"})
            self.delivered = (body["message"], body.get("title", ""))
            self.answer(200, {"id": 1, "appid": 1, "message": body["message"],
                              "title": body.get("title", ""), "priority": 0,
                              "date": "2024-01-01T00:00:00Z"})

        def serve_telegram(self, method, rest, parts, refuse):
            if method != "POST" or len(rest) != 2 or rest[1] != "sendMessage":
                return self.answer(404, {"ok": False, "error_code": 404,
                                         "description": "Not Found"})
            if refuse or unquote(rest[0]) != "bot" + args.token:
                return self.answer(401, {"ok": False, "error_code": 401,
                                         "description": "Unauthorized"})
            body = self.json_body()
            if body is None or "chat_id" not in body:
                return self.answer(400, {"ok": False, "error_code": 400,
                                         "description": "Bad Request: chat_id is empty"})
            text = body.get("text")
            if not isinstance(text, str) or not text or len(text) > 4096:
                return self.answer(400, {"ok": False, "error_code": 400,
                                         "description": "Bad Request: message text is empty"})
            self.delivered = (text, "")
            self.answer(200, {"ok": True, "result": {
                "message_id": 1, "date": int(time.time()),
                "chat": {"id": body["chat_id"]}, "text": text}})

        def serve_discord(self, method, rest, parts, refuse):
            if method != "POST" or len(rest) != 4 or rest[:2] != ["api", "webhooks"]:
                return self.answer(404, {"message": "404: Not Found", "code": 0})
            if refuse or rest[3] != args.token:
                return self.answer(401, {"message": "Invalid Webhook Token", "code": 50027})
            body = self.json_body()
            content = body.get("content") if body is not None else None
            if not isinstance(content, str) or not content or len(content) > 2000:
                return self.answer(400, {"message": "Cannot send an empty message",
                                         "code": 50006})
            self.delivered = (content, "")
            self.answer(204)

        def serve_slack(self, method, rest, parts, refuse):
            if method != "POST" or len(rest) != 4 or rest[0] != "services":
                return self.answer(404, "no_service", "text/html")
            if refuse or rest[3] != args.token:
                return self.answer(403, "invalid_token", "text/html")
            body = self.json_body()
            if body is None:
                return self.answer(400, "invalid_payload", "text/html")
            if not isinstance(body.get("text"), str) or not body["text"]:
                return self.answer(400, "no_text", "text/html")
            self.delivered = (body["text"], "")
            self.answer(200, "ok", "text/html")

        def serve_matrix(self, method, rest, parts, refuse):
            # _matrix/client/v3/rooms/<room>/send/m.room.message/<txn>
            if (method != "PUT" or len(rest) != 8 or rest[:4] != ["_matrix", "client", "v3",
                                                                   "rooms"]
                    or rest[5] != "send" or rest[6] != "m.room.message"):
                return self.answer(404, {"errcode": "M_UNRECOGNIZED",
                                         "error": "Unrecognized request"})
            if "Authorization" not in self.headers:
                return self.answer(401, {"errcode": "M_MISSING_TOKEN",
                                         "error": "Missing access token"})
            if refuse or not self.bearer_ok():
                return self.answer(401, {"errcode": "M_UNKNOWN_TOKEN",
                                         "error": "Invalid access token passed."})
            body = self.json_body()
            if body is None or body.get("msgtype") != "m.text" or not isinstance(
                    body.get("body"), str):
                return self.answer(400, {"errcode": "M_BAD_JSON", "error": "Bad content"})
            txn = unquote(rest[4]) + "/" + unquote(rest[7])
            with lock:
                event = matrix_events.setdefault(txn, "$event" + str(len(matrix_events) + 1))
            self.delivered = (body["body"], "")
            self.answer(200, {"event_id": event})

        def serve_pushover(self, method, rest, parts, refuse):
            if method != "POST" or rest != ["1", "messages.json"]:
                return self.answer(404, {"status": 0, "errors": ["not found"]})
            if self.headers.get("Content-Type", "").startswith("application/json"):
                form = {k: str(v) for k, v in (self.json_body() or {}).items()}
            else:
                form = {k: v[0] for k, v in parse_qs(self.body.decode("utf-8", "replace"),
                                                      keep_blank_values=True).items()}
            errors = {}
            if refuse or form.get("token") != args.token:
                errors["token"] = "application token is invalid"
            if not form.get("user"):
                errors["user"] = "user identifier is not a valid user, group, or subscribed "\
                                 "user key"
            if not form.get("message") or len(form["message"]) > 1024:
                errors["message"] = "cannot be blank"
            if errors:
                body = {k: "invalid" for k in errors}
                body.update({"errors": list(errors.values()), "status": 0, "request": "r1"})
                return self.answer(400, body)
            self.delivered = (form["message"], form.get("title", ""))
            self.answer(200, {"status": 1, "request": "r1"})

        def serve_webhook(self, method, rest, parts, refuse):
            if method != "POST":
                return self.answer(405, "", "text/plain")
            if refuse:
                return self.answer(401, {"error": "unauthorized"})
            body = self.json_body()
            if body is None:
                return self.answer(400, {"error": "a JSON object is expected"})
            self.delivered = (body.get("text", ""), body.get("title", ""))
            self.answer(200, {"received": True})

        def serve_ping(self, method, rest, parts, refuse):
            if method not in ("GET", "POST", "HEAD") or not rest or not rest[0]:
                return self.answer(404, "not found", "text/plain")
            if refuse:
                return self.answer(404, "not found", "text/plain")
            self.answer(200, "OK", "text/plain")

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("READY %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
