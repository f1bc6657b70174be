"""Cloudflare's v4 interface: API token as bearer; {"success", "errors", "messages", "result"}."""
from dnsapi.common import ApiError, Reply, bearer, route

AUTH_STATUS = 403
MALFORMED = b'{"success": true, "errors": [], "result": [{"id": '


def zone_id(index, name):
    return "%032x" % (0x023E105F4ECEF8AD9CA31A8372D0C353 + index)


def authorized(request, credentials):
    return bearer(request, credentials)


def error(status, message):
    code = {403: 10000, 429: 10429, 404: 7003}.get(status, 1004)
    return Reply(status, {"success": False, "errors": [{"code": code, "message": message}],
                          "messages": [], "result": None})


def ok(result):
    return Reply(200, {"success": True, "errors": [], "messages": [], "result": result})


def shown_zone(zone):
    return {"id": zone["id"], "name": zone["name"], "status": "active"}


def shown(store, record):
    zone = store.zone(record["zone"])
    return {"id": "%032x" % record["id"], "zone_id": zone["id"], "zone_name": zone["name"],
            "name": record["name"], "type": record["type"], "content": record["content"],
            "proxiable": True, "proxied": record["proxied"], "ttl": record["ttl"],
            "comment": record["note"], "tags": [], "locked": False}


def record_of(store, text):
    return store.record(int(text, 16))


def list_zones(request, store):
    name = request.query.get("name")
    return ok([shown_zone(z) for z in store.zones if name in (None, z["name"])])


def one_zone(request, store, zid):
    return ok(shown_zone(store.zone(zid)))


def list_records(request, store, zid):
    zone = store.zone(zid)
    records = store.find(zone, request.query.get("name"), request.query.get("type"))
    return ok([shown(store, r) for r in records])


def check_ttl(ttl):
    if ttl != 1 and not 60 <= ttl <= 86400:
        raise ApiError(400, "TTL must be between 60 and 86400 seconds, or 1 for Automatic")


def create(request, store, zid):
    body = request.need_json()
    ttl = body.get("ttl", 1)
    check_ttl(ttl)
    record = store.add(store.zone(zid), body["name"], body["type"], body["content"], ttl,
                       body.get("comment"), body.get("proxied", False))
    return ok(shown(store, record))


def patch(request, store, zid, rid):
    body = request.need_json()
    record = record_of(store, rid)
    changes = {}
    for ours, theirs in (("content", "content"), ("ttl", "ttl"), ("proxied", "proxied"),
                         ("note", "comment")):
        if theirs in body:
            changes[ours] = body[theirs]
    if "ttl" in changes:
        check_ttl(changes["ttl"])
    return ok(shown(store, store.change(record, **changes)))


ROUTES = [
    ("GET", r"/zones", list_zones),
    ("GET", r"/zones/([0-9a-f]+)", one_zone),
    ("GET", r"/zones/([0-9a-f]+)/dns_records", list_records),
    ("POST", r"/zones/([0-9a-f]+)/dns_records", create),
    ("PATCH", r"/zones/([0-9a-f]+)/dns_records/([0-9a-f]+)", patch),
]


def handle(request, store):
    return route(request, store, ROUTES)
