"""GoDaddy's v1 interface: "sso-key <key>:<secret>"; {"code", "message"} errors; record sets
by type and name; TTL 600 seconds at least."""
from dnsapi.common import ApiError, Reply, route

PREFIX = "/v1"
MALFORMED = b'[{"data": "192.0.2.1", "name": "home", "tt'


def authorized(request, credentials):
    expected = "sso-key %s:%s" % (credentials.user, credentials.token)
    return request.headers.get("Authorization", "") == expected


def error(status, message):
    code = {401: "UNABLE_TO_AUTHENTICATE", 403: "ACCESS_DENIED", 404: "NOT_FOUND",
            422: "INVALID_BODY", 429: "TOO_MANY_REQUESTS"}.get(status, "INVALID_BODY")
    body = {"code": code, "message": message}
    if status == 429:
        body["retryAfterSec"] = 7
    return Reply(status, body)


def ttl_of(item):
    ttl = item.get("ttl", 3600)
    if ttl < 600:
        raise ApiError(422, "ttl must be at least 600")
    return ttl


def list_domains(request, store):
    return Reply(200, [{"domain": z["name"], "domainId": i + 1, "status": "ACTIVE"}
                       for i, z in enumerate(store.zones)])


def get_set(request, store, domain, rtype, name):
    zone = store.zone(domain)
    return Reply(200, [{"data": r["content"], "name": store.relative(r) or "@",
                        "ttl": r["ttl"], "type": r["type"]}
                       for r in store.find(zone, store.full(zone, name), rtype)])


def replace_set(request, store, domain, rtype, name):
    body = request.need_json()
    zone = store.zone(domain)
    ttls = [ttl_of(item) for item in body]
    store.replace_set(zone, store.full(zone, name), rtype, [item["data"] for item in body],
                      ttls[0] if ttls else 3600)
    return Reply(200)


def add_records(request, store, domain):
    zone = store.zone(domain)
    for item in request.need_json():
        store.add(zone, store.full(zone, item.get("name")), item["type"], item["data"],
                  ttl_of(item))
    return Reply(200)


ROUTES = [
    ("GET", r"/domains", list_domains),
    ("GET", r"/domains/([^/]+)/records/(A|AAAA)/([^/]+)", get_set),
    ("PUT", r"/domains/([^/]+)/records/(A|AAAA)/([^/]+)", replace_set),
    ("PATCH", r"/domains/([^/]+)/records", add_records),
]


def handle(request, store):
    return route(request, store, ROUTES)
