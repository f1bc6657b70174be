#!/usr/bin/python3
"""A name server on loopback UDP that answers the questions echoing the asker's address, as
the public ones do: "myip.opendns.com" A (AAAA) in class IN with an address record, and
"whoami.cloudflare" TXT in class CH with the address as text. The address it tells is the one
given (--address, --address6), since the real asker here is 127.0.0.1.

Prints "READY <port>" once it listens, then "QUERY <name> <type> <class>" per question.
Options: --text TEXT answers TXT questions with TEXT instead; --silent never answers;
--rcode N answers every question with that response code and no records.
"""
import argparse
import ipaddress
import socket
import struct
import sys

TYPES = {1: "A", 16: "TXT", 28: "AAAA"}
CLASSES = {1: "IN", 3: "CH"}


def read_name(data, at):
    labels = []
    while True:
        length = data[at]
        at += 1
        if length == 0:
            return ".".join(labels), at
        labels.append(data[at:at + length].decode("ascii", "replace"))
        at += length


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="198.51.100.20")
    parser.add_argument("--address6", default="2001:db8::20")
    parser.add_argument("--text")
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--rcode", type=int, default=0)
    args = parser.parse_args()

    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    print("READY %d" % sock.getsockname()[1], flush=True)
    while True:
        data, peer = sock.recvfrom(2048)
        if len(data) < 17:
            continue
        ident, flags, qdcount = struct.unpack("!HHH", data[:6])
        if flags & 0x8000 or qdcount != 1:
            continue
        name, at = read_name(data, 12)
        qtype, qclass = struct.unpack("!HH", data[at:at + 4])
        question = data[12:at + 4]
        sys.stdout.write("QUERY %s %s %s\n" % (name, TYPES.get(qtype, qtype),
                                               CLASSES.get(qclass, qclass)))
        sys.stdout.flush()
        if args.silent:
            continue
        records = []
        rcode = args.rcode
        lowered = name.lower().rstrip(".")
        if rcode == 0 and lowered == "myip.opendns.com" and qclass == 1 and qtype in (1, 28):
            packed = (ipaddress.IPv4Address(args.address).packed if qtype == 1
                      else ipaddress.IPv6Address(args.address6).packed)
            records.append((qtype, qclass, packed))
        elif rcode == 0 and lowered == "whoami.cloudflare" and qclass == 3 and qtype == 16:
            text = args.text if args.text is not None else args.address
            raw = text.encode("utf-8")
            records.append((qtype, qclass, bytes([len(raw)]) + raw))
        elif rcode == 0:
            rcode = 3  # NXDOMAIN
        answer = b""
        for rtype, rclass, rdata in records:
            # The owner as a pointer to the question's name at offset 12.
            answer += struct.pack("!HHHIH", 0xC00C, rtype, rclass, 0, len(rdata)) + rdata
        reply_flags = 0x8000 | (flags & 0x0100) | 0x0080 | rcode
        header = struct.pack("!HHHHHH", ident, reply_flags, 1, len(records), 0, 0)
        sock.sendto(header + question + answer, peer)


if __name__ == "__main__":
    main()
