"""DuckDNS's update address: GET /update?domains=&token=[&ip=][&ipv6=][&verbose=true]; the
answer is "OK" or "KO" as plain text (with verbose, the addresses and UPDATED or NOCHANGE
follow). Names are sub-domains of duckdns.org, with or without that suffix."""
from dnsapi.common import Reply, route

MALFORMED = b"O"


def authorized(request, credentials):
    return True  # the token is checked by the update itself, which answers KO


def error(status, message):
    return Reply(status, raw=b"KO", content_type="text/plain")


def text(body):
    return Reply(200, raw=body.encode("utf-8"), content_type="text/plain")


def update(request, store):
    query = request.query
    zone = store.zones[0]
    names = [n.strip().lower() for n in query.get("domains", "").split(",") if n.strip()]
    credentials = store.credentials
    if query.get("token") != credentials.token or not names:
        return text("KO")
    changed = False
    for name in names:
        full = store.full(zone, name)
        for rtype, key in (("A", "ip"), ("AAAA", "ipv6")):
            address = query.get(key, "")
            if not address:
                continue
            records = store.find(zone, full, rtype)
            if not records:
                store.add(zone, full, rtype, address, 60)
                changed = True
            elif records[0]["content"] != address:
                store.change(records[0], content=address)
                changed = True
    if query.get("verbose") == "true":
        return text("OK\n%s\n%s\n%s" % (query.get("ip", ""), query.get("ipv6", ""),
                                        "UPDATED" if changed else "NOCHANGE"))
    return text("OK")


ROUTES = [("GET", r"/update", update)]


def handle(request, store):
    return route(request, store, ROUTES)
