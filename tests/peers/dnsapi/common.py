"""What the emulator and its provider modules share."""
import ipaddress
import re


class ApiError(Exception):
    """A refusal the module's error shape tells."""

    def __init__(self, status, message):
        super().__init__(message)
        self.status = status
        self.message = message


class Reply:
    def __init__(self, status=200, body=None, raw=None, content_type="application/json"):
        self.status = status
        self.body = body
        self.raw = raw
        self.content_type = content_type


def check_address(rtype, content):
    try:
        address = ipaddress.ip_address(content)
    except ValueError:
        raise ApiError(400, "%r is not a valid address" % content)
    if (rtype == "A") != (address.version == 4):
        raise ApiError(400, "%s is not a valid %s address" % (content, rtype))


def route(request, store, routes):
    """Calls the handler of the first (method, path pattern) that fits, with the pattern's
    groups."""
    for method, pattern, handler in routes:
        match = re.fullmatch(pattern, request.path)
        if match and method == request.method:
            return handler(request, store, *match.groups())
    raise ApiError(404, "no route for %s %s" % (request.method, request.path))


def bearer(request, credentials, scheme="Bearer"):
    return request.headers.get("Authorization", "") == scheme + " " + credentials.token
