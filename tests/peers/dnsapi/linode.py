"""Linode's v4 interface: personal access token as bearer; domains by numeric id;
{"errors": [{"reason"}]}."""
from dnsapi.common import Reply, bearer, route

PREFIX = "/v4"
MALFORMED = b'{"data": [{"id": 28448429, "type": "A", "name": "home", "tar'


def zone_id(index, name):
    return 1234 + index


def authorized(request, credentials):
    return bearer(request, credentials)


def error(status, message):
    return Reply(status, {"errors": [{"reason": message}]})


def page(items):
    return Reply(200, {"data": items, "page": 1, "pages": 1, "results": len(items)})


def shown(store, record):
    return {"id": record["id"], "type": record["type"], "name": store.relative(record),
            "target": record["content"], "ttl_sec": record["ttl"], "priority": 0, "weight": 0,
            "port": 0, "tag": None, "protocol": None, "service": None}


def list_domains(request, store):
    return page([{"id": z["id"], "domain": z["name"], "type": "master", "status": "active"}
                 for z in store.zones])


def list_records(request, store, domain):
    return page([shown(store, r) for r in store.find(store.zone(int(domain)))])


def create(request, store, domain):
    body = request.need_json()
    zone = store.zone(int(domain))
    record = store.add(zone, store.full(zone, body.get("name")), body["type"], body["target"],
                       body.get("ttl_sec", 0))
    return Reply(200, shown(store, record))


def update(request, store, domain, rid):
    body = request.need_json()
    changes = {k: body[theirs] for k, theirs in (("content", "target"), ("ttl", "ttl_sec"))
               if theirs in body}
    return Reply(200, shown(store, store.change(store.record(rid), **changes)))


ROUTES = [
    ("GET", r"/domains", list_domains),
    ("GET", r"/domains/(\d+)/records", list_records),
    ("POST", r"/domains/(\d+)/records", create),
    ("PUT", r"/domains/(\d+)/records/(\d+)", update),
]


def handle(request, store):
    return route(request, store, ROUTES)
