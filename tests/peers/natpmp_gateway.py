#!/usr/bin/python3
"""A router's NAT-PMP (RFC 6886) or PCP (RFC 6887) server on loopback UDP, for the WAN address
source tests.

Prints "READY <port>" once it listens, then one line per datagram: "NATPMP <opcode>",
"PCP MAP lifetime <seconds> port <internal port>" or "BAD <hex>".

Modes (--mode):
  natpmp   answers the external address request (version 0, opcode 0) with --address;
           a request of another version gets "unsupported version", as RFC 6886 says
  pcp      speaks PCP version 2 only: a NAT-PMP request gets UNSUPP_VERSION; a MAP request
           gets the assigned external address --address, after the checks a PCP server
           makes (client address field equal to the datagram's source, else ADDRESS_MISMATCH)
  silent   never answers
Options: --address TEXT (default 203.0.113.9), --result N (a NAT-PMP or PCP error result).
"""
import argparse
import ipaddress
import socket
import struct
import sys
import time

START = time.time()


def epoch():
    return int(time.time() - START) & 0xFFFFFFFF


def mapped(address):
    ip = ipaddress.ip_address(address)
    if ip.version == 4:
        return b"\0" * 10 + b"\xff\xff" + ip.packed
    return ip.packed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", default="natpmp", choices=["natpmp", "pcp", "silent"])
    parser.add_argument("--address", default="203.0.113.9")
    parser.add_argument("--result", type=int, default=0)
    args = parser.parse_args()

    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    print("READY %d" % sock.getsockname()[1], flush=True)
    while True:
        data, peer = sock.recvfrom(2048)
        if args.mode == "silent":
            sys.stdout.write("SILENT %s\n" % data.hex())
            sys.stdout.flush()
            continue
        if len(data) >= 2 and data[0] == 0:
            sys.stdout.write("NATPMP %d\n" % data[1])
            sys.stdout.flush()
            if args.mode == "pcp":
                # UNSUPP_VERSION in a PCP header carrying the version this server speaks.
                sock.sendto(struct.pack("!BBBBII", 2, 0x80 | data[1], 0, 1, 0, epoch())
                            + b"\0" * 12, peer)
                continue
            if len(data) != 2 or data[1] != 0:
                sock.sendto(struct.pack("!BBHI", 0, 0x80 | data[1], 5, epoch()), peer)
                continue
            sock.sendto(struct.pack("!BBHI", 0, 128, args.result, epoch())
                        + ipaddress.IPv4Address(args.address).packed, peer)
            continue
        if args.mode == "natpmp":
            # RFC 6886: any other version is answered with result 1, unsupported version.
            sock.sendto(struct.pack("!BBHI", 0, 0x80 | (data[1] if len(data) > 1 else 0), 1,
                                    epoch()), peer)
            continue
        if len(data) < 24 or data[0] != 2 or data[1] & 0x80:
            sys.stdout.write("BAD %s\n" % data.hex())
            sys.stdout.flush()
            continue
        opcode = data[1] & 0x7F
        lifetime = struct.unpack("!I", data[4:8])[0]
        result = args.result
        if opcode != 1 or len(data) < 60:
            result = 4 if opcode != 1 else 3  # UNSUPP_OPCODE, MALFORMED_REQUEST
        elif data[8:24] != mapped(peer[0]):
            result = 12  # ADDRESS_MISMATCH
        if opcode == 1 and len(data) >= 60:
            port = struct.unpack("!H", data[40:42])[0]
            sys.stdout.write("PCP MAP lifetime %d port %d\n" % (lifetime, port))
            sys.stdout.flush()
            body = data[24:36] + data[36:40] + data[40:42] + data[40:42] + mapped(args.address)
        else:
            body = b""
        header = struct.pack("!BBBBII", 2, 0x80 | opcode, 0, result,
                             lifetime if result == 0 else 1800, epoch()) + b"\0" * 12
        sock.sendto(header + body, peer)


if __name__ == "__main__":
    main()
