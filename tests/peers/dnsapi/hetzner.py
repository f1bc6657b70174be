"""Hetzner DNS's v1 interface: the token in Auth-API-Token; zones by id."""
from dnsapi.common import ApiError, Reply, route

PREFIX = "/api/v1"
MALFORMED = b'{"records": [{"id": "7ad3'


def zone_id(index, name):
    return "HetznerZone%02dabcdefgh" % index


def authorized(request, credentials):
    return request.headers.get("Auth-API-Token", "") == credentials.token


def error(status, message):
    if status == 401:
        return Reply(status, {"message": message})
    return Reply(status, {"error": {"message": message, "code": status}})


def shown(store, record):
    out = {"id": "rec%d" % record["id"], "type": record["type"],
           "name": store.relative(record) or "@", "value": record["content"],
           "zone_id": store.zone(record["zone"])["id"], "created": "2024-01-01 00:00:00 +0000 UTC",
           "modified": "2024-01-01 00:00:00 +0000 UTC"}
    if record["ttl"] is not None:
        out["ttl"] = record["ttl"]
    return out


def shown_zone(zone):
    return {"id": zone["id"], "name": zone["name"], "ttl": 86400, "status": "verified"}


def list_zones(request, store):
    name = request.query.get("name")
    zones = [shown_zone(z) for z in store.zones if name in (None, z["name"])]
    return Reply(200, {"zones": zones, "meta": {"pagination": {
        "page": 1, "per_page": 100, "last_page": 1, "total_entries": len(zones)}}})


def one_zone(request, store, zid):
    return Reply(200, {"zone": shown_zone(store.zone(zid))})


def list_records(request, store):
    zone = store.zone(request.query.get("zone_id", ""))
    return Reply(200, {"records": [shown(store, r) for r in store.find(zone)]})


def written(request, store):
    body = request.need_json()
    for field in ("zone_id", "type", "name", "value"):
        if field not in body:
            raise ApiError(422, "%s is required" % field)
    zone = store.zone(body["zone_id"])
    return body, zone, store.full(zone, body["name"])


def create(request, store):
    body, zone, name = written(request, store)
    record = store.add(zone, name, body["type"], body["value"], body.get("ttl"))
    return Reply(200, {"record": shown(store, record)})


def replace(request, store, rid):
    body, zone, name = written(request, store)
    record = store.record(rid[3:])
    # A PUT replaces the whole record: a TTL left out is the zone's again.
    changed = store.change(record, name=name, content=body["value"], ttl=body.get("ttl"))
    return Reply(200, {"record": shown(store, changed)})


ROUTES = [
    ("GET", r"/zones", list_zones),
    ("GET", r"/zones/([^/]+)", one_zone),
    ("GET", r"/records", list_records),
    ("POST", r"/records", create),
    ("PUT", r"/records/(rec\d+)", replace),
]


def handle(request, store):
    return route(request, store, ROUTES)
