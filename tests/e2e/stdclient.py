#!/usr/bin/env python3
"""Small clients of the standard discovery protocols, for the end-to-end tests (Python 3 standard
library). They run inside a namespace of the harness and print JSON:

    stdclient.py wsd-probe   --local IP [--types "dn:NetworkVideoTransmitter"] [--listen S] [--count N]
    stdclient.py wsd-listen  --local IP [--listen S] [--count N]        Hello and Bye on 3702
    stdclient.py ssdp-search --local IP [--st ssdp:all] [--mx 1] [--listen S] [--describe]
    stdclient.py ssdp-listen --local IP [--listen S] [--count N]        NOTIFY on 1900
    stdclient.py mdns-query  --local IP --name NAME [--type PTR] [--legacy] [--listen S]

Every multicast goes out on the interface of --local (the pc namespace has no multicast route).
From the host, `run(namespace, "wsd-probe", local=..., ...)` runs one and returns the parsed JSON.
--listen ends the wait after S seconds; --count ends it after N answers (0: wait the whole time).
"""

from __future__ import annotations

import argparse
import json
import os
import select
import socket
import struct
import sys
import time
import urllib.request
import uuid
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

GROUP = "239.255.255.250"
MDNS_GROUP = "224.0.0.251"
SOAP = "http://www.w3.org/2003/05/soap-envelope"
WSA = "http://schemas.xmlsoap.org/ws/2004/08/addressing"
WSD = "http://schemas.xmlsoap.org/ws/2005/04/discovery"
UPNP_DEVICE = "urn:schemas-upnp-org:device-1-0"
PROBE = ('<?xml version="1.0" encoding="UTF-8"?>'
         f'<s:Envelope xmlns:s="{SOAP}" xmlns:a="{WSA}" xmlns:d="{WSD}" '
         'xmlns:dn="http://www.onvif.org/ver10/network/wsdl" xmlns:tds="http://www.onvif.org/ver10/device/wsdl" '
         'xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof">'
         '<s:Header><a:Action s:mustUnderstand="1">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>'
         '<a:MessageID>{message_id}</a:MessageID><a:ReplyTo><a:Address>'
         'http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</a:Address></a:ReplyTo>'
         '<a:To s:mustUnderstand="1">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To></s:Header>'
         '<s:Body><d:Probe>{types}</d:Probe></s:Body></s:Envelope>')


def udp_socket(local: str, port: int = 0, group: str | None = None) -> socket.socket:
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 8 << 20)
    except OSError:
        pass
    sock.bind(("0.0.0.0" if group else local, port))
    if group:
        sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, socket.inet_aton(group) + socket.inet_aton(local))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(local))
    sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 0)
    return sock


def collect(sock: socket.socket, listen: float, count: int, parse, local: str, started: float | None = None):
    """Datagrams until `listen` seconds passed or `count` of them parsed to something."""
    started = started or time.monotonic()
    out = []
    deadline = started + listen
    while True:
        remaining = deadline - time.monotonic()
        if remaining <= 0:
            break
        ready, _, _ = select.select([sock], [], [], remaining)
        if not ready:
            break
        data, source = sock.recvfrom(65535)
        if source[0] == local:
            continue
        item = parse(data)
        if item is None:
            continue
        item.update({"from": source[0], "sport": source[1], "after": round(time.monotonic() - started, 4),
                     "size": len(data)})
        out.append(item)
        if count and len(out) >= count:
            break
    return out


# WS-Discovery ------------------------------------------------------------------------------


def parse_wsd(data: bytes) -> dict | None:
    """Header and body of a WS-Discovery message (ProbeMatch, Hello or Bye), namespace-aware."""
    try:
        root = ET.fromstring(data)
    except ET.ParseError:
        return None
    header = root.find(f"{{{SOAP}}}Header")
    body = root.find(f"{{{SOAP}}}Body")
    if header is None or body is None:
        return None
    action = (header.findtext(f"{{{WSA}}}Action") or "").strip()
    sequence = header.find(f"{{{WSD}}}AppSequence")
    item = {"action": action.rsplit("/", 1)[-1], "messageId": header.findtext(f"{{{WSA}}}MessageID"),
            "relatesTo": header.findtext(f"{{{WSA}}}RelatesTo"), "to": header.findtext(f"{{{WSA}}}To"),
            "appSequence": dict(sequence.attrib) if sequence is not None else None}
    match = body.find(f"{{{WSD}}}ProbeMatches/{{{WSD}}}ProbeMatch")
    for name in ("Hello", "Bye"):
        match = match if match is not None else body.find(f"{{{WSD}}}{name}")
    if match is None:
        return item
    item.update({"address": (match.findtext(f"{{{WSA}}}EndpointReference/{{{WSA}}}Address") or "").strip(),
                 "types": (match.findtext(f"{{{WSD}}}Types") or "").split(),
                 "scopes": (match.findtext(f"{{{WSD}}}Scopes") or "").split(),
                 "xaddrs": (match.findtext(f"{{{WSD}}}XAddrs") or "").split(),
                 "metadataVersion": match.findtext(f"{{{WSD}}}MetadataVersion")})
    return item


def wsd_probe(args) -> list:
    sock = udp_socket(args.local)
    message_id = "urn:uuid:" + str(uuid.uuid4())
    types = f"<d:Types>{args.types}</d:Types>" if args.types else ""
    started = time.monotonic()
    sock.sendto(PROBE.format(message_id=message_id, types=types).encode(), (args.to, 3702))

    def parse(data):
        item = parse_wsd(data)
        return item if item and item["action"] == "ProbeMatches" and item["relatesTo"] == message_id else None

    return collect(sock, args.listen, args.count, parse, args.local, started)


def wsd_listen(args) -> list:
    sock = udp_socket(args.local, 3702, GROUP)
    print("listening", file=sys.stderr, flush=True)
    return collect(sock, args.listen, args.count, lambda data: parse_wsd(data), args.local)


# SSDP / UPnP -------------------------------------------------------------------------------


def parse_httpu(data: bytes) -> dict | None:
    head, separator, _ = data.partition(b"\r\n\r\n")
    if not separator:
        return None
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        name, colon, value = line.partition(":")
        if colon:
            headers[name.strip().upper()] = value.strip()
    return {"start": lines[0], "headers": headers}


def describe(location: str) -> dict:
    """The device fields of a UPnP description document."""
    with urllib.request.urlopen(location, timeout=5) as answer:
        root = ET.fromstring(answer.read())
    device = root.find(f"{{{UPNP_DEVICE}}}device")
    fields = {}
    if device is not None:
        for name in ("deviceType", "friendlyName", "manufacturer", "modelName", "modelNumber", "serialNumber",
                     "UDN", "presentationURL"):
            fields[name] = device.findtext(f"{{{UPNP_DEVICE}}}{name}")
    return fields


def ssdp_search(args) -> list:
    sock = udp_socket(args.local)
    started = time.monotonic()
    sock.sendto((f'M-SEARCH * HTTP/1.1\r\nHOST: {GROUP}:1900\r\nMAN: "ssdp:discover"\r\nMX: {args.mx}\r\n'
                 f"ST: {args.st}\r\n\r\n").encode(), (args.to, 1900))
    answers = collect(sock, args.listen, args.count, parse_httpu, args.local, started)
    if args.describe:
        described = {}
        for answer in answers:
            location = answer["headers"].get("LOCATION", "")
            if location and location not in described:
                try:
                    described[location] = describe(location)
                except (OSError, ET.ParseError) as error:
                    described[location] = {"error": str(error)}
            answer["description"] = described.get(location)
    return answers


def ssdp_listen(args) -> list:
    sock = udp_socket(args.local, 1900, GROUP)
    print("listening", file=sys.stderr, flush=True)
    return collect(sock, args.listen, args.count,
                   lambda data: parse_httpu(data) if data.startswith(b"NOTIFY") else None, args.local)


# mDNS --------------------------------------------------------------------------------------


def mdns_query(args) -> list:
    import camsim
    qtype = {"A": 1, "PTR": 12, "TXT": 16, "SRV": 33, "ANY": 255}[args.type]
    labels = camsim.labels_of(args.name) if not args.instance else (args.instance, *camsim.labels_of(args.name))
    ident = 0x1234 if args.legacy else 0
    query = camsim.dns_message(ident, 0, [(labels, qtype, 1)])
    if args.legacy:
        sock = udp_socket(args.local)
    else:
        sock = udp_socket(args.local, 5353, MDNS_GROUP)
    started = time.monotonic()
    sock.sendto(query, (MDNS_GROUP, 5353))

    def parse(data):
        try:
            message = camsim.dns_parse(data)
        except ValueError:
            return None
        if not message["flags"] & 0x8000:
            return None

        def value(record):
            data = record["data"]
            if record["type"] == 12:
                return ".".join(data)
            if record["type"] == 33:
                return [*data[:3], ".".join(data[3])]
            if record["type"] == 16:
                return [item.decode("utf-8", "replace") for item in data]
            return data if isinstance(data, str) else data.hex()

        def records(section):
            return [{"name": ".".join(r["name"]), "type": camsim.DNS_TYPE_NAMES.get(r["type"], r["type"]),
                     "class": r["class"], "ttl": r["ttl"], "data": value(r)} for r in message[section]]

        return {"id": message["id"], "flags": message["flags"],
                "questions": [[".".join(q[0]), q[1], q[2]] for q in message["questions"]],
                "answers": records("answers"), "additional": records("additional")}

    return collect(sock, args.listen, args.count, parse, args.local, started)


# -------------------------------------------------------------------------------------------


def parse_arguments(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("command", choices=["wsd-probe", "wsd-listen", "ssdp-search", "ssdp-listen", "mdns-query"])
    parser.add_argument("--local", required=True, help="the address of the interface to use")
    parser.add_argument("--to", default=None, help="destination (default: the protocol's group)")
    parser.add_argument("--listen", type=float, default=1.0)
    parser.add_argument("--count", type=int, default=0)
    parser.add_argument("--types", default="dn:NetworkVideoTransmitter")
    parser.add_argument("--st", default="ssdp:all")
    parser.add_argument("--mx", type=int, default=1)
    parser.add_argument("--describe", action="store_true")
    parser.add_argument("--name", default="_services._dns-sd._udp.local")
    parser.add_argument("--instance", default="", help="an instance label put before --name")
    parser.add_argument("--type", default="PTR")
    parser.add_argument("--legacy", action="store_true", help="query from an ephemeral port (unicast answers)")
    args = parser.parse_args(argv)
    if args.to is None:
        args.to = MDNS_GROUP if args.command == "mdns-query" else GROUP
    return args


def run(namespace, command: str, timeout: float | None = None, **options) -> list:
    """Run one client inside `namespace` (a harness.Namespace) and return what it printed."""
    argv = [sys.executable, os.path.abspath(__file__), command]
    for key, value in options.items():
        flag = "--" + key.replace("_", "-")
        if value is True:
            argv.append(flag)
        elif value not in (None, False):
            argv += [flag, str(value)]
    result = namespace.run(argv, timeout=timeout or float(options.get("listen", 1.0)) + 30)
    if result.returncode != 0:
        raise RuntimeError(f"stdclient {command} failed: {result.stderr}")
    return json.loads(result.stdout)


def main(argv=None) -> int:
    args = parse_arguments(argv)
    handler = {"wsd-probe": wsd_probe, "wsd-listen": wsd_listen, "ssdp-search": ssdp_search,
               "ssdp-listen": ssdp_listen, "mdns-query": mdns_query}[args.command]
    print(json.dumps(handler(args)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
