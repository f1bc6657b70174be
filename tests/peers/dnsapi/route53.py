"""Amazon Route 53's 2013-04-01 interface: Signature Version 4 (checked against the secret the
emulator knows), XML answers and errors; record sets listed in name order from the one asked
for, written with UPSERT."""
import hashlib
import hmac
import re
import xml.etree.ElementTree as ET
from urllib.parse import quote
from xml.sax.saxutils import escape

from dnsapi.common import ApiError, Reply, route

PREFIX = "/2013-04-01"
AUTH_STATUS = 403
MALFORMED = b'<?xml version="1.0"?><ListHostedZonesResponse><HostedZones><HostedZone><Id>'
NS = "https://route53.amazonaws.com/doc/2013-04-01/"


def zone_id(index, name):
    return "Z1D633PJN98F%02d" % index


def _hmac(key, text):
    return hmac.new(key, text.encode("utf-8"), hashlib.sha256).digest()


def signature_of(request, credentials, signed, date, scope):
    query = sorted(tuple(item.split("=", 1) + [""])[:2]
                   for item in request.raw_query.split("&") if item)
    headers = "".join("%s:%s\n" % (name, " ".join(request.headers.get(name, "").split()))
                      for name in signed)
    canonical = "\n".join([request.method, quote(request.full_path, safe="/%-_.~"),
                           "&".join("%s=%s" % pair for pair in query), headers,
                           ";".join(signed), hashlib.sha256(request.body).hexdigest()])
    to_sign = "\n".join(["AWS4-HMAC-SHA256", date, scope,
                         hashlib.sha256(canonical.encode("utf-8")).hexdigest()])
    day, region, service, _ = scope.split("/")
    key = _hmac(_hmac(_hmac(_hmac(("AWS4" + credentials.token).encode("utf-8"), day), region),
                      service), "aws4_request")
    return hmac.new(key, to_sign.encode("utf-8"), hashlib.sha256).hexdigest()


def authorized(request, credentials):
    match = re.fullmatch(r"AWS4-HMAC-SHA256 Credential=([^/]+)/(\d{8}/us-east-1/route53/"
                         r"aws4_request), SignedHeaders=([a-z0-9;-]+), Signature=([0-9a-f]{64})",
                         request.headers.get("Authorization", ""))
    date = request.headers.get("X-Amz-Date", "")
    if not match or match.group(1) != credentials.user or not date.startswith(
            match.group(2)[:8]):
        return False
    signed = match.group(3).split(";")
    if "host" not in signed or "x-amz-date" not in signed:
        return False
    expected = signature_of(request, credentials, signed, date, match.group(2))
    return hmac.compare_digest(expected, match.group(4))


def error(status, message):
    code = {403: "SignatureDoesNotMatch", 404: "NoSuchHostedZone", 429: "Throttling"}.get(
        status, "InvalidInput")
    body = ('<?xml version="1.0"?>\n<ErrorResponse xmlns="%s"><Error><Type>Sender</Type>'
            "<Code>%s</Code><Message>%s</Message></Error><RequestId>e5b1c3f0-0000-4000-8000-"
            "000000000000</RequestId></ErrorResponse>" % (NS, code, escape(message)))
    return Reply(status, raw=body.encode("utf-8"), content_type="text/xml")


def xml(text):
    return Reply(200, raw=('<?xml version="1.0" encoding="UTF-8"?>\n' + text).encode("utf-8"),
                 content_type="text/xml")


def list_zones(request, store):
    zones = "".join(
        "<HostedZone><Id>/hostedzone/%s</Id><Name>%s.</Name><CallerReference>ref%s"
        "</CallerReference><Config><PrivateZone>false</PrivateZone></Config>"
        "<ResourceRecordSetCount>%d</ResourceRecordSetCount></HostedZone>"
        % (z["id"], z["name"], z["id"], len(store.find(z))) for z in store.zones)
    return xml('<ListHostedZonesResponse xmlns="%s"><HostedZones>%s</HostedZones>'
               "<IsTruncated>false</IsTruncated><MaxItems>100</MaxItems>"
               "</ListHostedZonesResponse>" % (NS, zones))


def order(name, rtype):
    return (list(reversed(name.split("."))), rtype)


def list_sets(request, store, zid):
    zone = store.zone(zid)
    sets = {}
    for record in store.find(zone):
        sets.setdefault((record["name"], record["type"]), []).append(record)
    start = order(request.query.get("name", "").rstrip(".").lower(), request.query.get("type", ""))
    keys = [k for k in sorted(sets, key=lambda k: order(*k)) if order(*k) >= start]
    shown = keys[: int(request.query.get("maxitems", "100"))]
    body = "".join(
        "<ResourceRecordSet><Name>%s.</Name><Type>%s</Type><TTL>%d</TTL><ResourceRecords>%s"
        "</ResourceRecords></ResourceRecordSet>"
        % (name, rtype, sets[(name, rtype)][0]["ttl"],
           "".join("<ResourceRecord><Value>%s</Value></ResourceRecord>" % r["content"]
                   for r in sets[(name, rtype)]))
        for name, rtype in shown)
    return xml('<ListResourceRecordSetsResponse xmlns="%s"><ResourceRecordSets>%s'
               "</ResourceRecordSets><IsTruncated>%s</IsTruncated><MaxItems>%s</MaxItems>"
               "</ListResourceRecordSetsResponse>"
               % (NS, body, "true" if len(keys) > len(shown) else "false",
                  request.query.get("maxitems", "100")))


def change_sets(request, store, zid):
    zone = store.zone(zid)
    try:
        root = ET.fromstring(request.body)
    except ET.ParseError:
        raise ApiError(400, "Could not parse the request body as XML")
    n = {"r": NS}
    changes = root.findall("r:ChangeBatch/r:Changes/r:Change", n)
    if not changes:
        raise ApiError(400, "The request has no changes")
    for change in changes:
        if change.findtext("r:Action", "", n) != "UPSERT":
            raise ApiError(400, "The emulator takes UPSERT alone")
        rrset = change.find("r:ResourceRecordSet", n)
        name = rrset.findtext("r:Name", "", n).rstrip(".").lower()
        values = [v.text for v in rrset.findall("r:ResourceRecords/r:ResourceRecord/r:Value", n)]
        store.replace_set(zone, name, rrset.findtext("r:Type", "", n), values,
                          int(rrset.findtext("r:TTL", "0", n)))
    return xml('<ChangeResourceRecordSetsResponse xmlns="%s"><ChangeInfo><Id>/change/'
               "C2682N5HXP0BZ4</Id><Status>PENDING</Status><SubmittedAt>2024-01-01T00:00:00Z"
               "</SubmittedAt></ChangeInfo></ChangeResourceRecordSetsResponse>" % NS)


ROUTES = [
    ("GET", r"/hostedzone", list_zones),
    ("GET", r"/hostedzone/([A-Z0-9]+)/rrset", list_sets),
    ("POST", r"/hostedzone/([A-Z0-9]+)/rrset/", change_sets),
]


def handle(request, store):
    return route(request, store, ROUTES)
