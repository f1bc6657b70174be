#!/usr/bin/python3
"""A router's UPnP Internet Gateway Device on loopback, for the WAN address source tests.

Serves the device description at /rootDesc.xml and answers the SOAP action
GetExternalIPAddress of its WANIPConnection:1 (or, with --ppp, WANPPPConnection:1) service at
/ctl/IPConn, as the UPnP IGD documents describe: a POST with Content-Type text/xml, a
SOAPACTION header "<service type>#GetExternalIPAddress" and the action in a SOAP envelope.
Anything else at the control URL gets the documented SOAP fault 401 Invalid Action.

Prints "READY <port>" once it listens, then one line per request:
"REQUEST <method> <path> SOAPACTION <header>".

Options:
  --address TEXT   the WAN address reported (default 203.0.113.7)
  --ppp            the connection service is WANPPPConnection:1
  --silent         the control URL never answers (the connection stays open)
  --fault CODE     the control URL answers with this UPnP error (501 Action Failed, ...)
"""
import argparse
import sys
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

DESCRIPTION = """<?xml version="1.0"?>
<root xmlns="urn:schemas-upnp-org:device-1-0">
<specVersion><major>1</major><minor>0</minor></specVersion>
<device>
<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1</deviceType>
<friendlyName>Test gateway</friendlyName>
<manufacturer>Orvex tests</manufacturer>
<modelName>Gateway emulator</modelName>
<UDN>uuid:6f1c1d2e-0000-4000-8000-000000000001</UDN>
<serviceList>
<service>
<serviceType>urn:schemas-upnp-org:service:Layer3Forwarding:1</serviceType>
<serviceId>urn:upnp-org:serviceId:L3Forwarding1</serviceId>
<controlURL>/ctl/L3F</controlURL><eventSubURL>/evt/L3F</eventSubURL><SCPDURL>/L3F.xml</SCPDURL>
</service>
</serviceList>
<deviceList>
<device>
<deviceType>urn:schemas-upnp-org:device:WANDevice:1</deviceType>
<friendlyName>WAN device</friendlyName>
<UDN>uuid:6f1c1d2e-0000-4000-8000-000000000002</UDN>
<serviceList>
<service>
<serviceType>urn:schemas-upnp-org:service:WANCommonInterfaceConfig:1</serviceType>
<serviceId>urn:upnp-org:serviceId:WANCommonIFC1</serviceId>
<controlURL>/ctl/CmnIfCfg</controlURL><eventSubURL>/evt/CmnIfCfg</eventSubURL><SCPDURL>/WANCfg.xml</SCPDURL>
</service>
</serviceList>
<deviceList>
<device>
<deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1</deviceType>
<friendlyName>WAN connection device</friendlyName>
<UDN>uuid:6f1c1d2e-0000-4000-8000-000000000003</UDN>
<serviceList>
<service>
<serviceType>{service}</serviceType>
<serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>
<controlURL>/ctl/IPConn</controlURL><eventSubURL>/evt/IPConn</eventSubURL><SCPDURL>/WANIPCn.xml</SCPDURL>
</service>
</serviceList>
</device>
</deviceList>
</device>
</deviceList>
</device>
</root>
"""

ANSWER = """<?xml version="1.0"?>
<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" s:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/">
<s:Body>
<u:GetExternalIPAddressResponse xmlns:u="{service}">
<NewExternalIPAddress>{address}</NewExternalIPAddress>
</u:GetExternalIPAddressResponse>
</s:Body>
</s:Envelope>
"""

FAULT = """<?xml version="1.0"?>
<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/" s:encodingStyle="http://schemas.xmlsoap.org/soap/encoding/">
<s:Body>
<s:Fault>
<faultcode>s:Client</faultcode>
<faultstring>UPnPError</faultstring>
<detail>
<UPnPError xmlns="urn:schemas-upnp-org:control-1-0">
<errorCode>{code}</errorCode>
<errorDescription>{words}</errorDescription>
</UPnPError>
</detail>
</s:Fault>
</s:Body>
</s:Envelope>
"""

FAULT_WORDS = {401: "Invalid Action", 402: "Invalid Args", 501: "Action Failed"}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="203.0.113.7")
    parser.add_argument("--ppp", action="store_true")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--fault", type=int)
    args = parser.parse_args()
    service = "urn:schemas-upnp-org:service:%s:1" % (
        "WANPPPConnection" if args.ppp else "WANIPConnection")

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def note(self):
            sys.stdout.write("REQUEST %s %s SOAPACTION %s\n"
                             % (self.command, self.path, self.headers.get("SOAPAction", "")))
            sys.stdout.flush()

        def send(self, status, body):
            data = body.encode("utf-8")
            self.send_response(status)
            self.send_header("Content-Type", 'text/xml; charset="utf-8"')
            self.send_header("Content-Length", str(len(data)))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(data)
            self.close_connection = True

        def fault(self, code):
            self.send(500, FAULT.format(code=code, words=FAULT_WORDS.get(code, "Error")))

        def do_GET(self):
            self.note()
            if self.path != "/rootDesc.xml":
                self.send(404, "<error>not found</error>")
                return
            self.send(200, DESCRIPTION.format(service=service))

        def do_POST(self):
            self.note()
            length = int(self.headers.get("Content-Length", "0"))
            body = self.rfile.read(length).decode("utf-8", "replace")
            if self.path != "/ctl/IPConn":
                self.send(404, "<error>not found</error>")
                return
            if args.silent:
                time.sleep(3600)
                return
            action = self.headers.get("SOAPAction", "").strip('"')
            content = self.headers.get("Content-Type", "")
            if (action != service + "#GetExternalIPAddress" or "text/xml" not in content
                    or "GetExternalIPAddress" not in body or "Envelope" not in body):
                self.fault(401)
                return
            if args.fault:
                self.fault(args.fault)
                return
            self.send(200, ANSWER.format(service=service, address=args.address))

        def log_message(self, *unused):
            pass

    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("READY %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
