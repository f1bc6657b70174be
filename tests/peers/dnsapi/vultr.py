"""Vultr's v2 interface: API key as bearer; {"error", "status"} errors; PATCH answers 204."""
from dnsapi.common import Reply, bearer, route

PREFIX = "/v2"
MALFORMED = b'{"records": [{"id": "cb676a46-66fd-4dfb-b839-443f2e6c0b60", "ty'


def authorized(request, credentials):
    return bearer(request, credentials)


def error(status, message):
    return Reply(status, {"error": message, "status": status})


def shown(store, record):
    return {"id": "cb676a46-66fd-4dfb-b839-%012d" % record["id"], "type": record["type"],
            "name": store.relative(record), "data": record["content"], "priority": -1,
            "ttl": record["ttl"]}


def meta(items):
    return {"total": len(items), "links": {"next": "", "prev": ""}}


def list_domains(request, store):
    domains = [{"domain": z["name"], "date_created": "2024-01-01T00:00:00+00:00",
                "dns_sec": "disabled"} for z in store.zones]
    return Reply(200, {"domains": domains, "meta": meta(domains)})


def list_records(request, store, domain):
    records = [shown(store, r) for r in store.find(store.zone(domain))]
    return Reply(200, {"records": records, "meta": meta(records)})


def create(request, store, domain):
    body = request.need_json()
    zone = store.zone(domain)
    record = store.add(zone, store.full(zone, body.get("name")), body["type"], body["data"],
                       body.get("ttl", 300))
    return Reply(201, {"record": shown(store, record)})


def patch(request, store, domain, rid):
    body = request.need_json()
    changes = {k: body[theirs] for k, theirs in (("content", "data"), ("ttl", "ttl"))
               if theirs in body}
    store.change(store.record(int(rid)), **changes)
    return Reply(204)


ROUTES = [
    ("GET", r"/domains", list_domains),
    ("GET", r"/domains/([^/]+)/records", list_records),
    ("POST", r"/domains/([^/]+)/records", create),
    ("PATCH", r"/domains/([^/]+)/records/cb676a46-66fd-4dfb-b839-(\d+)", patch),
]


def handle(request, store):
    return route(request, store, ROUTES)
