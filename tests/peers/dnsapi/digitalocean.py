"""DigitalOcean's v2 interface: personal access token as bearer; {"id", "message"} errors."""
from dnsapi.common import ApiError, Reply, bearer, route

PREFIX = "/v2"
MALFORMED = b'{"domain_records": [{"id": 3352896, "type": "A", "na'


def authorized(request, credentials):
    return bearer(request, credentials)


def error(status, message):
    kind = {401: "unauthorized", 404: "not_found", 422: "unprocessable_entity",
            429: "too_many_requests"}.get(status, "bad_request")
    return Reply(status, {"id": kind, "message": message})


def shown(store, record):
    return {"id": record["id"], "type": record["type"], "name": store.relative(record) or "@",
            "data": record["content"], "priority": None, "port": None, "ttl": record["ttl"],
            "weight": None, "flags": None, "tag": None}


def list_domains(request, store):
    domains = [{"name": z["name"], "ttl": 1800, "zone_file": ""} for z in store.zones]
    return Reply(200, {"domains": domains, "links": {}, "meta": {"total": len(domains)}})


def list_records(request, store, domain):
    records = store.find(store.zone(domain), request.query.get("name"),
                         request.query.get("type"))
    return Reply(200, {"domain_records": [shown(store, r) for r in records], "links": {},
                       "meta": {"total": len(records)}})


def create(request, store, domain):
    body = request.need_json()
    zone = store.zone(domain)
    record = store.add(zone, store.full(zone, body.get("name")), body["type"], body["data"],
                       body.get("ttl", 1800))
    return Reply(201, {"domain_record": shown(store, record)})


def patch(request, store, domain, rid):
    body = request.need_json()
    if "type" not in body:
        raise ApiError(422, "type is required")
    record = store.record(rid)
    changes = {k: body[theirs] for k, theirs in (("content", "data"), ("ttl", "ttl"))
               if theirs in body}
    return Reply(200, {"domain_record": shown(store, store.change(record, **changes))})


ROUTES = [
    ("GET", r"/domains", list_domains),
    ("GET", r"/domains/([^/]+)/records", list_records),
    ("POST", r"/domains/([^/]+)/records", create),
    ("PATCH", r"/domains/([^/]+)/records/(\d+)", patch),
]


def handle(request, store):
    return route(request, store, ROUTES)
