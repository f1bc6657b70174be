"""deSEC's v1 interface: "Token <token>"; {"detail"} errors; record sets by subname and type
("@" for the apex), 3600 seconds the least TTL."""
from dnsapi.common import ApiError, Reply, bearer, route

PREFIX = "/api/v1"
MALFORMED = b'{"subname": "home", "type": "A", "records": ["192.0'


def authorized(request, credentials):
    return bearer(request, credentials, "Token")


def error(status, message):
    return Reply(status, {"detail": message})


def shown(store, zone, name, rtype):
    records = store.find(zone, name, rtype)
    if not records:
        raise ApiError(404, "Not found.")
    return {"created": "2024-01-01T00:00:00Z", "domain": zone["name"],
            "subname": store.relative(records[0]), "name": name + ".", "type": rtype,
            "records": [r["content"] for r in records], "ttl": records[0]["ttl"],
            "touched": "2024-01-01T00:00:00Z"}


def ttl_of(body):
    ttl = body.get("ttl", 3600)
    if ttl < 3600:
        return None
    return ttl


def list_domains(request, store):
    return Reply(200, [{"created": "2024-01-01T00:00:00Z", "name": z["name"],
                        "minimum_ttl": 3600, "touched": "2024-01-01T00:00:00Z"}
                       for z in store.zones])


def get_set(request, store, domain, sub, rtype):
    zone = store.zone(domain)
    return Reply(200, shown(store, zone, store.full(zone, sub), rtype))


def create_set(request, store, domain):
    body = request.need_json()
    zone = store.zone(domain)
    if ttl_of(body) is None:
        return Reply(400, {"ttl": ["Ensure this value is greater than or equal to 3600."]})
    name = store.full(zone, body.get("subname", ""))
    if store.find(zone, name, body["type"]):
        raise ApiError(400, "Another RRset with the same subdomain and type exists for this "
                            "domain.")
    for value in body.get("records", []):
        store.add(zone, name, body["type"], value, body["ttl"])
    return Reply(201, shown(store, zone, name, body["type"]))


def patch_set(request, store, domain, sub, rtype):
    body = request.need_json()
    zone = store.zone(domain)
    name = store.full(zone, sub)
    old = store.find(zone, name, rtype)
    if not old:
        raise ApiError(404, "Not found.")
    ttl = body.get("ttl", old[0]["ttl"])
    store.replace_set(zone, name, rtype, body.get("records", [r["content"] for r in old]), ttl)
    return Reply(200, shown(store, zone, name, rtype))


ROUTES = [
    ("GET", r"/domains/", list_domains),
    ("GET", r"/domains/([^/]+)/rrsets/([^/]+)/(A|AAAA)/", get_set),
    ("POST", r"/domains/([^/]+)/rrsets/", create_set),
    ("PATCH", r"/domains/([^/]+)/rrsets/([^/]+)/(A|AAAA)/", patch_set),
]


def handle(request, store):
    return route(request, store, ROUTES)
