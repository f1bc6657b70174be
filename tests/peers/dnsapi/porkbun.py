"""Porkbun's v3 interface: POST only, API key and secret in the JSON body; TTLs are strings,
600 seconds at least."""
from dnsapi.common import ApiError, Reply, route

PREFIX = "/api/json/v3"
AUTH_STATUS = 403
MALFORMED = b'{"status":"SUCCESS","records":[{"id":"1069'


def authorized(request, credentials):
    body = request.json or {}
    return (body.get("apikey") == credentials.user
            and body.get("secretapikey") == credentials.token)


def error(status, message):
    return Reply(status, {"status": "ERROR", "message": message})


def shown(record):
    return {"id": str(record["id"]), "name": record["name"], "type": record["type"],
            "content": record["content"], "ttl": str(record["ttl"]), "prio": "0",
            "notes": record["note"] or ""}


def ttl_of(body):
    ttl = int(body.get("ttl", 600))
    if ttl < 600:
        raise ApiError(400, "TTL must be at least 600 seconds.")
    return ttl


def list_all(request, store):
    return Reply(200, {"status": "SUCCESS", "domains": [
        {"domain": z["name"], "status": "ACTIVE", "tld": z["name"].split(".")[-1]}
        for z in store.zones]})


def retrieve(request, store, domain, rtype, sub):
    zone = store.zone(domain)
    records = store.find(zone, store.full(zone, sub), rtype)
    return Reply(200, {"status": "SUCCESS", "records": [shown(r) for r in records]})


def create(request, store, domain):
    body = request.json
    zone = store.zone(domain)
    record = store.add(zone, store.full(zone, body.get("name")), body["type"], body["content"],
                       ttl_of(body), body.get("notes") or None)
    return Reply(200, {"status": "SUCCESS", "id": record["id"]})


def edit(request, store, domain, rid):
    body = request.json
    zone = store.zone(domain)
    record = store.record(rid)
    # An edit sets what it is given; a TTL or notes left out fall back to their defaults.
    store.change(record, name=store.full(zone, body.get("name")), content=body["content"],
                 ttl=ttl_of(body), note=body.get("notes") or None)
    return Reply(200, {"status": "SUCCESS"})


ROUTES = [
    ("POST", r"/domain/listAll", list_all),
    ("POST", r"/dns/retrieveByNameType/([^/]+)/(A|AAAA)(?:/([^/]+))?", retrieve),
    ("POST", r"/dns/create/([^/]+)", create),
    ("POST", r"/dns/edit/([^/]+)/(\d+)", edit),
]


def handle(request, store):
    return route(request, store, ROUTES)
