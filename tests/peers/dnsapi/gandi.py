"""Gandi's LiveDNS v5 interface: personal access token as bearer; record sets by name and
type; TTL 300 seconds at least."""
from dnsapi.common import ApiError, Reply, bearer, route

PREFIX = "/v5/livedns"
MALFORMED = b'{"rrset_name": "home", "rrset_values": ["192.0'


def authorized(request, credentials):
    return bearer(request, credentials)


def error(status, message):
    cause = {401: "Unauthorized", 403: "Forbidden", 404: "Not Found", 409: "Conflict",
             429: "Too Many Requests"}.get(status, "Bad Request")
    return Reply(status, {"code": status, "message": message, "object": "HTTP" + cause.replace(
        " ", ""), "cause": cause})


def ttl_of(body):
    ttl = body.get("rrset_ttl", 10800)
    if not 300 <= ttl <= 2592000:
        raise ApiError(400, "rrset_ttl must be between 300 and 2592000")
    return ttl


def list_domains(request, store):
    return Reply(200, [{"fqdn": z["name"], "domain_href": "/v5/livedns/domains/" + z["name"]}
                       for z in store.zones])


def get_set(request, store, domain, name, rtype):
    zone = store.zone(domain)
    records = store.find(zone, store.full(zone, name), rtype)
    if not records:
        raise ApiError(404, "Can't find the DNS record %s/%s" % (name, rtype))
    return Reply(200, {"rrset_name": name, "rrset_type": rtype, "rrset_ttl": records[0]["ttl"],
                       "rrset_values": [r["content"] for r in records]})


def create_set(request, store, domain, name, rtype):
    body = request.need_json()
    zone = store.zone(domain)
    if store.find(zone, store.full(zone, name), rtype):
        raise ApiError(409, "A DNS record already exists with the same name and type")
    ttl = ttl_of(body)
    for value in body.get("rrset_values", []):
        store.add(zone, store.full(zone, name), rtype, value, ttl)
    return Reply(201, {"message": "DNS Record Created"})


def replace_set(request, store, domain, name, rtype):
    body = request.need_json()
    zone = store.zone(domain)
    store.replace_set(zone, store.full(zone, name), rtype, body.get("rrset_values", []),
                      ttl_of(body))
    return Reply(201, {"message": "DNS Record Created"})


ROUTES = [
    ("GET", r"/domains", list_domains),
    ("GET", r"/domains/([^/]+)/records/([^/]+)/(A|AAAA)", get_set),
    ("POST", r"/domains/([^/]+)/records/([^/]+)/(A|AAAA)", create_set),
    ("PUT", r"/domains/([^/]+)/records/([^/]+)/(A|AAAA)", replace_set),
]


def handle(request, store):
    return route(request, store, ROUTES)
