#!/usr/bin/env python3
"""Camera simulator for the end-to-end tests (Python 3 standard library only).

Run it inside a camera namespace made by harness.py (it refuses to run in the host's own network
namespace):

    python3 tests/e2e/camsim.py --devices FILE.json [--generate N] [--log FILE] [--state FILE]
                                [--http] [--upload-dir DIR] [--rate N] [--add-addresses]
                                [--generate-onvif N] [--generate-upnp N] [--generate-mdns N]
                                [--max-delay-ms MS] [--no-standards]

It plays cameras of the families 0 (KT352), 1 (PELTRA), 2 (MO_I), 3 (uicam), 5 (CTP), 6 (HDS),
7 (ZORIX), 8 (port 6801), 9 ("DH") and 999 (ZORIXNET): it answers each family's discovery query,
applies the network-setting commands addressed to one of its devices (so the next answer carries
the new settings), and with --http serves each device's HTTP pages and takes firmware uploads.
All devices share the namespace's address; every port is bound once and every reply goes out
by unicast to the asker, except the HDS reply, which goes to the multicast group.

Device description (--devices): a JSON array of objects (or an object {"devices": [...]}).
Fields use the device record's names; every field is optional:

    family        0, 1, 2, 3, 5, 6, 7, 8, 9 or 999 (default 1); 100, 101, 102: see below
    mac           MAC text; sent as written where the family sends text (1, 7, 999, 2, 6), as six
                  bytes elsewhere (any of 00:1A:2B:3C:4D:5E, 00-1A-..., 001A2B3C4D5E)
                  default 02:5A:00:00:00:<index+1>
    name          default "cam<index>"
    ip, mask, gateway, dns1, dns2
                  default: the namespace's address, 255.255.255.0, its .1 address, 8.8.8.8, 8.8.4.4
    httpPort      default 80;  dataPort (family 8) default 8000
    version       family 2: "a.b.c.d:e.f.g.h" (two quads); family 3: "HH-HH" (two hex bytes);
                  family 1 and 7: "x.y.z" (three fields); family 8: must begin "0." or "10." to
                  be listed by the program; others: any text
    ipMode        0 PPPoE, 1 dynamic, 2 fixed (default 2);  dnsAuto 0/1
    deviceId      family 8: 14 hex digits; others text (default derived from the MAC)
    protocolVersion, ddnsHost, ddnsHost2, ddnsUser, ddnsPassword, ddnsOption, ddnsEnabled,
    ddnsPort, binWord, userName, userPassword, uicamLow4, uicamBits45, uicamBit7, uicamLow3,
    uicamPairA, uicamPairB
                  as in the device record (protocolVersion default 2: family-1/7 replies carry
                  22 fields)
Behaviour switches:
    silent        true: the device answers nothing and ignores commands (it "left")
    ipEcho        true: the device answers "IPQUERY" with "IPREPLY"
    replyFields   families 1, 7, 999: send only the first N comma fields of the reply
    moiBodyLength family 2: 64, 65 or 195 (default 195)
    hdsReply      family 6: "multicast" (default, to 239.255.255.250:8002), "unicast" (to the
                  asker's address, port 8002) or "both"
    seqWord       family 8: the header word (bytes 4-5) of the device's messages
    checkUser, checkPassword
                  when set, a setting command with other credentials is ignored (family 9:
                  acknowledged with status 0)
    ackStatus     family 9: status of the settings acknowledgement (default 32768 = 0x8000;
                  the settings are applied only with 0x8000)
    ackSilent     family 9: true sends no acknowledgement;  ackDelayMs: delay it
    httpAnswer    status of the upload answers (default 200; 302 adds a Location, 401 a
                  WWW-Authenticate header); the upload is recorded whatever the answer
    rebootMs      after an upload answered 2xx the device restarts: it answers nothing (no
                  discovery, no HTTP) for this many milliseconds (default 0: no restart; below
                  0: it never comes back)
    upgradeVersion
                  the version (and sys_ver) the device reports after such a restart
    sysVer        the sys_ver item of get_Status.cgi (default: the version; families 3 and 9
                  "21.1.0.1" unless given)
Unknown keys are kept and shown in the state file.

Standard discovery. A device may also (or only) play the standard protocols: WS-Discovery as an
ONVIF camera (port 3702), SSDP/UPnP (port 1900 and the description over HTTP) and mDNS/DNS-SD
(port 5353). Family 100 speaks ONVIF, 101 UPnP and 102 mDNS (and none of the proprietary
queries); any device speaks a protocol whose key is true or an object, e.g.
{"family": 1, "mac": ..., "onvif": {}} answers PELTRA and ONVIF with one MAC; "onvif": false
turns it off for family 100. Shared top-level keys: manufacturer (default "Camsim"), model
("CS-<family>"), hardware (= model), serial (the 12 MAC hex digits), location ("city/Zadar"),
version (the firmware). Every key of the protocol objects is optional:

    "onvif": {uuid (default urn:uuid:5a0e0000-0000-4000-8000-<mac>), types ("dn:NetworkVideoTransmitter
              tds:Device"; prefixes dn, tds, wsdp, pub), scopes (list: replaces the default name,
              hardware, location, MAC (onvif://www.onvif.org/MAC/aa:bb:cc:dd:ee:ff), serial,
              type/video_encoder and Profile/Streaming scopes), extraScopes, macScope/serialScope
              (false: leave out), port (80) and path ("/onvif/device_service") of the device
              service, xaddrIp (name another, stale address in XAddrs), xaddrs (the whole text),
              metadataVersion (1), maxDelayMs (the random wait before a ProbeMatch to a multicast
              Probe; default APP_MAX_DELAY 500), hello/bye (false: stay quiet)}
    "upnp":  {uuid (5a0e0001-...-<mac>), deviceType ("urn:schemas-upnp-org:device:Basic:1"),
              services (list of service types), friendlyName (name), manufacturer, manufacturerURL,
              modelDescription, modelName (model), modelNumber (version), serialNumber (serial),
              presentationURL (http://ip[:httpPort]/), port (49152) and path
              ("/upnp/<uuid>/description.xml") of the description, location (the LOCATION text;
              default the description's URL), server, maxAge (1800), maxDelayMs (default: MX),
              notify (false: no ssdp:alive/byebye), description (the document's whole text)}
    "mdns":  {instance (name), host (<name>-<last 6 MAC digits>, ".local" added), ip (the A
              record; default the device's ip), services (["_http._tcp", "_axis-video._tcp"];
              also "_onvif._tcp", "_rtsp._tcp", anything), ports ({type: port}: _http and
              _axis-video the httpPort, _rtsp 554, _onvif the ONVIF port), txt ({key: value} or
              a list of strings; default {"macaddress": <12 MAC hex digits>}), ttl (120, SRV and A),
              otherTtl (4500, PTR and TXT), maxDelayMs (default 20-120 ms for shared answers),
              announce (false: no announcement or goodbye)}

Behaviour: a ProbeMatch answers a Probe whose Types are all the device's (none: every device)
and whose Scopes prefix the device's, unicast to the asker after a random wait up to
APP_MAX_DELAY when the Probe came by multicast; the SSDP answers go to the asker after a random
wait up to MX (at most 5 s) for ssdp:all, upnp:rootdevice, the UUID, the device type (any
version up to the device's) and the service types; mDNS answers PTR, SRV, TXT, A and ANY
questions for _services._dns-sd._udp.local, the service types, the instances and the host: to a
query from a port other than 5353 directly to that port with the query's ID and questions and no
cache-flush bit (legacy unicast), to a query whose questions all ask for unicast to the asker's
port 5353, else to 224.0.0.251. At start every standard device multicasts a Hello, the
ssdp:alive set and an mDNS announcement; at stop a Bye, ssdp:byebye and an mDNS goodbye; a reload
does the same for devices that came or went (a changed object goes and comes). A device whose ip
is one of the namespace's addresses (--add-addresses) sends from it.
HTTP: the device service port of ONVIF devices and the description port of UPnP devices are
served always. POST to the device service path goes to handle_device_service(camera_state,
path, headers, body) -> (status, headers, body) of tests/e2e/camsim_onvif.py when that module
exists (503 otherwise); camera_state is the device's live dict, so what the service sets is what
discovery tells. When the call changed what the device announces (ip, XAddrs, scopes, ...), the
MetadataVersion goes up and a Hello goes out, unless the service called camsim.announce(state)
itself during the call; camsim.announce(state, delay_ms) and camsim.bye(state) are there for
the service (e.g. a Bye before a simulated reboot and a Hello after it).
--generate-onvif N, --generate-upnp N, --generate-mdns N: N devices of family 100/101/102 on the
namespace's address, each with its own MAC (02:5B:1x:...), UUID and (ONVIF) device service path
"/onvif/device_service/<n>". --max-delay-ms MS: the longest random wait of every standard
answer (0 for load). --no-standards: leave ports 3702, 1900 and 5353 alone.
Log kinds added: "rx" with what = query:wsd-probe, wsd:hello, wsd:bye, wsd:other, query:ssdp,
ssdp:notify, ssdp:response, query:mdns, mdns:response (and notes: matched, types, st, questions,
legacy); {"kind": "announce"|"retire", "device": macKey, "what": [...]}.

The file is read again whenever its modification time changes. Devices whose object did not
change keep their live state (settings applied by commands); changed or new objects start from
what the file says. --generate N adds N devices of mixed families (unique MACs, IPs from
--generate-base, default 10.200.0.1) that survive reloads.

--log FILE: one JSON line per event, flushed at once. Kinds:
    {"kind": "rx", "t": unix time, "port": local port, "src": ip, "sport": port, "dst": the
     datagram's destination address, "len": n, "hex": "...", "what": see below, ...notes}
    {"kind": "apply", "what": ..., "family": f, "device": macKey or null, "applied": bool,
     "reason": text, "changes": {field: new value}}
    {"kind": "echo", "text": the program's IPREPLY answer, "ok": whether it names our address}
    {"kind": "http", "port": p, "method": m, "target": path?query, "status": s, "device": key}
    {"kind": "upload", ...the upload's metadata, see --upload-dir}
    {"kind": "restart", "t": unix time, "device": macKey, "ms": rebootMs, "version": after}
    {"kind": "answered", "t": unix time, "n": the upload's number}: its answer went out
    {"kind": "reload", "devices": n}  /  {"kind": "reload-error", "error": text}
"what" names the datagram: query:peltra query:zorix query:zorixnet query:ip echo:ipreply
query:kt352 command:kt352 query:moi command:moi query:uicam command:uicam query:ctp
command:ctp query:hds command:hds query:6801 answer:6801-0f12 answer:6801-0f0f command:6801
query:dh command:dh command:peltra command:peltra3 command:zorixnet other.

--state FILE: the devices as they are now (a JSON array), rewritten after every change.
--upload-dir DIR: every upload received over HTTP is stored as NNNN.head (the request line and
headers exactly as received), NNNN.body (the body), NNNN.part (the file part's bytes) and
NNNN.json (port, target, host, device, status answered, part name, file name, content type,
size, sha256, "tStart" when the connection was taken and "tEnd" when the whole body was read, in
unix time). --no-upload-bodies: store only NNNN.head and NNNN.json (the sha256 is still taken),
so that writing many megabytes does not weigh on load figures.
--rate N: replies per second at most (default 20000; 0 = as fast as the sockets take them), so
that thousands of answers do not overflow the receiver's socket buffer in one burst.
--add-addresses: give each device's IP (when it lies in the namespace's subnet) to the
interface as an extra address, so HTTP to the device's own address reaches the simulator.
"""

from __future__ import annotations

import argparse
import hashlib
import heapq
import ipaddress
import json
import os
import random
import re
import select
import signal
import socket
import socketserver
import struct
import subprocess
import sys
import threading
import time
import uuid as uuid_module
from collections import deque

PORT_COMMA = 10000  # comma-text families, the IP echo and MO_I
PORT_KT352 = 4000
PORT_UICAM = 10139
PORT_CTP = 7999
PORT_HDS = 8002
PORT_6801 = 6801
PORT_DH = 8600
HDS_GROUP = "239.255.255.250"
ALL_PORTS = (PORT_COMMA, PORT_KT352, PORT_UICAM, PORT_CTP, PORT_HDS, PORT_6801, PORT_DH)
FAMILIES = (0, 1, 2, 3, 5, 6, 7, 8, 9, 999)
GENERATED_FAMILIES = (0, 1, 2, 3, 5, 6, 7, 8, 9, 999)
ACK_OK = 0x8000
IP_PKTINFO = getattr(socket, "IP_PKTINFO", 8)
NAMESPACE_PREFIX = "zadari-e2e-"  # the harness names its namespaces so

DEFAULT_VERSIONS = {0: "V1.2.3", 1: "1.2.3", 2: "1.2.3.4:5.6.7.8", 3: "01-0A", 5: "V2.0.1",
                    6: "2.6.1", 7: "4.5.6", 8: "10.2.1", 9: "21.1.0.1", 999: "3.1.4",
                    100: "5.4.1", 101: "5.4.1", 102: "5.4.1"}

RECORD_FIELDS = ("protocolVersion", "family", "mac", "macKey", "deviceId", "name", "version", "ip",
                 "mask", "gateway", "sdkText", "dnsAuto", "dns1", "dns2", "httpPort", "dataPort",
                 "sdkWord", "ipMode", "ddnsEnabled", "ddnsUser", "ddnsPassword", "ddnsHost",
                 "ddnsHost2", "ddnsPort", "uicamLow4", "ddnsOption", "uicamLow3", "uicamBit7",
                 "uicamBits45", "uicamPairA", "uicamPairB", "userName", "userPassword", "sdkValue",
                 "age", "binWord")


# ---------------------------------------------------------------------------------------------
# Byte and text helpers


def enc(text) -> bytes:
    """Texts travel as UTF-8; bytes that arrived as something else come back unchanged."""
    return str(text).encode("utf-8", "surrogateescape")


def dec(raw: bytes) -> str:
    return raw.decode("utf-8", "surrogateescape")


def cstr(raw: bytes) -> str:
    """The text up to the first NUL (or the whole field)."""
    end = raw.find(b"\0")
    return dec(raw if end < 0 else raw[:end])


def fixed(text, width: int) -> bytes:
    """Text cut to `width` bytes and NUL-padded to it."""
    return enc(text)[:width].ljust(width, b"\0")


def fixed_z(text, width: int) -> bytes:
    """Text cut so that a NUL always follows it inside `width` bytes."""
    return enc(text)[:width - 1].ljust(width, b"\0")


def utf8_cut(text, limit: int) -> bytes:
    """UTF-8 bytes of the text, cut at a character boundary to at most `limit` bytes."""
    raw = enc(text)
    if len(raw) <= limit:
        return raw
    raw = raw[:limit]
    while raw and (raw[-1] & 0xC0) == 0x80:
        raw = raw[:-1]
    if raw and raw[-1] >= 0xC0:
        raw = raw[:-1]
    return raw


def ip4(text) -> bytes:
    try:
        return socket.inet_aton(str(text)) if str(text).count(".") == 3 else bytes(4)
    except OSError:
        return bytes(4)


def ip_text(raw: bytes) -> str:
    return socket.inet_ntoa(raw[:4].ljust(4, b"\0"))


def mac_key(text) -> str:
    return str(text).replace("-", "").replace(":", "").replace(" ", "0").upper()


def mac_bytes(text) -> bytes:
    key = mac_key(text)[:12].ljust(12, "0")
    try:
        return bytes.fromhex(key)
    except ValueError:
        return bytes(6)


def mac_colons(text) -> str:
    key = mac_key(text)[:12].ljust(12, "0")
    return ":".join(key[i:i + 2] for i in range(0, 12, 2))


def hex12(raw: bytes) -> str:
    return raw[:6].hex().upper()


def to_int(value, default: int = 0) -> int:
    try:
        return int(str(value).strip())
    except ValueError:
        return default


def at(data: bytes, offset: int, size: int) -> bytes:
    """Bytes of a datagram, zeros past its end."""
    return data[offset:offset + size].ljust(size, b"\0")


# ---------------------------------------------------------------------------------------------
# Devices


def device_defaults(family: int, index: int, ip: str) -> dict:
    serial = index + 1
    mac = "02:5A:%02X:%02X:%02X:%02X" % ((serial >> 24) & 0xFF, (serial >> 16) & 0xFF,
                                          (serial >> 8) & 0xFF, serial & 0xFF)
    try:
        gateway = str(ipaddress.ip_network(f"{ip}/24", strict=False).network_address + 1)
    except ValueError:
        gateway = "0.0.0.0"
    defaults = {
        "protocolVersion": 2, "family": family, "mac": mac, "deviceId": "", "name": f"cam{index}",
        "version": DEFAULT_VERSIONS.get(family, "1.0"), "ip": ip, "mask": "255.255.255.0",
        "gateway": gateway, "dnsAuto": 0, "dns1": "8.8.8.8", "dns2": "8.8.4.4", "httpPort": 80,
        "dataPort": 8000, "ipMode": 2, "ddnsEnabled": 0, "ddnsUser": "", "ddnsPassword": "",
        "ddnsHost": "", "ddnsHost2": "", "ddnsPort": 808, "uicamLow4": 0, "ddnsOption": 0,
        "uicamLow3": 0, "uicamBit7": 0, "uicamBits45": 0, "uicamPairA": "", "uicamPairB": "",
        "userName": "admin", "userPassword": "", "binWord": 0,
        "silent": False, "ipEcho": False, "moiBodyLength": 195, "hdsReply": "multicast",
        "seqWord": serial & 0xFFFF, "ackStatus": ACK_OK, "ackSilent": False, "ackDelayMs": 0,
        "httpAnswer": 200,
    }
    return defaults


class Device:
    def __init__(self, entry: dict, index: int, default_ip: str, generated: bool = False):
        family = to_int(entry.get("family", 1), 1)
        data = device_defaults(family, index, str(entry.get("ip", default_ip)))
        data.update(entry)
        data["family"] = family
        if not data.get("deviceId"):
            key = mac_key(data["mac"])
            data["deviceId"] = ("01" + key)[:14].ljust(14, "0") if family == 8 else f"DEV{key}"
        if "sysVer" not in data:
            data["sysVer"] = "21.1.0.1" if family == 3 else data["version"]
        self.d = data
        self.entry_key = canonical(entry)
        self.generated = generated
        self.cache: dict = {}
        self.down_until = 0.0  # restarting after an upload until then (time.monotonic())

    @property
    def family(self) -> int:
        return self.d["family"]

    @property
    def key(self) -> str:
        return mac_key(self.d["mac"])

    @property
    def silent(self) -> bool:
        return bool(self.d.get("silent")) or (self.down_until > 0 and time.monotonic() < self.down_until)

    def restart_after_upload(self) -> int:
        """Starts the restart that follows an accepted upload; its length in ms (0: none)."""
        ms = to_int(self.d.get("rebootMs", 0), 0)
        if ms == 0:
            return 0
        after = self.d.get("upgradeVersion")
        if after:
            self.update({"version": str(after), "sysVer": str(after)})
        self.down_until = float("inf") if ms < 0 else time.monotonic() + ms / 1000.0
        return ms

    def update(self, changes: dict) -> None:
        self.d.update(changes)
        self.cache.clear()

    def public(self) -> dict:
        out = dict(self.d)
        out["macKey"] = self.key
        return out

    def reply(self, name: str, build, *args) -> bytes:
        cached = self.cache.get(name)
        if cached is None:
            cached = build(self.d, *args)
            self.cache[name] = cached
        return cached


def canonical(entry) -> str:
    return json.dumps(entry, sort_keys=True)


# ---------------------------------------------------------------------------------------------
# Replies the devices send


def kt352_mode(mode: int) -> bytes:
    return {0: b"\x01\x01\xff\xff", 1: b"\xff\xff\x01\x01"}.get(to_int(mode, 2), b"\xff\xff\xff\xff")


def kt352_reply(d: dict) -> bytes:
    def item(tag: int, value: bytes) -> bytes:
        return bytes([tag, len(value)]) + value

    port = to_int(d["httpPort"], 80) & 0xFFFF
    body = b"".join([
        item(0x10, mac_bytes(d["mac"])), item(0x20, fixed(d["name"], 16)),
        item(0x21, fixed(d["version"], 16)), item(0x11, ip4(d["ip"])), item(0x12, ip4(d["mask"])),
        item(0x13, ip4(d["gateway"])), item(0x14, struct.pack("<HH", port, 0)),
        item(0x1F, kt352_mode(d["ipMode"])), item(0x22, fixed(d["ddnsUser"], 16)),
        item(0x23, fixed(d["ddnsPassword"], 16)), item(0x24, ip4(d["dns1"])), item(0x28, ip4(d["dns2"])),
        item(0x25, fixed(d["ddnsHost"], 30)), item(0x26, bytes([to_int(d["ddnsOption"]) & 0xFF])),
    ])
    return (b"KT352" + body + b"\0").ljust(256, b"\0")


def flag(condition: bool) -> str:
    return "1" if condition else "0"


def comma_reply(d: dict, word: str) -> bytes:
    """PELTRAREPLY / ZORIXREPLY: the long layout of 22 fields."""
    parts = (str(d["version"]).split(".") + ["", "", ""])[:3]
    mode = to_int(d["ipMode"], 2)
    fields = [word, "0", d["mac"], d["ip"], str(d["httpPort"]), d["mask"], d["gateway"], d["name"],
              d["ddnsHost"], d["ddnsUser"], d["ddnsPassword"], str(d["ddnsOption"]), *parts,
              flag(mode == 0), flag(mode == 1), flag(to_int(d["dnsAuto"]) == 1), d["dns1"], d["dns2"],
              d["ddnsHost2"], str(d["protocolVersion"])]
    if d.get("replyFields"):
        fields = fields[:to_int(d["replyFields"], len(fields))]
    return enc(",".join(str(field) for field in fields))


def zorixnet_reply(d: dict) -> bytes:
    mode = to_int(d["ipMode"], 2)
    fields = ["ZORIXNETREPLY", "0", d["mac"], d["ip"], str(d["httpPort"]), d["mask"], d["gateway"],
              d["name"], d["ddnsHost"], d["ddnsUser"], d["ddnsPassword"], flag(mode == 0), flag(mode == 1),
              flag(to_int(d["dnsAuto"]) == 1), d["dns1"], d["dns2"], d["version"]]
    if d.get("replyFields"):
        fields = fields[:to_int(d["replyFields"], len(fields))]
    return enc(",".join(str(field) for field in fields))


def moi_header(command: int, body_length: int) -> bytes:
    return b"MO_I" + struct.pack("<H", command) + bytes(9) + struct.pack("<I", body_length) + bytes(4)


def moi_version(text) -> bytes:
    match = re.fullmatch(r"(\d+)\.(\d+)\.(\d+)\.(\d+):(\d+)\.(\d+)\.(\d+)\.(\d+)", str(text))
    if not match:
        return bytes([1, 0, 0, 0, 0, 0, 0, 1])
    return bytes(int(part) & 0xFF for part in match.groups())


def moi_reply(d: dict) -> bytes:
    length = to_int(d.get("moiBodyLength", 195), 195)
    body = (fixed(d["mac"], 13) + utf8_cut(d["name"], 21).ljust(21, b"\0") + ip4(d["ip"]) + ip4(d["mask"])
            + ip4(d["gateway"]) + ip4(d["dns1"]) + ip4(d["dns2"]) + moi_version(d["version"])
            + struct.pack(">H", to_int(d["httpPort"], 80) & 0xFFFF))
    if length == 195:
        body += (bytes([1 if to_int(d["ipMode"], 2) == 1 else 0]) + fixed(d["ddnsHost"], 65)
                 + fixed(d["ddnsUser"], 65))
    body = body[:length].ljust(length, b"\0")
    return moi_header(1, length) + body


UICAM_STRINGS_AT = 62  # byte 52 holds 54: the string area starts at 8 + 54, where commands write it
UICAM_REQUEST = "GET /api/userip.asp?username=%s&userpwd=%s&tcpport=%d&lanip=%s&\r\n\r\n"


def uicam_version(text) -> bytes:
    match = re.fullmatch(r"([0-9A-Fa-f]{2})-([0-9A-Fa-f]{2})", str(text))
    return bytes.fromhex(match.group(1) + match.group(2)) if match else b"\x01\x0a"


def uicam_flags_a(d: dict) -> int:
    return ((0x80 if to_int(d["uicamBit7"]) else 0) | ((to_int(d["uicamBits45"]) & 3) << 4)
            | (to_int(d["uicamLow4"]) & 0x0F))


def uicam_flags_b(d: dict) -> int:
    mode = to_int(d["ipMode"], 2)
    return {1: 0x80, 0: 0x08}.get(mode, 0) | (to_int(d["uicamLow3"]) & 7)


def uicam_strings(d: dict) -> list[str]:
    pair = f"{d['uicamPairA']}:{d['uicamPairB']}" if (d["uicamPairA"] or d["uicamPairB"]) else ""
    request = UICAM_REQUEST % (d["ddnsUser"], d["ddnsPassword"], to_int(d["httpPort"], 80), d["ip"])
    return [f"{d['userName']}:{d['userPassword']}", d.get("uicamS2", ""), d["ddnsHost"],
            d.get("uicamS4", ""), request, pair, d.get("uicamS7", "")]


def uicam_reply(d: dict) -> bytes:
    head = bytearray(UICAM_STRINGS_AT)
    head[0:4] = b"uiv2"
    head[4:6] = uicam_version(d["version"])
    head[8:14] = mac_bytes(d["mac"])
    head[14:16] = struct.pack(">H", to_int(d["httpPort"], 80) & 0xFFFF)
    head[16:20] = ip4(d["ip"])
    head[20:24] = ip4(d["gateway"])
    head[24:28] = ip4(d["mask"])
    head[28:32] = ip4(d["dns1"])
    head[32:36] = ip4(d["dns2"])
    head[52] = UICAM_STRINGS_AT - 8
    head[53] = uicam_flags_a(d)
    head[54] = uicam_flags_b(d)
    strings = b"".join(enc(text) + b"\0" for text in uicam_strings(d))
    return (bytes(head) + strings)[:520].ljust(520, b"\0")


def ctp_reply(d: dict) -> bytes:
    lines = ["REPLY search CTP/1.0", f"-sn {d['deviceId']}", f"-name {d['name']}", f"-ip {d['ip']}",
             f"-netmask {d['mask']}", f"-gw {d['gateway']}", f"-portctp {d['httpPort']}",
             f"-mdns {d['dns1']}", f"-sdns {d['dns2']}", f"-mac {mac_colons(d['mac'])}",
             f"-ddns {d['ddnsHost']}", f"-ddnsuser {d['ddnsUser']}", f"-ddnspswd {d['ddnsPassword']}",
             f"-version {d['version']}"]
    return enc("\r\n".join(lines) + "\r\n\r\n")


def hds_reply(d: dict, client_id: str = "") -> bytes:
    values = [f"Device-ID={d['deviceId']}", f"Device-Name={d['name']}", f"IP={d['ip']}",
              f"MASK={d['mask']}", f"Gateway={d['gateway']}", f"MAC={d['mac']}",
              f"Dhcp={1 if to_int(d['ipMode'], 2) == 1 else 0}", f"Fdns={d['dns1']}", f"Sdns={d['dns2']}",
              f"Ddns={1 if to_int(d['dnsAuto']) == 1 else 0}", f"Http-Port={d['httpPort']}",
              f"DDNS-Enable={'y' if to_int(d['ddnsEnabled']) else 'n'}", f"DDNS-User={d['ddnsUser']}",
              f"DDNS-Passwd={d['ddnsPassword']}", f"DDNS-Host={d['ddnsHost']}",
              f"DDNS-Port={d['ddnsPort']}", f"Software-Version={d['version']}"]
    body = enc("\r\n".join(values) + "\r\n")
    head = (f"HDS/1.0 200 OK\r\nCSeq:1\r\nClient-ID:{client_id}\r\nContent-Type:text/HDP\r\n"
            f"Content-Length:{len(body)}\r\n\r\n")
    return enc(head) + body


def header6801(code: int, word: int, length: int) -> bytes:
    return struct.pack("<BBHHH", 0x10, 0x10, code, word & 0xFFFF, length)


def block6801(d: dict) -> bytes:
    port = to_int(d["httpPort"], 80) & 0xFFFF
    block = bytearray(128)
    for offset, field in ((0, "ip"), (16, "mask"), (32, "gateway"), (48, "dns1"), (64, "dns2")):
        block[offset:offset + 16] = fixed_z(d[field], 16)
    block[80:88] = struct.pack("<HHHH", port, port, port, to_int(d["dataPort"]) & 0xFFFF)
    block[88:94] = mac_bytes(d["mac"])
    block[94:96] = struct.pack("<H", to_int(d["binWord"]) & 0xFFFF)
    try:
        block[96:103] = bytes.fromhex(str(d["deviceId"])[:14].ljust(14, "0"))
    except ValueError:
        block[96:103] = bytes(7)
    block[103] = 1 if to_int(d["ipMode"], 2) == 1 else 0
    block[104:128] = utf8_cut(d["name"], 23).ljust(24, b"\0")
    return bytes(block)


def bin6801_first(d: dict) -> bytes:
    """0x8F01: header, four bytes, the settings block at bytes 12-139."""
    return header6801(0x8F01, d["seqWord"], 132) + bytes(4) + block6801(d)


def bin6801_settings(d: dict) -> bytes:
    """0x8F12: the settings block at bytes 8-135 and the version text at byte 136."""
    return header6801(0x8F12, d["seqWord"], 160) + block6801(d) + fixed_z(d["version"], 32)


def bin6801_ddns(d: dict) -> bytes:
    """0x8F0F: MAC at bytes 96-101 (inside the block), host at 142, user at 272, password at 336."""
    body = (block6801(d) + bytes(6) + fixed_z(d["ddnsHost"], 130) + fixed_z(d["ddnsUser"], 64)
            + fixed_z(d["ddnsPassword"], 64))
    return header6801(0x8F0F, d["seqWord"], len(body)) + body


def dh_search_reply(d: dict) -> bytes:
    out = bytearray(516)
    out[0:4] = b"DH\x01\x08"
    for offset, field in ((4, "ip"), (20, "mask"), (36, "gateway"), (52, "dns1"), (68, "dns2")):
        out[offset:offset + 16] = fixed_z(d[field], 16)
    out[84:90] = mac_bytes(d["mac"])
    out[90:92] = struct.pack("<H", to_int(d["httpPort"], 80) & 0xFFFF)
    out[92:124] = fixed_z(d["deviceId"], 32)
    out[124:204] = fixed(d["name"], 80)
    out[204:220] = fixed_z(d["version"], 16)
    out[236:268] = fixed_z(d["userName"], 32)
    out[268:300] = fixed_z(d["userPassword"], 32)
    out[301] = 1 if to_int(d["ipMode"], 2) == 1 else 0
    out[324:388] = fixed_z(d["ddnsHost"], 64)
    out[388:452] = fixed_z(d["ddnsHost2"], 64)
    out[452:484] = fixed_z(d["ddnsUser"], 32)
    out[484:516] = fixed_z(d["ddnsPassword"], 32)
    return bytes(out)


def dh_ack(status: int) -> bytes:
    out = bytearray(328)
    out[0:4] = b"DH\x02\x08"
    out[324:328] = struct.pack("<I", status & 0xFFFFFFFF)
    return bytes(out)


# ---------------------------------------------------------------------------------------------
# What the program sends


def classify(port: int, data: bytes) -> str:
    if port in STANDARD_PORTS:
        return classify_standard(port, data)
    if port == PORT_COMMA:
        if data.startswith(b"MO_I"):
            command = struct.unpack("<H", at(data, 4, 2))[0]
            return {0: "query:moi", 2: "command:moi"}.get(command, "other")
        for prefix, what in ((b"PELTRAQUERY,0", "query:peltra"), (b"PELTRAQUERY,1,", "command:peltra"),
                             (b"PELTRAQUERY,3,", "command:peltra3"), (b"ZORIXQUERY,0", "query:zorix"),
                             (b"ZORIXNETQUERY,0", "query:zorixnet"),
                             (b"ZORIXNETQUERY,1,", "command:zorixnet")):
            if data == prefix or (prefix.endswith(b",") and data.startswith(prefix)):
                return what
        if data == b"IPQUERY":
            return "query:ip"
        if data.startswith(b"IPREPLY") and len(data) > 7:
            return "echo:ipreply"
        return "other"
    if port == PORT_KT352:
        if not data.startswith(b"KT352") or not kt352_items(data):
            return "other"
        return "query:kt352" if is_kt352_query(data) else "command:kt352"
    if port == PORT_UICAM:
        if data == b"uicam query":
            return "query:uicam"
        return "command:uicam" if data.startswith(b"uisp") else "other"
    if port == PORT_CTP:
        if data.startswith(b"SEARCH * CTP/1.0\r\n"):
            return "query:ctp"
        return "command:ctp" if data.startswith(b"CMD setip CTP/1.0\r\n") else "other"
    if port == PORT_HDS:
        if data.startswith(b"SEARCH * HDS/1.0\r\n"):
            return "query:hds"
        return "command:hds" if data.startswith(b"CMD * HDS/1.0\r\n") else "other"
    if port == PORT_6801:
        if len(data) < 4 or data[0] != 0x10 or data[1] != 0x10:
            return "other"
        code = struct.unpack("<H", data[2:4])[0]
        return {0x0F01: "query:6801", 0x0F12: "answer:6801-0f12", 0x0F0F: "answer:6801-0f0f",
                0x0F02: "command:6801"}.get(code, "other")
    if port == PORT_DH:
        if data[:4] == b"DH\x01\x01":
            return "query:dh"
        return "command:dh" if data[:4] == b"DH\x02\x01" else "other"
    return "other"


def kt352_items(data: bytes) -> list[tuple[int, bytes]]:
    items, offset = [], 5
    while offset + 1 < len(data) and data[offset] != 0:
        length = data[offset + 1]
        items.append((data[offset], data[offset + 2:offset + 2 + length]))
        offset += 2 + length
    return items


def is_kt352_query(data: bytes) -> bool:
    items = kt352_items(data)
    return bool(items) and items[0][0] == 0x10 and not any(items[0][1])


def kt352_mode_of(value: bytes) -> int:
    value = value.ljust(4, b"\0")
    if value[0] == 1:
        return 0
    return 1 if value[2] == 1 else 2


def kt352_command(data: bytes) -> tuple[str | None, dict]:
    """(target MAC key, changes) of a KT352 setting message."""
    items = kt352_items(data)
    if not items or items[0][0] != 0x10:
        return None, {}
    target = hex12(items[0][1].ljust(6, b"\0"))
    changes: dict = {}
    for tag, value in items[1:]:
        if tag == 0x10:
            changes["mac"] = hex12(value.ljust(6, b"\0"))
        elif tag in (0x20, 0x22, 0x23, 0x25):
            changes[{0x20: "name", 0x22: "ddnsUser", 0x23: "ddnsPassword", 0x25: "ddnsHost"}[tag]] = cstr(value)
        elif tag in (0x11, 0x12, 0x13, 0x24, 0x28):
            field = {0x11: "ip", 0x12: "mask", 0x13: "gateway", 0x24: "dns1", 0x28: "dns2"}[tag]
            changes[field] = ip_text(value)
        elif tag == 0x14:
            port = to_int(cstr(value), -1)
            if 0 <= port <= 0xFFFF:
                changes["httpPort"] = port
        elif tag == 0x26:
            changes["ddnsOption"] = value[0] if value else 0
        elif tag == 0x1F:
            changes["ipMode"] = kt352_mode_of(value)
    return target, changes


def comma_mode(pppoe: str, dynamic: str) -> int:
    if pppoe == "1":
        return 0
    return 1 if dynamic == "1" else 2


def comma_command(text: str) -> tuple[str, dict, str, str] | None:
    """(listed MAC, changes, user, password) of "PELTRAQUERY,1,..." or "ZORIXNETQUERY,1,..."."""
    fields = text.split(",")
    peltra = fields[0] == "PELTRAQUERY"
    wanted = 17 if peltra else 16
    values = fields[2:]
    if len(values) < wanted:
        return None
    if peltra and len(values) > wanted:  # a name with commas in it
        extra = len(values) - wanted
        values = values[:6] + [",".join(values[6:7 + extra])] + values[7 + extra:]
    values = values[:wanted]
    if peltra:
        listed, mac, ip, port, mask, gateway, name, host, user, password, pppoe, dynamic, dns_auto, \
            dns1, dns2, login, secret = values
    else:
        listed, mac, ip, port, mask, gateway, host, user, password, pppoe, dynamic, dns_auto, \
            dns1, dns2, login, secret = values
        name = None
    changes = {"mac": mac or listed, "ip": ip, "httpPort": to_int(port, 80) & 0xFFFF, "mask": mask,
               "gateway": gateway, "ddnsHost": host, "ddnsUser": user, "ddnsPassword": password,
               "ipMode": comma_mode(pppoe, dynamic), "dnsAuto": 1 if dns_auto == "1" else 0,
               "dns1": dns1, "dns2": dns2}
    if name is not None:
        changes["name"] = name
    return listed, changes, login, secret


def moi_command(data: bytes) -> tuple[str, dict, str, str]:
    """(MAC text, changes, user, password) of the 84-byte MO_I command 2."""
    mac = cstr(at(data, 27, 13))
    changes = {"ip": ip_text(at(data, 66, 4)), "mask": ip_text(at(data, 70, 4)),
               "gateway": ip_text(at(data, 74, 4)), "dns1": ip_text(at(data, 78, 4)),
               "httpPort": struct.unpack(">H", at(data, 82, 2))[0]}
    return mac, changes, cstr(at(data, 40, 13)), cstr(at(data, 53, 13))


def uicam_string_list(buffer: bytes, start: int, count: int = 7) -> list[str]:
    strings, offset = [], start
    for _ in range(count):
        if offset >= len(buffer):
            strings.append("")
            continue
        end = buffer.find(b"\0", offset)
        end = len(buffer) if end < 0 else end
        strings.append(dec(buffer[offset:end]))
        offset = end + 1
    return strings


def query_value(text: str, key: str) -> str | None:
    where = text.find(key)
    if where < 0:
        return None
    rest = text[where + len(key):]
    amp = rest.find("&")
    return rest if amp < 0 else rest[:amp]


def uisp_command(data: bytes) -> tuple[str, dict]:
    """(MAC key, changes) of a 520-byte "uisp" command; the strings start at byte 62."""
    buffer = data[:520].ljust(520, b"\0")
    flags_a, flags_b = buffer[53], buffer[54]
    changes = {"httpPort": struct.unpack(">H", buffer[14:16])[0], "ip": ip_text(buffer[16:20]),
               "gateway": ip_text(buffer[20:24]), "mask": ip_text(buffer[24:28]),
               "dns1": ip_text(buffer[28:32]), "dns2": ip_text(buffer[32:36]),
               "uicamBit7": flags_a >> 7, "uicamBits45": (flags_a >> 4) & 3, "uicamLow4": flags_a & 0x0F,
               "ipMode": 1 if flags_b & 0x80 else (0 if flags_b & 0x08 else 2), "uicamLow3": flags_b & 7}
    strings = uicam_string_list(buffer, UICAM_STRINGS_AT)
    account = strings[0]
    if ":" in account:
        changes["userName"], changes["userPassword"] = account.split(":", 1)
    else:
        changes["userName"] = account
    changes["uicamS2"] = strings[1]
    changes["ddnsHost"] = strings[2]
    for key, field in (("username=", "ddnsUser"), ("userpwd=", "ddnsPassword")):
        value = query_value(strings[4], key)
        if value is not None:
            changes[field] = value
    if strings[5]:
        pair = strings[5].split(":", 1)
        changes["uicamPairA"], changes["uicamPairB"] = pair[0], pair[1] if len(pair) > 1 else ""
    return hex12(buffer[8:14]), changes


def ctp_setip(text: str) -> tuple[dict, dict, bool]:
    """(arguments, changes, whether Content-Length counts from the empty line to the end)."""
    head, _, rest = text.partition("\r\n\r\n")
    match = re.search(r"\r\nContent-Length: (\d+)", head + "\r\n")
    length_ok = bool(match) and int(match.group(1)) == len(enc(rest)) + 2
    arguments: dict = {}
    for line in rest.split("\r\n"):
        if line.startswith("-"):
            name, _, value = line.partition(" ")
            arguments.setdefault(name, value)
    changes: dict = {}
    for name, field in (("-ip", "ip"), ("-netmask", "mask"), ("-defgw", "gateway"), ("-name", "name"),
                        ("-mdns", "dns1"), ("-sdns", "dns2")):
        if name in arguments:
            changes[field] = arguments[name]
    if "-dhcpen" in arguments:
        changes["ipMode"] = 1 if arguments["-dhcpen"] == "1" else 2
    if "-mac" in arguments:
        changes["mac"] = arguments["-mac"].replace(":", "")
    if "-port" in arguments:
        changes["httpPort"] = to_int(arguments["-port"], 80) & 0xFFFF
    return arguments, changes, length_ok


HDS_FORMATS = {
    "netconf": (r"netconf set -ipaddr (.*) -netmask (.*) -gateway (.*) -dhcp (.*) -fdnsip (.*) "
                r"-sdnsip (.*) -dnsstat (.*) -hwaddr (.*)"),
    "dnameset": r"dnameset set -name (.*)",
    "ddnsset": r"ddnsset set -fenable (.*) -fport (.*) -fuser (.*) -fpasswd (.*) -fhost (.*)",
    "httpport": r"httpport set -httpport (.*)",
}


def hds_command(text: str) -> tuple[dict, str, dict, bool]:
    """(headers, command line, changes, whether Content-Length is the command line's length)."""
    head, _, body = text.partition("\r\n\r\n")
    headers: dict = {}
    for line in head.split("\r\n")[1:]:
        name, sep, value = line.partition(":")
        if sep:
            headers.setdefault(name, value)
    line = body[:-4] if body.endswith("\r\n\r\n") else body.split("\r\n")[0]
    length_ok = headers.get("Content-Length") == str(len(enc(line))) and body.endswith("\r\n\r\n")
    changes: dict = {}
    for command, pattern in HDS_FORMATS.items():
        match = re.fullmatch(pattern, line)
        if not match:
            continue
        values = match.groups()
        if command == "netconf":
            changes = {"ip": values[0], "mask": values[1], "gateway": values[2],
                       "ipMode": 1 if values[3] == "on" else 2, "dns1": values[4], "dns2": values[5],
                       "dnsAuto": 1 if values[6] == "1" else 0, "mac": values[7]}
        elif command == "dnameset":
            changes = {"name": values[0]}
        elif command == "ddnsset":
            changes = {"ddnsEnabled": 1 if values[0] == "on" else 0, "ddnsPort": to_int(values[1], 808),
                       "ddnsUser": values[2], "ddnsPassword": values[3], "ddnsHost": values[4]}
        else:
            changes = {"httpPort": to_int(values[0], 80) & 0xFFFF}
        break
    return headers, line, changes, length_ok


def block6801_fields(block: bytes) -> dict:
    block = block[:128].ljust(128, b"\0")
    return {"ip": cstr(block[0:16]), "mask": cstr(block[16:32]), "gateway": cstr(block[32:48]),
            "dns1": cstr(block[48:64]), "dns2": cstr(block[64:80]),
            "httpPort": struct.unpack("<H", block[80:82])[0], "dataPort": struct.unpack("<H", block[86:88])[0],
            "mac": hex12(block[88:94]), "binWord": struct.unpack("<H", block[94:96])[0],
            "deviceId": block[96:103].hex().upper(), "ipMode": 1 if block[103] else 2,
            "name": cstr(block[104:128])}


def bin6801_setting(data: bytes) -> tuple[str, dict, int]:
    """(listed MAC key, changes from the edited block, listed block's byte 103) of 0x0F02."""
    listed = at(data, 8, 128)
    edited = block6801_fields(at(data, 136, 128))
    return hex12(listed[88:94]), edited, listed[103]


def dh_settings(data: bytes) -> tuple[str, dict, str, str]:
    """(MAC key, changes, user, password) of the 324-byte family-9 settings request."""
    changes = {"ip": cstr(at(data, 4, 16)), "mask": cstr(at(data, 20, 16)), "gateway": cstr(at(data, 36, 16)),
               "dns1": cstr(at(data, 52, 16)), "dns2": cstr(at(data, 68, 16)),
               "httpPort": struct.unpack("<H", at(data, 90, 2))[0], "name": cstr(at(data, 124, 80)),
               "ipMode": 1 if at(data, 301, 1)[0] == 1 else 2}
    return hex12(at(data, 84, 6)), changes, cstr(at(data, 236, 32)), cstr(at(data, 268, 32))


# ---------------------------------------------------------------------------------------------
# Standard discovery: WS-Discovery (ONVIF), SSDP/UPnP, mDNS/DNS-SD


PORT_WSD = 3702
PORT_SSDP = 1900
PORT_MDNS = 5353
SSDP_GROUP = "239.255.255.250"  # WS-Discovery uses the same group
MDNS_GROUP = "224.0.0.251"
STANDARD_PORTS = (PORT_WSD, PORT_SSDP, PORT_MDNS)
STANDARD_FAMILIES = {"onvif": 100, "upnp": 101, "mdns": 102}
STANDARD_KINDS = ("onvif", "upnp", "mdns")

NS_SOAP = "http://www.w3.org/2003/05/soap-envelope"
NS_WSA = "http://schemas.xmlsoap.org/ws/2004/08/addressing"
NS_WSD = "http://schemas.xmlsoap.org/ws/2005/04/discovery"
NS_DN = "http://www.onvif.org/ver10/network/wsdl"
NS_TDS = "http://www.onvif.org/ver10/device/wsdl"
NS_WSDP = "http://schemas.xmlsoap.org/ws/2006/02/devprof"
NS_PUB = "http://schemas.microsoft.com/windows/pub/2005/07"
WSD_PREFIXES = {"dn": NS_DN, "tds": NS_TDS, "wsdp": NS_WSDP, "pub": NS_PUB}
WSD_TO = "urn:schemas-xmlsoap-org:ws:2005:04:discovery"
WSA_ANONYMOUS = NS_WSA + "/role/anonymous"
WSD_ACTION = NS_WSD + "/"
APP_MAX_DELAY_MS = 500  # WS-Discovery: a Target Service waits a random time up to this before a ProbeMatch
ONVIF_TYPES = "dn:NetworkVideoTransmitter tds:Device"
ONVIF_PATH = "/onvif/device_service"
UPNP_PORT = 49152
UPNP_DEVICE_TYPE = "urn:schemas-upnp-org:device:Basic:1"
UPNP_SERVER = "Linux/5.10 UPnP/1.0 camsim/1.0"
MDNS_SERVICES = ("_http._tcp", "_axis-video._tcp")
MDNS_ENUMERATION = ("_services", "_dns-sd", "_udp", "local")
MDNS_SHARED_DELAY_MS = (20, 120)  # RFC 6762 section 6: answers with shared records wait 20-120 ms

DNS_A, DNS_PTR, DNS_TXT, DNS_SRV, DNS_ANY = 1, 12, 16, 33, 255
DNS_IN = 1
DNS_TOP_BIT = 0x8000  # cache-flush in an answer's class, unicast-response in a question's
DNS_TYPE_NAMES = {DNS_A: "A", DNS_PTR: "PTR", DNS_TXT: "TXT", DNS_SRV: "SRV", DNS_ANY: "ANY"}


def mac_lower_colons(text) -> str:
    return mac_colons(text).lower()


def standard_config(d: dict, kind: str) -> dict | None:
    """The device's settings for one standard protocol, or None when it does not speak it.
    A device of family 100/101/102 speaks its protocol unless the key is false; any device
    speaks a protocol whose key is true or an object."""
    value = d.get(kind)
    if value is False:
        return None
    if value is None or value is True:
        return {} if value is True or d.get("family") == STANDARD_FAMILIES[kind] else None
    return value if isinstance(value, dict) else None


def common_fields(d: dict) -> dict:
    """What every standard protocol tells of a device (top-level keys, with defaults)."""
    model = str(d.get("model", f"CS-{d['family']}"))
    return {"manufacturer": str(d.get("manufacturer", "Camsim")), "model": model,
            "hardware": str(d.get("hardware", model)), "serial": str(d.get("serial", mac_key(d["mac"])[:12])),
            "location": str(d.get("location", "city/Zadar")), "firmware": str(d["version"])}


def url_host(ip: str, port: int) -> str:
    return ip if to_int(port, 80) == 80 else f"{ip}:{port}"


def derived_uuid(kind: int, d: dict) -> str:
    return "5a0e%04x-0000-4000-8000-%s" % (kind, mac_key(d["mac"])[:12].lower().rjust(12, "0"))


def xml_text(text) -> str:
    return (str(text).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace('"', "&quot;"))


# WS-Discovery ------------------------------------------------------------------------------


def onvif_profile(d: dict) -> dict:
    """The resolved ONVIF settings of a device: endpoint, types, scopes, XAddrs and so on."""
    config = standard_config(d, "onvif") or {}
    common = common_fields(d)
    from urllib.parse import quote
    uuid = str(config.get("uuid", derived_uuid(0, d)))
    if not uuid.startswith("urn:"):
        uuid = "urn:uuid:" + uuid
    port = to_int(config.get("port", 80), 80)
    path = str(config.get("path", ONVIF_PATH))
    if "scopes" in config:
        scopes = [str(scope) for scope in config["scopes"]]
    else:
        scopes = ["onvif://www.onvif.org/type/video_encoder", "onvif://www.onvif.org/Profile/Streaming",
                  "onvif://www.onvif.org/name/" + quote(str(d["name"]), safe=""),
                  "onvif://www.onvif.org/hardware/" + quote(common["hardware"], safe=""),
                  "onvif://www.onvif.org/location/" + quote(common["location"], safe="/")]
        if config.get("macScope", True):
            scopes.append("onvif://www.onvif.org/MAC/" + mac_lower_colons(d["mac"]))
        if config.get("serialScope", True):
            scopes.append("onvif://www.onvif.org/serial/" + quote(common["serial"], safe=""))
    scopes += [str(scope) for scope in config.get("extraScopes", [])]
    xaddrs = config.get("xaddrs")
    if xaddrs is None:
        xaddrs = f"http://{url_host(str(config.get('xaddrIp', d['ip'])), port)}{path}"
    elif isinstance(xaddrs, list):
        xaddrs = " ".join(str(x) for x in xaddrs)
    return {"uuid": uuid, "types": str(config.get("types", ONVIF_TYPES)), "scopes": scopes,
            "xaddrs": str(xaddrs), "metadataVersion": to_int(config.get("metadataVersion", 1), 1),
            "port": port, "path": path, "maxDelayMs": config.get("maxDelayMs"),
            "hello": config.get("hello", True), "bye": config.get("bye", True), **common}


def wsd_envelope(header: str, body: str) -> bytes:
    namespaces = "".join(f' xmlns:{prefix}="{uri}"' for prefix, uri in WSD_PREFIXES.items())
    return enc('<?xml version="1.0" encoding="UTF-8"?>'
               f'<SOAP-ENV:Envelope xmlns:SOAP-ENV="{NS_SOAP}" xmlns:wsadis="{NS_WSA}" xmlns:d="{NS_WSD}"'
               f'{namespaces}><SOAP-ENV:Header>{header}</SOAP-ENV:Header>'
               f'<SOAP-ENV:Body>{body}</SOAP-ENV:Body></SOAP-ENV:Envelope>')


def wsd_header(action: str, message_id: str, to: str, instance: int, number: int, relates_to: str = "") -> str:
    relates = f"<wsadis:RelatesTo>{xml_text(relates_to)}</wsadis:RelatesTo>" if relates_to else ""
    return (f"<wsadis:MessageID>{xml_text(message_id)}</wsadis:MessageID>{relates}"
            f"<wsadis:To>{to}</wsadis:To><wsadis:Action>{WSD_ACTION}{action}</wsadis:Action>"
            f'<d:AppSequence InstanceId="{instance}" MessageNumber="{number}"/>')


def wsd_endpoint(profile: dict) -> str:
    return (f"<wsadis:EndpointReference><wsadis:Address>{xml_text(profile['uuid'])}</wsadis:Address>"
            f"</wsadis:EndpointReference>")


def wsd_description(profile: dict) -> str:
    """EndpointReference, Types, Scopes, XAddrs and MetadataVersion: a ProbeMatch's and a Hello's content."""
    return (wsd_endpoint(profile) + f"<d:Types>{xml_text(profile['types'])}</d:Types>"
            f"<d:Scopes>{xml_text(' '.join(profile['scopes']))}</d:Scopes>"
            f"<d:XAddrs>{xml_text(profile['xaddrs'])}</d:XAddrs>"
            f"<d:MetadataVersion>{profile['metadataVersion']}</d:MetadataVersion>")


def wsd_probe_matches(profile: dict, relates_to: str, message_id: str, instance: int, number: int) -> bytes:
    header = wsd_header("ProbeMatches", message_id, WSA_ANONYMOUS, instance, number, relates_to)
    return wsd_envelope(header, f"<d:ProbeMatches><d:ProbeMatch>{wsd_description(profile)}</d:ProbeMatch>"
                                f"</d:ProbeMatches>")


def wsd_hello(profile: dict, message_id: str, instance: int, number: int) -> bytes:
    return wsd_envelope(wsd_header("Hello", message_id, WSD_TO, instance, number),
                        f"<d:Hello>{wsd_description(profile)}</d:Hello>")


def wsd_bye(profile: dict, message_id: str, instance: int, number: int) -> bytes:
    return wsd_envelope(wsd_header("Bye", message_id, WSD_TO, instance, number),
                        f"<d:Bye>{wsd_endpoint(profile)}</d:Bye>")


def refuses_markup_declarations(data: bytes) -> bool:
    return b"<!DOCTYPE" in data or b"<!ENTITY" in data


def parse_wsd(data: bytes) -> dict | None:
    """A WS-Discovery 2005/04 message: action (the last path step: Probe, Hello, Bye, ...),
    messageId, and for a Probe its Types as (namespace, name) pairs and its Scopes. None when
    it is not one (other XML, other discovery versions, declarations, broken XML)."""
    import io
    import xml.etree.ElementTree as ET
    if refuses_markup_declarations(data):
        return None
    prefixes: dict[str, str] = {}
    root = None
    try:
        for event, item in ET.iterparse(io.BytesIO(data), events=("start-ns", "end")):
            if event == "start-ns":
                prefixes[item[0]] = item[1]
            else:
                root = item  # the last element to end is the root
    except ET.ParseError:
        return None
    if root is None:
        return None
    if root.tag != f"{{{NS_SOAP}}}Envelope":
        return None
    action = root.findtext(f"{{{NS_SOAP}}}Header/{{{NS_WSA}}}Action", "").strip()
    if not action.startswith(WSD_ACTION):
        return None
    message = {"action": action[len(WSD_ACTION):],
               "messageId": root.findtext(f"{{{NS_SOAP}}}Header/{{{NS_WSA}}}MessageID", "").strip(),
               "types": [], "scopes": [], "matchBy": ""}
    probe = root.find(f"{{{NS_SOAP}}}Body/{{{NS_WSD}}}Probe")
    if probe is not None:
        for qname in (probe.findtext(f"{{{NS_WSD}}}Types") or "").split():
            prefix, _, local = qname.rpartition(":")
            message["types"].append((prefixes.get(prefix, "?" + prefix), local))
        scopes = probe.find(f"{{{NS_WSD}}}Scopes")
        if scopes is not None:
            message["scopes"] = (scopes.text or "").split()
            message["matchBy"] = scopes.get("MatchBy", "")
    return message


def resolved_types(types: str) -> set[tuple[str, str]]:
    out = set()
    for qname in types.split():
        prefix, _, local = qname.rpartition(":")
        out.add((WSD_PREFIXES.get(prefix, prefix), local))
    return out


def scope_matches(wanted: str, scope: str, match_by: str) -> bool:
    if match_by.endswith("/strcmp0"):
        return wanted == scope
    wanted, scope = wanted.rstrip("/"), scope.rstrip("/")
    return scope == wanted or scope.startswith(wanted + "/")


def probe_matches_profile(probe: dict, profile: dict) -> bool:
    """Types: every wanted type is one of the device's (none wanted matches every device);
    Scopes: every wanted scope is a prefix, by whole path steps, of one of the device's."""
    if not set(probe["types"]) <= resolved_types(profile["types"]):
        return False
    return all(any(scope_matches(wanted, scope, probe["matchBy"]) for scope in profile["scopes"])
               for wanted in probe["scopes"])


# SSDP / UPnP -------------------------------------------------------------------------------


def upnp_profile(d: dict) -> dict:
    config = standard_config(d, "upnp") or {}
    common = common_fields(d)
    uuid = str(config.get("uuid", derived_uuid(1, d)))
    uuid = uuid[5:] if uuid.startswith("uuid:") else uuid
    port = to_int(config.get("port", UPNP_PORT), UPNP_PORT)
    path = str(config.get("path", f"/upnp/{uuid}/description.xml"))
    http = to_int(d.get("httpPort", 80), 80)
    return {"uuid": uuid, "deviceType": str(config.get("deviceType", UPNP_DEVICE_TYPE)),
            "services": [str(service) for service in config.get("services", [])],
            "friendlyName": str(config.get("friendlyName", d["name"])),
            "manufacturer": str(config.get("manufacturer", common["manufacturer"])),
            "manufacturerURL": str(config.get("manufacturerURL", "")),
            "modelDescription": str(config.get("modelDescription", "")),
            "modelName": str(config.get("modelName", common["model"])),
            "modelNumber": str(config.get("modelNumber", common["firmware"])),
            "serialNumber": str(config.get("serialNumber", common["serial"])),
            "presentationURL": str(config.get("presentationURL", f"http://{url_host(str(d['ip']), http)}/")),
            "port": port, "path": path,
            "location": str(config.get("location", f"http://{url_host(str(d['ip']), port)}{path}")),
            "server": str(config.get("server", UPNP_SERVER)), "maxAge": to_int(config.get("maxAge", 1800), 1800),
            "maxDelayMs": config.get("maxDelayMs"), "notify": config.get("notify", True),
            "description": config.get("description")}


def upnp_description(profile: dict) -> bytes:
    """The device description document served at LOCATION."""
    if profile["description"] is not None:
        return enc(profile["description"])
    fields = "".join(f"<{name}>{xml_text(profile[name])}</{name}>"
                     for name in ("deviceType", "friendlyName", "manufacturer", "manufacturerURL",
                                  "modelDescription", "modelName", "modelNumber", "serialNumber")
                     if profile[name] or name in ("deviceType", "friendlyName", "manufacturer", "modelName"))
    services = "".join(f"<service><serviceType>{xml_text(service)}</serviceType>"
                       f"<serviceId>urn:upnp-org:serviceId:{xml_text(service.split(':')[-2])}</serviceId>"
                       f"<SCPDURL>/upnp/scpd{index}.xml</SCPDURL><controlURL>/upnp/control{index}</controlURL>"
                       f"<eventSubURL>/upnp/event{index}</eventSubURL></service>"
                       for index, service in enumerate(profile["services"]))
    return enc('<?xml version="1.0" encoding="UTF-8"?>\r\n<root xmlns="urn:schemas-upnp-org:device-1-0">'
               "<specVersion><major>1</major><minor>0</minor></specVersion><device>"
               f"{fields}<UDN>uuid:{xml_text(profile['uuid'])}</UDN>"
               + (f"<serviceList>{services}</serviceList>" if services else "")
               + f"<presentationURL>{xml_text(profile['presentationURL'])}</presentationURL>"
               "</device></root>\r\n")


def upnp_targets(profile: dict) -> list[tuple[str, str]]:
    """(NT or ST, USN) of everything a root device announces: root, UUID, device type, services."""
    uuid = "uuid:" + profile["uuid"]
    targets = [("upnp:rootdevice", f"{uuid}::upnp:rootdevice"), (uuid, uuid),
               (profile["deviceType"], f"{uuid}::{profile['deviceType']}")]
    targets += [(service, f"{uuid}::{service}") for service in dict.fromkeys(profile["services"])]
    return targets


def upnp_search_targets(profile: dict, st: str) -> list[tuple[str, str]]:
    """(ST, USN) of the answers to an M-SEARCH for `st`. A device or service type is matched
    with any version up to the device's, and the answer repeats the version asked for."""
    targets = upnp_targets(profile)
    if st == "ssdp:all":
        return targets
    for target, usn in targets:
        if st == target:
            return [(target, usn)]
        if target.startswith("urn:") and st.startswith("urn:"):
            kind, _, version = target.rpartition(":")
            wanted_kind, _, wanted_version = st.rpartition(":")
            if kind == wanted_kind and wanted_version.isdigit() and version.isdigit() \
                    and int(wanted_version) <= int(version):
                return [(st, f"uuid:{profile['uuid']}::{st}")]
    return []


def http_date() -> str:
    return time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime())


def ssdp_response(profile: dict, st: str, usn: str) -> bytes:
    return enc(f"HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age={profile['maxAge']}\r\nDATE: {http_date()}\r\n"
               f"EXT:\r\nLOCATION: {profile['location']}\r\nSERVER: {profile['server']}\r\nST: {st}\r\n"
               f"USN: {usn}\r\n\r\n")


def ssdp_notify(profile: dict, nt: str, usn: str, alive: bool = True) -> bytes:
    if not alive:
        return enc(f"NOTIFY * HTTP/1.1\r\nHOST: {SSDP_GROUP}:{PORT_SSDP}\r\nNT: {nt}\r\nNTS: ssdp:byebye\r\n"
                   f"USN: {usn}\r\n\r\n")
    return enc(f"NOTIFY * HTTP/1.1\r\nHOST: {SSDP_GROUP}:{PORT_SSDP}\r\nCACHE-CONTROL: max-age={profile['maxAge']}"
               f"\r\nLOCATION: {profile['location']}\r\nNT: {nt}\r\nNTS: ssdp:alive\r\n"
               f"SERVER: {profile['server']}\r\nUSN: {usn}\r\n\r\n")


def parse_httpu(data: bytes) -> tuple[str, dict[str, str]] | None:
    """The start line and the headers (names upper-cased, first one wins) of an HTTPU message."""
    head, separator, _ = data.partition(b"\r\n\r\n")
    if not separator:
        return None
    lines = head.decode("latin-1").split("\r\n")
    headers: dict[str, str] = {}
    for line in lines[1:]:
        name, colon, value = line.partition(":")
        if colon:
            headers.setdefault(name.strip().upper(), value.strip())
    return lines[0], headers


# mDNS / DNS-SD ----------------------------------------------------------------------------


def labels_of(name: str) -> tuple[str, ...]:
    return tuple(label for label in name.rstrip(".").split(".") if label)


def name_key(labels) -> tuple[str, ...]:
    return tuple(label.lower() for label in labels)


def mdns_profile(d: dict) -> dict:
    config = standard_config(d, "mdns") or {}
    key = mac_key(d["mac"])[:12]
    instance = str(config.get("instance", d["name"]))
    host = str(config.get("host", re.sub(r"[^A-Za-z0-9-]", "-", str(d["name"])) + "-" + key[-6:].lower()))
    host = host[:-len(".local")] if host.endswith(".local") else host
    onvif = standard_config(d, "onvif")
    http = to_int(d.get("httpPort", 80), 80)
    default_ports = {"_http._tcp": http, "_axis-video._tcp": http, "_rtsp._tcp": 554,
                     "_onvif._tcp": to_int((onvif or {}).get("port", 80), 80)}
    ports = dict(default_ports)
    ports.update({str(k): to_int(v, 0) for k, v in config.get("ports", {}).items()})
    txt = config.get("txt", {"macaddress": key})
    return {"instance": instance, "host": host, "ip": str(config.get("ip", d["ip"])),
            "services": [str(service) for service in config.get("services", MDNS_SERVICES)],
            "ports": ports, "txt": txt, "ttl": to_int(config.get("ttl", 120), 120),
            "otherTtl": to_int(config.get("otherTtl", 4500), 4500),
            "maxDelayMs": config.get("maxDelayMs"), "announce": config.get("announce", True)}


def txt_strings(txt) -> list[bytes]:
    if isinstance(txt, dict):
        items = [enc(f"{k}={v}") if v is not None else enc(k) for k, v in txt.items()]
    else:
        items = [enc(item) for item in txt]
    return items or [b""]


class DnsWriter:
    """DNS message writer with name compression (RFC 1035 section 4.1.4)."""

    def __init__(self):
        self.out = bytearray()
        self.offsets: dict[tuple[str, ...], int] = {}

    def name(self, labels) -> None:
        labels = tuple(labels)
        for index in range(len(labels)):
            suffix = name_key(labels[index:])
            if suffix in self.offsets:
                self.out += struct.pack(">H", 0xC000 | self.offsets[suffix])
                return
            if len(self.out) < 0x3FFF:
                self.offsets[suffix] = len(self.out)
            raw = utf8_cut(labels[index], 63)
            self.out += bytes([len(raw)]) + raw
        self.out.append(0)

    def question(self, labels, qtype: int, qclass: int = DNS_IN) -> None:
        self.name(labels)
        self.out += struct.pack(">HH", qtype, qclass)

    def record(self, labels, rtype: int, rclass: int, ttl: int, rdata) -> None:
        """rdata: bytes, a tuple of labels (PTR), (priority, weight, port, target labels) (SRV),
        a list of byte strings (TXT) or an IPv4 text (A)."""
        self.name(labels)
        self.out += struct.pack(">HHIH", rtype, rclass, ttl, 0)
        start = len(self.out)
        if rtype == DNS_PTR:
            self.name(rdata)
        elif rtype == DNS_SRV:
            priority, weight, port, target = rdata
            self.out += struct.pack(">HHH", priority, weight, port)
            self.name(target)
        elif rtype == DNS_TXT:
            for item in rdata:
                item = item[:255]
                self.out += bytes([len(item)]) + item
        elif rtype == DNS_A:
            self.out += socket.inet_aton(rdata)
        else:
            self.out += rdata
        struct.pack_into(">H", self.out, start - 2, len(self.out) - start)


def dns_message(ident: int, flags: int, questions=(), answers=(), authority=(), additional=()) -> bytes:
    writer = DnsWriter()
    writer.out += struct.pack(">HHHHHH", ident, flags, len(questions), len(answers), len(authority),
                              len(additional))
    for question in questions:
        writer.question(*question)
    for record in (*answers, *authority, *additional):
        writer.record(*record)
    return bytes(writer.out)


def dns_read_name(data: bytes, offset: int) -> tuple[tuple[str, ...], int]:
    """The name at `offset` and the offset after it; pointers followed, loops and over-reads refused."""
    labels: list[str] = []
    after = None
    jumps = 0
    while True:
        if offset >= len(data):
            raise ValueError("name runs past the end")
        length = data[offset]
        if length & 0xC0 == 0xC0:
            if offset + 1 >= len(data):
                raise ValueError("pointer runs past the end")
            if after is None:
                after = offset + 2
            jumps += 1
            if jumps > 32:
                raise ValueError("compression pointer loop")
            offset = ((length & 0x3F) << 8) | data[offset + 1]
            continue
        if length & 0xC0:
            raise ValueError("reserved label type")
        if length == 0:
            return tuple(labels), after if after is not None else offset + 1
        if offset + 1 + length > len(data):
            raise ValueError("label runs past the end")
        labels.append(dec(data[offset + 1:offset + 1 + length]))
        if len(labels) > 128:
            raise ValueError("too many labels")
        offset += 1 + length


def dns_parse(data: bytes) -> dict:
    """A DNS message: id, flags, questions [(labels, type, class)] and the records of the three
    sections [{name, type, class, ttl, data}] with A, PTR, SRV and TXT data decoded."""
    if len(data) < 12:
        raise ValueError("shorter than a DNS header")
    ident, flags, qd, an, ns, ar = struct.unpack(">HHHHHH", data[:12])
    offset = 12
    questions = []
    for _ in range(qd):
        labels, offset = dns_read_name(data, offset)
        if offset + 4 > len(data):
            raise ValueError("question runs past the end")
        qtype, qclass = struct.unpack(">HH", data[offset:offset + 4])
        offset += 4
        questions.append((labels, qtype, qclass))
    sections = []
    for count in (an, ns, ar):
        records = []
        for _ in range(count):
            labels, offset = dns_read_name(data, offset)
            if offset + 10 > len(data):
                raise ValueError("record runs past the end")
            rtype, rclass, ttl, length = struct.unpack(">HHIH", data[offset:offset + 10])
            offset += 10
            if offset + length > len(data):
                raise ValueError("record data runs past the end")
            raw = data[offset:offset + length]
            value: object = raw
            if rtype == DNS_A and length == 4:
                value = socket.inet_ntoa(raw)
            elif rtype == DNS_PTR:
                value = dns_read_name(data, offset)[0]
            elif rtype == DNS_SRV and length >= 7:
                value = struct.unpack(">HHH", raw[:6]) + (dns_read_name(data, offset + 6)[0],)
            elif rtype == DNS_TXT:
                items, at_ = [], 0
                while at_ < len(raw):
                    items.append(raw[at_ + 1:at_ + 1 + raw[at_]])
                    at_ += 1 + raw[at_]
                value = items
            records.append({"name": labels, "type": rtype, "class": rclass, "ttl": ttl, "data": value})
            offset += length
        sections.append(records)
    return {"id": ident, "flags": flags, "questions": questions, "answers": sections[0],
            "authority": sections[1], "additional": sections[2]}


def mdns_records(profile: dict) -> dict:
    """Every record of one responder, by kind: enumeration PTRs, service PTRs, SRV, TXT, A."""
    host = (profile["host"], "local")
    out: dict = {"enum": [], "ptr": [], "srv": [], "txt": [], "a": []}
    txt = txt_strings(profile["txt"])
    for service in profile["services"]:
        type_labels = (*labels_of(service), "local")
        instance = (profile["instance"], *type_labels)
        out["enum"].append((MDNS_ENUMERATION, DNS_PTR, type_labels))
        out["ptr"].append((type_labels, DNS_PTR, instance))
        out["srv"].append((instance, DNS_SRV, (0, 0, profile["ports"].get(service, 0), host)))
        out["txt"].append((instance, DNS_TXT, txt))
    out["a"].append((host, DNS_A, profile["ip"]))
    return out


def mdns_answer(profile: dict, questions, records: dict | None = None) -> tuple[list, list, bool]:
    """(answers, additional records, whether a shared record is among the answers) for the
    questions that this responder can answer; records as (labels, type, data)."""
    records = records or mdns_records(profile)
    answers: list = []
    additional: list = []
    shared = False

    def add(target: list, record) -> None:
        if all(name_key(record[0]) != name_key(r[0]) or record[1] != r[1] or record[2] != r[2]
               for r in answers + additional):
            target.append(record)

    for labels, qtype, _qclass in questions:
        key = name_key(labels)
        wants = lambda rtype: qtype in (rtype, DNS_ANY)  # noqa: E731
        if key == MDNS_ENUMERATION and wants(DNS_PTR):
            for record in records["enum"]:
                add(answers, record)
                shared = True
        for index, (type_labels, _, instance) in enumerate(records["ptr"]):
            if key == name_key(type_labels) and wants(DNS_PTR):
                add(answers, records["ptr"][index])
                shared = True
                add(additional, records["srv"][index])
                add(additional, records["txt"][index])
                add(additional, records["a"][0])
            if key == name_key(instance):
                if wants(DNS_SRV):
                    add(answers, records["srv"][index])
                    add(additional, records["a"][0])
                if wants(DNS_TXT):
                    add(answers, records["txt"][index])
        if key == name_key(records["a"][0][0]) and wants(DNS_A):
            add(answers, records["a"][0])
    additional = [record for record in additional if record not in answers]
    return answers, additional, shared


def mdns_response(profile: dict, answers, additional, ident: int = 0, questions=(), legacy: bool = False,
                  ttl: int | None = None) -> bytes:
    """The response packet: in a legacy unicast answer the query's ID and questions are echoed,
    the cache-flush bit is never set and TTLs are at most 10 s (RFC 6762 section 6.7)."""
    def full(record):
        labels, rtype, data = record
        shared = rtype == DNS_PTR
        rclass = DNS_IN | (0 if shared or legacy else DNS_TOP_BIT)
        record_ttl = ttl if ttl is not None else profile["ttl" if rtype in (DNS_SRV, DNS_A) else "otherTtl"]
        if legacy:
            record_ttl = min(record_ttl, 10)
        return labels, rtype, rclass, record_ttl, data

    return dns_message(ident, 0x8400, [(q[0], q[1], q[2] & 0x7FFF) for q in questions] if legacy else (),
                       [full(r) for r in answers], (), [full(r) for r in additional])


def mdns_announcement(profile: dict, goodbye: bool = False) -> bytes:
    """Unsolicited response with every record (TTL 0 for a goodbye)."""
    records = mdns_records(profile)
    answers = records["ptr"] + records["srv"] + records["txt"] + records["a"] + records["enum"]
    return mdns_response(profile, answers, [], ttl=0 if goodbye else None)


def classify_standard(port: int, data: bytes) -> str:
    if port == PORT_WSD:
        match = re.search(rb"Action[^>]*>\s*http://schemas\.xmlsoap\.org/ws/2005/04/discovery/(\w+)\s*<", data)
        if not match:
            return "other"
        action = match.group(1).decode()
        return {"Probe": "query:wsd-probe", "Hello": "wsd:hello", "Bye": "wsd:bye"}.get(action, "wsd:other")
    if port == PORT_SSDP:
        for prefix, what in ((b"M-SEARCH * HTTP/1.1\r\n", "query:ssdp"), (b"NOTIFY * HTTP/1.1\r\n", "ssdp:notify"),
                             (b"HTTP/1.1 200", "ssdp:response")):
            if data.startswith(prefix):
                return what
        return "other"
    if port == PORT_MDNS:
        if len(data) < 12:
            return "other"
        return "mdns:response" if data[2] & 0x80 else "query:mdns"
    return "other"


SIMULATOR = None  # the running simulator, for the device-service module's announce()/bye()


def announce(camera_state: dict, delay_ms: float = 0) -> bool:
    """Announce the device whose live state this is at its current settings: an ONVIF Hello, the
    SSDP ssdp:alive set and an mDNS announcement, for the protocols it speaks. For the ONVIF
    device service (camsim_onvif.py) after it changed the address, or after a simulated reboot."""
    simulator = SIMULATOR
    device = simulator.device_of_state(camera_state) if simulator else None
    if device is None:
        return False
    with simulator.lock:
        device.cache.clear()
        simulator.reindex()
    simulator.announce(device, delay_ms=delay_ms)
    return True


def bye(camera_state: dict) -> bool:
    """An ONVIF Bye, ssdp:byebye and an mDNS goodbye for the device whose live state this is."""
    simulator = SIMULATOR
    device = simulator.device_of_state(camera_state) if simulator else None
    if device is None:
        return False
    simulator.retire(device)
    return True


class StandardsMixin:
    """The simulator's standard-discovery side: WS-Discovery, SSDP and mDNS answers and
    announcements, the UPnP description and the ONVIF device-service hook."""

    def standards_init(self) -> None:
        self.instance_id = int(time.time())
        self.by_standard: dict[str, list] = {kind: [] for kind in STANDARD_KINDS}
        self.routes: dict[tuple[int, str], list] = {}
        self.current_destination: str | None = None
        self.standards_started = False
        self.onvif_hook = None
        self.onvif_hook_loaded = False
        self.state_lock = threading.Lock()

    # devices ---------------------------------------------------------------------------------

    def profile(self, device, kind: str) -> dict:
        return device.reply("profile:" + kind, {"onvif": onvif_profile, "upnp": upnp_profile,
                                                "mdns": mdns_profile}[kind])

    def speaks(self, device, kind: str) -> bool:
        return standard_config(device.d, kind) is not None

    def reindex_standards(self) -> None:
        self.by_standard = {kind: [] for kind in STANDARD_KINDS}
        routes: dict[tuple[int, str], list] = {}
        for device in self.devices + self.generated:
            if device.silent:
                continue
            for kind in STANDARD_KINDS:
                if self.speaks(device, kind):
                    self.by_standard[kind].append(device)
                    if kind in ("onvif", "upnp"):
                        profile = self.profile(device, kind)
                        routes.setdefault((profile["port"], profile["path"]), []).append((kind, device))
        self.routes = routes

    def standard_http_ports(self) -> set[int]:
        with self.lock:
            return {port for port, _ in self.routes if 0 < port < 65536}

    def device_of_state(self, camera_state: dict):
        with self.lock:
            return next((device for device in self.devices + self.generated if device.d is camera_state), None)

    def generate_standard(self, kind: str, count: int) -> None:
        code = {"onvif": 0x10, "upnp": 0x11, "mdns": 0x12}[kind]
        for number in range(count):
            mac = "02:5B:%02X:%02X:%02X:%02X" % (code, (number >> 16) & 0xFF, (number >> 8) & 0xFF, number & 0xFF)
            config = {"path": f"{ONVIF_PATH}/{number}"} if kind == "onvif" else {}
            entry = {"family": STANDARD_FAMILIES[kind], "mac": mac, "name": f"{kind}{number}", kind: config}
            self.generated.append(Device(entry, 200000 + number, self.address, generated=True))
        self.reindex()

    # sockets and sending -----------------------------------------------------------------------

    def open_standard_sockets(self) -> None:
        for port, group, ttl in ((PORT_WSD, SSDP_GROUP, 1), (PORT_SSDP, SSDP_GROUP, 2), (PORT_MDNS, MDNS_GROUP, 255)):
            sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            sock.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
            for size in (4 << 20, 1 << 20):
                try:
                    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, size)
                    sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, size)
                    break
                except OSError:
                    continue
            sock.bind(("0.0.0.0", port))
            for _, address, _ in self.addresses or [("", self.address, 32)]:
                try:
                    sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                                    socket.inet_aton(group) + socket.inet_aton(address))
                except OSError:
                    pass
            sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(self.address))
            sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, ttl)
            sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 0)
            sock.setblocking(False)
            self.sockets[port] = sock

    def source_for(self, device) -> str | None:
        """The device's own address as the source of its datagrams when the namespace has it
        (--add-addresses); None lets the kernel choose (the namespace's address)."""
        ip = str(device.d.get("ip", ""))
        if ip == self.address:
            return None
        return ip if ip in self.added_addresses or any(ip == a for _, a, _ in self.addresses) else None

    def standard_delay(self, device_max, low: float, high: float) -> float:
        """Milliseconds to wait before an answer: --max-delay-ms, else the device's maxDelayMs
        (a random time up to it), else a random time in [low, high]."""
        limit = self.args.max_delay_ms if self.args.max_delay_ms is not None else device_max
        if limit is not None:
            limit = float(limit)
            return random.uniform(0, limit) if limit > 0 else 0.0
        return random.uniform(low, high) if high > 0 else 0.0

    def post(self, port: int, data: bytes, address, source: str | None = None, delay_ms: float = 0,
             immediate: bool = False) -> None:
        """Send from any thread: at once (immediate), or through the paced queue after delay_ms
        (so that thousands of announcements do not leave in one burst)."""
        sock = self.sockets.get(port)
        if sock is None:
            return
        if immediate:
            try:
                transmit(sock, data, address, source)
            except OSError as error:
                self.log({"kind": "send-error", "t": time.time(), "to": list(address), "error": str(error)})
            return
        if delay_ms > 0:
            timer = threading.Timer(delay_ms / 1000.0, self.queue.append, ((sock, data, address, source),))
            timer.daemon = True
            timer.start()
        else:
            self.queue.append((sock, data, address, source))

    def next_number(self, device) -> int:
        device.sequence = getattr(device, "sequence", 0) + 1
        return device.sequence

    # announcements -----------------------------------------------------------------------------

    def announce(self, device, delay_ms: float = 0, immediate: bool = False) -> None:
        """Hello, ssdp:alive and the mDNS announcement of one device (the protocols it speaks)."""
        if device.silent:
            return
        source = self.source_for(device)
        device.announcements = getattr(device, "announcements", 0) + 1
        kinds = []
        if self.speaks(device, "onvif") and self.profile(device, "onvif")["hello"]:
            message = wsd_hello(self.profile(device, "onvif"), "urn:uuid:" + str(uuid_module.uuid4()),
                                self.instance_id, self.next_number(device))
            self.post(PORT_WSD, message, (SSDP_GROUP, PORT_WSD), source, delay_ms, immediate)
            kinds.append("hello")
        if self.speaks(device, "upnp") and self.profile(device, "upnp")["notify"]:
            profile = self.profile(device, "upnp")
            for nt, usn in upnp_targets(profile):
                self.post(PORT_SSDP, ssdp_notify(profile, nt, usn), (SSDP_GROUP, PORT_SSDP), source, delay_ms, immediate)
            kinds.append("ssdp:alive")
        if self.speaks(device, "mdns") and self.profile(device, "mdns")["announce"]:
            self.post(PORT_MDNS, mdns_announcement(self.profile(device, "mdns")), (MDNS_GROUP, PORT_MDNS), source,
                      delay_ms, immediate)
            kinds.append("mdns:announce")
        if kinds:
            self.log({"kind": "announce", "t": time.time(), "device": device.key, "what": kinds})

    def retire(self, device, immediate: bool = False) -> None:
        """Bye, ssdp:byebye and the mDNS goodbye of one device."""
        source = self.source_for(device)
        kinds = []
        if self.speaks(device, "onvif") and self.profile(device, "onvif")["bye"]:
            message = wsd_bye(self.profile(device, "onvif"), "urn:uuid:" + str(uuid_module.uuid4()),
                              self.instance_id, self.next_number(device))
            self.post(PORT_WSD, message, (SSDP_GROUP, PORT_WSD), source, immediate=immediate)
            kinds.append("bye")
        if self.speaks(device, "upnp") and self.profile(device, "upnp")["notify"]:
            profile = self.profile(device, "upnp")
            for nt, usn in upnp_targets(profile):
                self.post(PORT_SSDP, ssdp_notify(profile, nt, usn, alive=False), (SSDP_GROUP, PORT_SSDP), source,
                          immediate=immediate)
            kinds.append("ssdp:byebye")
        if self.speaks(device, "mdns") and self.profile(device, "mdns")["announce"]:
            self.post(PORT_MDNS, mdns_announcement(self.profile(device, "mdns"), goodbye=True),
                      (MDNS_GROUP, PORT_MDNS), source, immediate=immediate)
            kinds.append("mdns:goodbye")
        if kinds:
            self.log({"kind": "retire", "t": time.time(), "device": device.key, "what": kinds})

    def start_standards(self) -> None:
        self.standards_started = True
        for device in self.devices + self.generated:
            self.announce(device)

    def stop_standards(self) -> None:
        if not self.standards_started:
            return
        self.standards_started = False
        for device in self.devices + self.generated:
            if not device.silent:
                self.retire(device, immediate=True)

    def standards_reloaded(self, before: list) -> None:
        """After a reload: the devices that left (or fell silent) say goodbye, new ones announce."""
        if not self.standards_started:
            return
        now = set(map(id, self.devices))
        for device in before:
            if id(device) not in now and not device.silent:
                self.retire(device)
        earlier = set(map(id, before))
        for device in self.devices:
            if id(device) not in earlier:
                self.announce(device)

    # queries -----------------------------------------------------------------------------------

    def multicast_query(self) -> bool:
        destination = self.current_destination or ""
        return destination.startswith(("224.", "239.")) or destination == "255.255.255.255"

    def on_query_wsd_probe(self, port, data, source):
        probe = parse_wsd(data)
        if probe is None or probe["action"] != "Probe":
            return {"error": "not a WS-Discovery Probe"}
        multicast = self.multicast_query()
        matched = 0
        for device in self.by_standard["onvif"]:
            profile = self.profile(device, "onvif")
            if not probe_matches_profile(probe, profile):
                continue
            matched += 1
            message = wsd_probe_matches(profile, probe["messageId"], "urn:uuid:" + str(uuid_module.uuid4()),
                                        self.instance_id, self.next_number(device))
            delay = self.standard_delay(profile["maxDelayMs"], 0, APP_MAX_DELAY_MS) if multicast else 0
            self.send(port, message, source, delay_ms=delay, source_ip=self.source_for(device), paced=True)
        return {"messageId": probe["messageId"], "types": [":".join(t) for t in probe["types"]],
                "scopes": probe["scopes"], "matched": matched}

    def on_query_ssdp(self, port, data, source):
        parsed = parse_httpu(data)
        if parsed is None:
            return {"error": "no end of head"}
        _, headers = parsed
        st, man, mx = headers.get("ST", ""), headers.get("MAN", ""), headers.get("MX")
        multicast = self.multicast_query()
        notes = {"st": st, "mx": mx}
        if man.strip('"') != "ssdp:discover" or not st or (multicast and (mx is None or not mx.isdigit())):
            notes["error"] = "not a valid M-SEARCH"
            return notes
        window = min(int(mx), 5) * 1000 if multicast else 0
        matched = 0
        for device in self.by_standard["upnp"]:
            profile = self.profile(device, "upnp")
            targets = upnp_search_targets(profile, st)
            if not targets:
                continue
            matched += 1
            delay = self.standard_delay(profile["maxDelayMs"], 0, window) if multicast else 0
            for target, usn in targets:
                self.send(port, ssdp_response(profile, target, usn), source, delay_ms=delay,
                          source_ip=self.source_for(device), paced=True)
        notes["matched"] = matched
        return notes

    def on_query_mdns(self, port, data, source):
        try:
            message = dns_parse(data)
        except ValueError as error:
            return {"error": str(error)}
        questions = message["questions"]
        legacy = source[1] != PORT_MDNS
        unicast = legacy or (questions and all(q[2] & DNS_TOP_BIT for q in questions))
        matched = 0
        for device in self.by_standard["mdns"]:
            profile = self.profile(device, "mdns")
            records = device.reply("mdns-records", lambda _d: mdns_records(profile))
            answers, additional, shared = mdns_answer(profile, questions, records)
            if not answers:
                continue
            matched += 1
            packet = mdns_response(profile, answers, additional, ident=message["id"] if legacy else 0,
                                   questions=questions if legacy else (), legacy=legacy)
            to = source if legacy else ((source[0], PORT_MDNS) if unicast else (MDNS_GROUP, PORT_MDNS))
            low, high = MDNS_SHARED_DELAY_MS if shared else (0, 0)
            self.send(port, packet, to, delay_ms=self.standard_delay(profile["maxDelayMs"], low, high),
                      source_ip=self.source_for(device), paced=True)
        return {"questions": [[".".join(q[0]), DNS_TYPE_NAMES.get(q[1], q[1])] for q in questions],
                "legacy": legacy, "matched": matched}

    # HTTP: the UPnP description and the ONVIF device service ------------------------------------

    def onvif_service(self):
        """handle_device_service of tests/e2e/camsim_onvif.py when that module exists."""
        if not self.onvif_hook_loaded:
            self.onvif_hook_loaded = True
            try:
                import camsim_onvif  # noqa: F401 (optional: written separately)
                self.onvif_hook = getattr(camsim_onvif, "handle_device_service", None)
            except ImportError:
                self.onvif_hook = None
            except Exception as error:  # a broken module must not stop the simulator
                self.log({"kind": "onvif-hook-error", "t": time.time(), "error": repr(error)})
                self.onvif_hook = None
        return self.onvif_hook

    def announced_identity(self, device) -> str:
        return json.dumps([self.profile(device, kind) if self.speaks(device, kind) else None
                           for kind in STANDARD_KINDS], sort_keys=True, default=str) + str(device.d.get("ip"))

    def standard_http(self, port: int, method: str, path: str, host: str, headers: dict, body: bytes):
        """(status, headers, body, device key) when `path` on `port` is a standard device's, else None."""
        with self.lock:
            candidates = self.routes.get((port, path))
        if not candidates:
            return None
        host_ip = host.rsplit(":", 1)[0] if ":" in host else host
        kind, device = next(((k, d) for k, d in candidates if d.d["ip"] == host_ip), candidates[0])
        if kind == "upnp":
            if method not in ("GET", "HEAD"):
                return 405, {"Allow": "GET, HEAD"}, b"", device.key
            return (200, {"Content-Type": 'text/xml; charset="utf-8"'}, upnp_description(self.profile(device, "upnp")),
                    device.key)
        if method != "POST":
            return 405, {"Allow": "POST"}, b"", device.key
        hook = self.onvif_service()
        if hook is None:
            return 503, {"Content-Type": "text/plain"}, b"device service not available\n", device.key
        with self.lock:
            before = self.announced_identity(device)
            announcements = getattr(device, "announcements", 0)
            status, answer_headers, content = hook(device.d, path, headers, body)
            device.cache.clear()
            changed = self.announced_identity(device) != before
            if changed and self.speaks(device, "onvif"):
                config = standard_config(device.d, "onvif") or {}
                device.d["onvif"] = dict(config, metadataVersion=to_int(config.get("metadataVersion", 1), 1) + 1)
                device.cache.clear()
            self.reindex()
        self.after_change()
        if changed and getattr(device, "announcements", 0) == announcements:
            self.announce(device)
        return status, dict(answer_headers or {}), bytes(content or b""), device.key


def transmit(sock, data: bytes, address, source: str | None) -> None:
    """sendto, or with a chosen source address (IP_PKTINFO's ipi_spec_dst) when given."""
    if source:
        sock.sendmsg([data], [(socket.IPPROTO_IP, IP_PKTINFO,
                               struct.pack("@i4s4s", 0, socket.inet_aton(source), bytes(4)))], 0, address)
    else:
        sock.sendto(data, address)


# ---------------------------------------------------------------------------------------------
# The simulator


def local_addresses() -> list[tuple[str, str, int]]:
    """(interface, address, prefix length) of the namespace's global IPv4 addresses."""
    try:
        listing = subprocess.run(["ip", "-o", "-4", "addr", "show", "scope", "global"], capture_output=True,
                                 text=True, timeout=10).stdout
    except (OSError, subprocess.SubprocessError):
        return []
    found = []
    for line in listing.splitlines():
        match = re.search(r"^\d+:\s+(\S+)\s+inet\s+(\d+\.\d+\.\d+\.\d+)/(\d+)", line)
        if match:
            found.append((match.group(1).split("@")[0], match.group(2), int(match.group(3))))
    return found


def in_own_namespace() -> bool:
    """True inside a namespace the harness made (named zadari-e2e-...), never on the host's own."""
    try:
        name = subprocess.run(["ip", "netns", "identify", str(os.getpid())], capture_output=True, text=True,
                              timeout=10).stdout.strip()
    except (OSError, subprocess.SubprocessError):
        return False
    return name.startswith(NAMESPACE_PREFIX)


class Simulator(StandardsMixin):
    def __init__(self, args):
        self.args = args
        self.addresses = local_addresses()
        self.address = args.address or (self.addresses[0][1] if self.addresses else "127.0.0.1")
        self.devices: list[Device] = []
        self.generated: list[Device] = []
        self.by_key: dict[str, Device] = {}
        self.by_family: dict[int, list[Device]] = {}
        self.lock = threading.RLock()
        self.log_file = open(args.log, "a", buffering=1) if args.log else None
        self.log_lock = threading.Lock()
        self.mtime = None
        self.sockets: dict[int, socket.socket] = {}
        self.queue: deque = deque()
        self.urgent: deque = deque()
        self.delayed: list = []
        self.delay_seq = 0
        self.blocked: socket.socket | None = None
        self.rate = max(0, args.rate)
        self.tokens = float(min(self.rate, 64)) if self.rate else 0.0
        self.last_refill = time.monotonic()
        self.pending_log: list[dict] = []
        self.added_addresses: set[str] = set()
        self.http = None
        self.standards_init()

    # logging and state -----------------------------------------------------------------------

    def log(self, entry: dict) -> None:
        if self.log_file is None:
            return
        line = json.dumps(entry) + "\n"
        with self.log_lock:
            self.log_file.write(line)
            self.log_file.flush()

    def write_state(self) -> None:
        if not self.args.state:
            return
        with self.lock:
            state = [device.public() for device in self.devices + self.generated]
        with self.state_lock:  # the HTTP threads write it too (the ONVIF device service)
            temporary = self.args.state + ".tmp"
            with open(temporary, "w") as handle:
                json.dump(state, handle, indent=1)
            os.replace(temporary, self.args.state)

    # devices -----------------------------------------------------------------------------------

    def read_entries(self) -> list[dict]:
        with open(self.args.devices, "r") as handle:
            loaded = json.load(handle)
        if isinstance(loaded, dict):
            loaded = loaded.get("devices", [])
        if not isinstance(loaded, list) or not all(isinstance(entry, dict) for entry in loaded):
            raise ValueError("the device description must be a list of objects")
        return loaded

    def load(self) -> None:
        try:
            self.mtime = os.stat(self.args.devices).st_mtime_ns
            entries = self.read_entries()
        except (OSError, ValueError) as error:
            self.log({"kind": "reload-error", "t": time.time(), "error": str(error)})
            return
        with self.lock:
            before = list(self.devices)
            previous: dict[str, list[Device]] = {}
            for device in self.devices:
                previous.setdefault(device.entry_key, []).append(device)
            devices = []
            for index, entry in enumerate(entries):
                kept = previous.get(canonical(entry))
                devices.append(kept.pop(0) if kept else Device(entry, index, self.address))
            self.devices = devices
            self.reindex()
        self.log({"kind": "reload", "t": time.time(), "devices": len(self.devices) + len(self.generated)})
        self.after_change()
        self.standards_reloaded(before)

    def generate(self, count: int) -> None:
        base = int(ipaddress.IPv4Address(self.args.generate_base))
        for number in range(count):
            family = GENERATED_FAMILIES[number % len(GENERATED_FAMILIES)]
            index = 100000 + number
            entry = {"family": family, "ip": str(ipaddress.IPv4Address(base + number)), "name": f"sim{number}"}
            device = Device(entry, index, self.address, generated=True)
            if family == 8:
                device.d["version"] = f"10.1.{number}"
            self.generated.append(device)
        self.reindex()

    def reindex(self) -> None:
        self.by_key = {}
        self.by_family = {}
        for device in self.devices + self.generated:
            self.by_key.setdefault(device.key, device)
            self.by_family.setdefault(device.family, []).append(device)
        self.reindex_standards()

    def find(self, family_set, key: str | None = None, device_id: str | None = None) -> Device | None:
        if key is not None:
            device = self.by_key.get(mac_key(key))
            if device is not None and device.family in family_set:
                return device
            for device in self.devices + self.generated:  # a second device with the same MAC
                if device.family in family_set and device.key == mac_key(key):
                    return device
        if device_id is not None:
            for device in self.devices + self.generated:
                if device.family in family_set and str(device.d["deviceId"]) == device_id:
                    return device
        return None

    def answering(self, family: int) -> list[Device]:
        return [device for device in self.by_family.get(family, []) if not device.silent]

    def after_change(self) -> None:
        self.write_state()
        if self.args.add_addresses:
            self.add_addresses()
        self.ensure_http()

    def ensure_http(self) -> None:
        """HTTP servers for every device port (--http) and for the standard devices' services."""
        ports = (self.http_ports() if self.args.http else set()) | self.standard_http_ports()
        if not ports and self.http is None:
            return
        if self.http is None:
            self.http = HttpFront(self)
        self.http.ensure(ports)

    def add_addresses(self) -> None:
        for interface, address, prefix in self.addresses[:1]:
            network = ipaddress.ip_network(f"{address}/{prefix}", strict=False)
            for device in self.devices:
                ip = str(device.d["ip"])
                try:
                    inside = ipaddress.IPv4Address(ip) in network
                except ValueError:
                    continue
                if inside and ip != address and ip not in self.added_addresses:
                    subprocess.run(["ip", "addr", "add", f"{ip}/32", "dev", interface], capture_output=True)
                    self.added_addresses.add(ip)

    def http_ports(self) -> set[int]:
        with self.lock:
            ports = {to_int(device.d["httpPort"], 80) for device in self.devices + self.generated}
            if any(device.family in (3, 9) for device in self.devices + self.generated):
                ports.add(PORT_DH)
        return {port for port in ports if 0 < port < 65536}

    # sockets -----------------------------------------------------------------------------------

    def open_sockets(self) -> None:
        for port in ALL_PORTS:
            sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
            sock.setsockopt(socket.IPPROTO_IP, IP_PKTINFO, 1)
            for size in (4 << 20, 1 << 20):
                try:
                    sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, size)
                    sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, size)
                    break
                except OSError:
                    continue
            sock.bind(("0.0.0.0", port))
            if port == PORT_HDS:
                joined = False
                for _, address, _ in self.addresses or [("", self.address, 32)]:
                    try:
                        sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                                        socket.inet_aton(HDS_GROUP) + socket.inet_aton(address))
                        joined = True
                    except OSError:
                        pass
                if not joined:
                    raise OSError(f"could not join {HDS_GROUP}")
                sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(self.address))
                sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 2)
                sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 0)
            sock.setblocking(False)
            self.sockets[port] = sock

    def send(self, port: int, data: bytes, address: tuple[str, int], urgent: bool = False,
             delay_ms: float = 0, source_ip: str | None = None, paced: bool = False) -> None:
        """Queue a datagram. delay_ms holds it back; after the delay it goes out at once, or
        through the paced queue when `paced`. source_ip picks the source address."""
        sock = self.sockets[port]
        if delay_ms > 0:
            self.delay_seq += 1
            heapq.heappush(self.delayed, (time.monotonic() + delay_ms / 1000.0, self.delay_seq, sock, data, address,
                                          source_ip, paced))
        elif urgent:
            self.urgent.append((sock, data, address, source_ip))
        else:
            self.queue.append((sock, data, address, source_ip))

    def pump(self) -> None:
        now = time.monotonic()
        while self.delayed and self.delayed[0][0] <= now:
            _, _, sock, data, address, source_ip, paced = heapq.heappop(self.delayed)
            (self.queue if paced else self.urgent).append((sock, data, address, source_ip))
        if self.rate:
            self.tokens = min(max(64.0, self.rate / 50.0), self.tokens + (now - self.last_refill) * self.rate)
        self.last_refill = now
        self.blocked = None
        for queue, paced in ((self.urgent, False), (self.queue, True)):
            while queue:
                if paced and self.rate and self.tokens < 1:
                    return
                sock, data, address, source_ip = queue[0]
                try:
                    transmit(sock, data, address, source_ip)
                except BlockingIOError:
                    self.blocked = sock
                    return
                except OSError as error:
                    self.log({"kind": "send-error", "t": time.time(), "to": list(address), "error": str(error)})
                queue.popleft()
                if paced and self.rate:
                    self.tokens -= 1

    def timeout(self) -> float:
        wait = 0.25
        if self.urgent or (self.queue and not self.rate):
            wait = 0.0 if self.blocked is None else 0.25
        elif self.queue:
            wait = 0.0 if self.tokens >= 1 else (1 - self.tokens) / self.rate
        if self.delayed:
            wait = min(wait, max(0.0, self.delayed[0][0] - time.monotonic()))
        return wait

    def receive(self, port: int, sock: socket.socket) -> None:
        for _ in range(512):
            try:
                data, ancillary, _flags, source = sock.recvmsg(65535, socket.CMSG_SPACE(12))
            except (BlockingIOError, InterruptedError):
                return
            except OSError:
                return
            destination = None
            for level, kind, payload in ancillary:
                if level == socket.IPPROTO_IP and kind == IP_PKTINFO and len(payload) >= 12:
                    destination = socket.inet_ntoa(payload[8:12])
            received = time.time()
            self.pending_log = []
            self.current_destination = destination
            try:
                what, notes = self.handle(port, data, source)
            except Exception as error:  # a malformed datagram must never stop the simulator
                what, notes = "other", {"error": repr(error)}
            entry = {"kind": "rx", "t": received, "port": port, "src": source[0], "sport": source[1],
                     "dst": destination, "len": len(data), "hex": data.hex().upper(), "what": what}
            entry.update(notes)
            self.log(entry)
            for pending in self.pending_log:
                self.log(pending)
            self.pending_log = []

    def run(self) -> None:
        next_check = 0.0
        parent = os.getppid()
        while True:
            now = time.monotonic()
            if now >= next_check:
                next_check = now + 0.2
                if os.getppid() != parent:
                    return  # the test that started us is gone (killed by a time-out): do not linger
                try:
                    mtime = os.stat(self.args.devices).st_mtime_ns
                except OSError:
                    mtime = self.mtime
                if mtime != self.mtime:
                    self.load()
            writable = [self.blocked] if self.blocked is not None else []
            readable, _, _ = select.select(list(self.sockets.values()), writable, [],
                                           min(self.timeout(), max(0.0, next_check - now)))
            for sock in readable:
                self.receive(sock.getsockname()[1], sock)
            self.pump()

    # handling ------------------------------------------------------------------------------------

    def applied(self, what: str, family: int | None, device: Device | None, changes: dict,
                applied: bool, reason: str = "", **extra) -> None:
        entry = {"kind": "apply", "t": time.time(), "what": what, "family": family,
                 "device": device.key if device else None, "applied": applied, "reason": reason,
                 "changes": changes}
        entry.update(extra)
        self.pending_log.append(entry)

    def apply(self, what: str, device: Device | None, changes: dict, credentials=None, **extra) -> bool:
        if device is None:
            self.applied(what, None, None, changes, False, "no such device", **extra)
            return False
        if device.silent:
            self.applied(what, device.family, device, changes, False, "silent", **extra)
            return False
        if credentials is not None:
            user, password = credentials
            wanted_user, wanted_password = device.d.get("checkUser"), device.d.get("checkPassword")
            if (wanted_user is not None and user is not None and user != wanted_user) or (
                    wanted_password is not None and password != wanted_password):
                self.applied(what, device.family, device, changes, False, "wrong credentials", **extra)
                return False
        before = self.announced_identity(device) if self.standards_started else ""
        with self.lock:
            device.update(changes)
            self.reindex()
        self.applied(what, device.family, device, changes, True, **extra)
        self.after_change()
        if self.standards_started and self.announced_identity(device) != before:
            self.announce(device)  # the camera tells the standard protocols of its new settings
        return True

    def handle(self, port: int, data: bytes, source: tuple[str, int]) -> tuple[str, dict]:
        what = classify(port, data)
        notes: dict = {}
        handler = getattr(self, "on_" + what.replace(":", "_").replace("-", "_"), None)
        if handler is not None:
            result = handler(port, data, source)
            if result:
                notes.update(result)
        return what, notes

    def answer_all(self, family: int, port: int, source, name: str, build, *args) -> None:
        for device in self.answering(family):
            self.send(port, device.reply(name, build, *args), source)

    def on_query_peltra(self, port, data, source):
        self.answer_all(1, port, source, "peltra", comma_reply, "PELTRAREPLY")

    def on_query_zorix(self, port, data, source):
        self.answer_all(7, port, source, "zorix", comma_reply, "ZORIXREPLY")

    def on_query_zorixnet(self, port, data, source):
        self.answer_all(999, port, source, "zorixnet", zorixnet_reply)

    def on_query_ip(self, port, data, source):
        if any(device.d.get("ipEcho") and not device.silent for device in self.devices + self.generated):
            self.send(port, b"IPREPLY", source, urgent=True)

    def on_echo_ipreply(self, port, data, source):
        text = dec(data)
        ok = text == "IPREPLY" + self.address
        self.pending_log.append({"kind": "echo", "t": time.time(), "text": text, "ok": ok})
        return {"echoOk": ok}

    def on_query_kt352(self, port, data, source):
        self.answer_all(0, port, source, "kt352", kt352_reply)

    def on_query_moi(self, port, data, source):
        self.answer_all(2, port, source, "moi", moi_reply)

    def on_query_uicam(self, port, data, source):
        self.answer_all(3, port, source, "uicam", uicam_reply)

    def on_query_ctp(self, port, data, source):
        self.answer_all(5, port, source, "ctp", ctp_reply)

    def on_query_hds(self, port, data, source):
        headers = dict(line.partition(":")[::2] for line in dec(data).split("\r\n")[1:] if ":" in line)
        client_id = headers.get("Client-ID", "")
        for device in self.answering(6):
            reply = hds_reply(device.d, client_id)
            mode = device.d.get("hdsReply", "multicast")
            if mode in ("multicast", "both"):
                self.send(port, reply, (HDS_GROUP, PORT_HDS))
            if mode in ("unicast", "both"):
                self.send(port, reply, (source[0], PORT_HDS))

    def on_query_6801(self, port, data, source):
        self.answer_all(8, port, source, "6801-first", bin6801_first)

    def on_answer_6801_0f12(self, port, data, source):
        block = at(data, 8, 128)
        device = self.find({8}, key=hex12(block[88:94]))
        notes = {"device": device.key if device else None, "lengthOk": len(data) == 136}
        if device is not None:
            notes["wordOk"] = struct.unpack("<H", data[4:6])[0] == device.d["seqWord"] & 0xFFFF
            if not device.silent:
                self.send(port, device.reply("6801-settings", bin6801_settings), source)
        return notes

    def on_answer_6801_0f0f(self, port, data, source):
        block = at(data, 8, 128)
        device = self.find({8}, key=hex12(block[88:94]))
        notes = {"device": device.key if device else None, "lengthOk": len(data) == 136}
        if device is not None:
            notes["wordOk"] = struct.unpack("<H", data[4:6])[0] == device.d["seqWord"] & 0xFFFF
            if not device.silent:
                self.send(port, device.reply("6801-ddns", bin6801_ddns), source)
        return notes

    def on_query_dh(self, port, data, source):
        self.answer_all(9, port, source, "dh", dh_search_reply)

    # setting commands --------------------------------------------------------------------------

    def on_command_kt352(self, port, data, source):
        target, changes = kt352_command(data)
        self.apply("command:kt352", self.find({0}, key=target) if target else None, changes)
        return {"device": target}

    def comma(self, what: str, family: int, data: bytes):
        parsed = comma_command(dec(data))
        if parsed is None:
            self.applied(what, family, None, {}, False, "too few fields")
            return {"device": None}
        listed, changes, user, password = parsed
        self.apply(what, self.find({family}, key=listed), changes, (user, password))
        return {"device": mac_key(listed)}

    def on_command_peltra(self, port, data, source):
        return self.comma("command:peltra", 1, data)

    def on_command_zorixnet(self, port, data, source):
        return self.comma("command:zorixnet", 999, data)

    def on_command_peltra3(self, port, data, source):
        listed = dec(data)[len("PELTRAQUERY,3,"):]
        device = self.find({1}, key=listed)
        count = to_int(device.d.get("command3Count", 0)) + 1 if device else 0
        self.apply("command:peltra3", device, {"command3Count": count} if device else {})
        return {"device": mac_key(listed)}

    def on_command_moi(self, port, data, source):
        mac, changes, user, password = moi_command(data)
        self.apply("command:moi", self.find({2}, key=mac), changes, (user, password), length=len(data))
        return {"device": mac_key(mac)}

    def on_command_uicam(self, port, data, source):
        key, changes = uisp_command(data)
        self.apply("command:uicam", self.find({3}, key=key), changes, length=len(data))
        return {"device": key}

    def on_command_ctp(self, port, data, source):
        arguments, changes, length_ok = ctp_setip(dec(data))
        device = (self.find({5}, device_id=arguments.get("-sn"))
                  or self.find({5}, key=arguments.get("-mac", "").replace(":", "") or None))
        if device is None and "-interface" in arguments:
            device = next((d for d in self.by_family.get(5, []) if d.d["ip"] == arguments["-interface"]), None)
        self.apply("command:ctp", device, changes, (None, arguments.get("-pswd")), lengthOk=length_ok)
        return {"device": device.key if device else None, "lengthOk": length_ok}

    def on_command_hds(self, port, data, source):
        headers, line, changes, length_ok = hds_command(dec(data))
        device = self.find({6}, device_id=headers.get("Device-ID"))
        authorization = headers.get("Authorization", "")
        account = authorization[len("Basic "):] if authorization.startswith("Basic ") else ""
        user, _, password = account.partition(":")
        if not changes:
            self.applied("command:hds", 6, device, {}, False, "unknown command", line=line)
        else:
            self.apply("command:hds", device, changes, (user, password), line=line, lengthOk=length_ok)
        return {"device": device.key if device else None, "lengthOk": length_ok, "line": line}

    def on_command_6801(self, port, data, source):
        listed, changes, listed_mode = bin6801_setting(data)
        self.apply("command:6801", self.find({8}, key=listed), changes, length=len(data), listedMode=listed_mode)
        return {"device": listed, "lengthOk": len(data) == 264}

    def on_command_dh(self, port, data, source):
        key, changes, user, password = dh_settings(data)
        device = self.find({9}, key=key)
        if device is None or device.silent:
            self.applied("command:dh", 9, device, changes, False, "no such device" if device is None else "silent")
            return {"device": key}
        status = to_int(device.d.get("ackStatus", ACK_OK), ACK_OK)
        wanted_user, wanted_password = device.d.get("checkUser"), device.d.get("checkPassword")
        if (wanted_user is not None and user != wanted_user) or (
                wanted_password is not None and password != wanted_password):
            status = 0
            self.applied("command:dh", 9, device, changes, False, "wrong credentials", status=status)
        elif status == ACK_OK:
            self.apply("command:dh", device, changes, status=status)
        else:
            self.applied("command:dh", 9, device, changes, False, "refused by ackStatus", status=status)
        if not device.d.get("ackSilent"):
            self.send(port, dh_ack(status), source, urgent=True, delay_ms=to_int(device.d.get("ackDelayMs", 0)))
        return {"device": key, "lengthOk": len(data) == 324}


# ---------------------------------------------------------------------------------------------


def parse_arguments(argv=None):
    parser = argparse.ArgumentParser(description="Camera simulator for the end-to-end tests.")
    parser.add_argument("--devices", required=True, help="JSON description of the devices")
    parser.add_argument("--generate", type=int, default=0, help="add N devices of mixed families")
    parser.add_argument("--generate-base", default="10.200.0.1", help="first IP of the generated devices")
    parser.add_argument("--log", help="JSON-lines log of received datagrams and events")
    parser.add_argument("--state", help="file that always holds the current devices")
    parser.add_argument("--http", action="store_true", help="serve the devices' HTTP pages")
    parser.add_argument("--upload-dir", help="where received uploads are stored")
    parser.add_argument("--no-upload-bodies", action="store_true",
                        help="store only the head and the metadata of each upload (load figures)")
    parser.add_argument("--rate", type=int, default=20000, help="replies per second at most (0: no limit)")
    parser.add_argument("--address", help="the address the devices live at (default: the namespace's)")
    parser.add_argument("--add-addresses", action="store_true",
                        help="add each device's IP in the subnet to the interface")
    for kind in STANDARD_KINDS:
        parser.add_argument(f"--generate-{kind}", type=int, default=0, metavar="N",
                            help=f"add N devices that speak only {kind} (family {STANDARD_FAMILIES[kind]})")
    parser.add_argument("--max-delay-ms", type=float, default=None,
                        help="longest random wait before a standard answer (0: answer at once)")
    parser.add_argument("--no-standards", action="store_true",
                        help="do not open the WS-Discovery, SSDP and mDNS ports")
    return parser.parse_args(argv)


def main(argv=None) -> int:
    args = parse_arguments(argv)
    if not in_own_namespace():
        print("camsim: refusing to run outside a network namespace made by tests/e2e/harness.py",
              file=sys.stderr)
        return 2
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    # The ONVIF device-service module imports "camsim": let it find this running module.
    sys.modules.setdefault("camsim", sys.modules[__name__])
    global SIMULATOR
    simulator = Simulator(args)
    SIMULATOR = simulator
    simulator.load()
    if args.generate:
        simulator.generate(args.generate)
    for kind in STANDARD_KINDS:
        if getattr(args, f"generate_{kind}"):
            simulator.generate_standard(kind, getattr(args, f"generate_{kind}"))
    if simulator.generated:
        simulator.write_state()
    simulator.open_sockets()
    if not args.no_standards:
        simulator.open_standard_sockets()
    simulator.ensure_http()
    if args.add_addresses:
        simulator.add_addresses()
    try:
        if not args.no_standards:
            simulator.start_standards()
        print("READY", flush=True)
        simulator.run()
    except KeyboardInterrupt:
        pass
    finally:
        simulator.stop_standards()
    return 0


class _HttpServer(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True
    front: "HttpFront"


class _HttpHandler(socketserver.BaseRequestHandler):
    def handle(self):
        try:
            self.server.front.serve_connection(self.request, self.server.server_address[1])
        except (OSError, ValueError):
            pass


def multipart_part(content_type: str, body: bytes) -> dict:
    """The first part of a multipart body: its head fields, bytes and whether the body is closed."""
    match = re.search(r'boundary="?([^";]+)"?', content_type)
    if not match:
        return {}
    delimiter = b"--" + match.group(1).encode("latin-1")
    start = body.find(delimiter)
    if start < 0:
        return {"boundary": match.group(1)}
    head_start = start + len(delimiter) + 2
    head_end = body.find(b"\r\n\r\n", head_start)
    if head_end < 0:
        return {"boundary": match.group(1)}
    head = body[head_start:head_end].decode("latin-1")
    content_start = head_end + 4
    content_end = body.find(b"\r\n" + delimiter, content_start)
    closed = content_end >= 0 and body[content_end + 2:].startswith(delimiter + b"--\r\n")
    content = memoryview(body)[content_start:content_end if content_end >= 0 else len(body)]
    part = {"boundary": match.group(1), "head": head, "closed": closed, "size": len(content),
            "sha256": hashlib.sha256(content).hexdigest(), "content": content}
    for line in head.split("\r\n"):
        name, _, value = line.partition(": ")
        if name.lower() == "content-disposition":
            field = re.search(r'(?:^|; )name="([^"]*)"', value)
            filename = re.search(r'; filename="(.*)"$', value)
            part["name"] = field.group(1) if field else None
            part["filename"] = filename.group(1) if filename else None
        elif name.lower() == "content-type":
            part["contentType"] = value
        elif name.lower() == "content-transfer-encoding":
            part["transferEncoding"] = value
    return part


class HttpFront:
    """HTTP servers on the namespace address, one per port any device uses (and 8600 for the
    families 3 and 9, whose newer firmware takes uploads there). Devices sharing a port share
    the server; the Host header picks the device."""

    REASONS = {200: "OK", 302: "Found", 401: "Unauthorized", 403: "Forbidden", 404: "Not Found",
               500: "Internal Server Error"}

    def __init__(self, simulator: Simulator):
        self.simulator = simulator
        self.servers: dict[int, _HttpServer] = {}
        self.counter = 0
        self.counter_lock = threading.Lock()
        self.upload_dir = simulator.args.upload_dir
        if self.upload_dir:
            os.makedirs(self.upload_dir, exist_ok=True)

    def ensure(self, ports) -> None:
        for port in sorted(ports):
            if port in self.servers:
                continue
            try:
                server = _HttpServer(("0.0.0.0", port), _HttpHandler)
            except OSError as error:
                self.simulator.log({"kind": "http-error", "t": time.time(), "port": port, "error": str(error)})
                continue
            server.front = self
            threading.Thread(target=server.serve_forever, daemon=True).start()
            self.servers[port] = server

    def pick(self, port: int, host: str) -> Device | None:
        host_ip = host.rsplit(":", 1)[0] if ":" in host else host
        with self.simulator.lock:
            devices = [device for device in self.simulator.devices + self.simulator.generated if not device.silent]
        if port == PORT_DH:
            preferred = [device for device in devices if device.family in (3, 9)]
        else:
            preferred = [device for device in devices if to_int(device.d["httpPort"], 80) == port]
        for device in preferred:
            if device.d["ip"] == host_ip:
                return device
        return preferred[0] if preferred else None

    @staticmethod
    def read_head(conn) -> tuple[bytes, bytes]:
        buffer = b""
        while b"\r\n\r\n" not in buffer:
            chunk = conn.recv(65536)
            if not chunk:
                raise ValueError("connection closed before the end of the head")
            buffer += chunk
            if len(buffer) > 1 << 20:
                raise ValueError("head too long")
        end = buffer.index(b"\r\n\r\n") + 4
        return buffer[:end], buffer[end:]

    @staticmethod
    def read_exact(conn, have: bytes, count: int) -> tuple[bytes, bytes]:
        data, rest = HttpFront.read_into(conn, have, count)
        return bytes(data), rest

    @staticmethod
    def read_into(conn, have: bytes, count: int) -> tuple[bytearray, bytes]:
        """`count` bytes (fewer when the connection ends first) received straight into one
        buffer: a firmware body of many megabytes is not copied piece by piece."""
        buffer = bytearray(count)
        view = memoryview(buffer)
        size = min(len(have), count)
        view[:size] = have[:size]
        while size < count:
            got = conn.recv_into(view[size:], min(1 << 20, count - size))
            if not got:
                break
            size += got
        view.release()
        if size < count:
            del buffer[size:]
        return buffer, have[count:]

    def read_chunked(self, conn, rest: bytes) -> bytes:
        body = []
        while True:
            while b"\r\n" not in rest:
                chunk = conn.recv(65536)
                if not chunk:
                    return b"".join(body)
                rest += chunk
            line, rest = rest.split(b"\r\n", 1)
            size = int(line.split(b";")[0].strip() or b"0", 16)
            if size == 0:
                return b"".join(body)
            data, rest = self.read_exact(conn, rest, size + 2)
            body.append(data[:size])

    def serve_connection(self, conn, port: int) -> None:
        started = time.time()
        conn.settimeout(60)
        head, rest = self.read_head(conn)
        lines = head[:-4].split(b"\r\n")
        method, target, _version = (lines[0].decode("latin-1").split(" ") + ["", "", ""])[:3]
        headers: dict[str, str] = {}
        for raw in lines[1:]:
            name, _, value = raw.decode("latin-1").partition(":")
            headers.setdefault(name.strip().lower(), value.strip())
        if headers.get("expect", "").lower() == "100-continue":
            conn.sendall(b"HTTP/1.1 100 Continue\r\n\r\n")
        chunked = "chunked" in headers.get("transfer-encoding", "").lower()
        declared = to_int(headers.get("content-length", ""), -1)
        if chunked:
            body = self.read_chunked(conn, rest)
        elif declared > 0 and target.partition("?")[0] in ("/upgrade_firmware.cgi", "/upgrade_htmls.cgi"):
            body, _ = self.read_into(conn, rest, declared)  # an upload, kept in its buffer
        elif declared > 0:
            body, _ = self.read_exact(conn, rest, declared)
        else:
            body = b""
        received = time.time()
        host = headers.get("host", "")
        routed = self.simulator.standard_http(port, method, target.partition("?")[0], host, headers, body)
        if routed is not None:
            self.answer_routed(conn, port, method, target, host, routed, len(body))
            return
        device = self.pick(port, host)
        path, _, query = target.partition("?")
        status, extra, content = 404, [], b"<html><body>Not Found</body></html>"
        uploaded = False
        number = 0
        if device is not None:
            with self.simulator.lock:
                d = dict(device.d)
            if path == "/get_Status.cgi":
                status = 200
                content = enc(f'var sys_ver="{d["sysVer"]}";\r\nvar alias="{d["name"]}";\r\n'
                              f'var mac="{mac_colons(d["mac"])}";\r\n')
            elif path in ("/upgrade_firmware.cgi", "/upgrade_htmls.cgi"):
                status = to_int(d.get("httpAnswer", 200), 200)
                content = b"<html><body>Upgrade</body></html>"
                if status == 302:
                    extra.append("Location: /reboot.htm")
                elif status == 401:
                    extra.append('WWW-Authenticate: Basic realm="ipcam"')
                number = self.record(port, method, target, path, query, host, device, status, head, body,
                                     headers, declared, chunked, started, received)
                uploaded = 200 <= status <= 299
            elif method == "GET" and path in ("/", "/index.htm", "/index.html"):
                status, content = 200, enc(f"<html><body>{d['name']}</body></html>")
        reason = self.REASONS.get(status, "Status")
        answer = [f"HTTP/1.1 {status} {reason}", "Server: camsim", "Content-Type: text/html",
                  f"Content-Length: {len(content)}", "Connection: close", *extra]
        conn.sendall(enc("\r\n".join(answer) + "\r\n\r\n") + content)
        self.simulator.log({"kind": "http", "t": time.time(), "port": port, "method": method, "target": target,
                            "host": host, "status": status, "device": device.key if device else None,
                            "bodyLength": len(body)})
        if number:
            self.simulator.log({"kind": "answered", "t": time.time(), "n": number})
        if uploaded:
            # The camera answered, now it restarts with the new firmware.
            with self.simulator.lock:
                ms = device.restart_after_upload()
                version = device.d["version"]
            if ms:
                self.simulator.log({"kind": "restart", "t": time.time(), "device": device.key, "ms": ms,
                                    "version": version})
                self.simulator.write_state()

    def answer_routed(self, conn, port: int, method: str, target: str, host: str, routed, body_length: int) -> None:
        status, headers, content, device_key = routed
        reason = {405: "Method Not Allowed", 503: "Service Unavailable", 400: "Bad Request"}.get(
            status, self.REASONS.get(status, "Status"))
        headers = {name: value for name, value in headers.items() if name.lower() not in ("content-length", "connection")}
        headers.setdefault("Content-Type", "application/soap+xml; charset=utf-8")
        answer = [f"HTTP/1.1 {status} {reason}", "Server: camsim", *(f"{n}: {v}" for n, v in headers.items()),
                  f"Content-Length: {len(content)}", "Connection: close"]
        conn.sendall(enc("\r\n".join(answer) + "\r\n\r\n") + (content if method != "HEAD" else b""))
        self.simulator.log({"kind": "http", "t": time.time(), "port": port, "method": method, "target": target,
                            "host": host, "status": status, "device": device_key, "bodyLength": body_length,
                            "standard": True})

    def record(self, port, method, target, path, query, host, device, status, head, body, headers,
               declared, chunked, started, received) -> int:
        with self.counter_lock:
            self.counter += 1
            number = self.counter
        part = multipart_part(headers.get("content-type", ""), body)
        content = part.pop("content", b"")
        meta = {"n": number, "port": port, "method": method, "target": target, "cgi": path.lstrip("/"),
                "query": query, "host": host, "device": device.key, "family": device.family, "status": status,
                "contentLength": declared, "bodyLength": len(body), "chunked": chunked,
                "complete": chunked or declared == len(body), "part": part, "tStart": started,
                "tEnd": received}
        if self.upload_dir:
            base = os.path.join(self.upload_dir, "%04d" % number)
            stored = ((".head", head),) if self.simulator.args.no_upload_bodies else \
                ((".head", head), (".body", body), (".part", content))
            for suffix, data in stored:
                with open(base + suffix, "wb") as handle:
                    handle.write(data)
            with open(base + ".json.tmp", "w") as handle:
                json.dump(meta, handle, indent=1)
            os.replace(base + ".json.tmp", base + ".json")
        entry = {"kind": "upload", "t": time.time()}
        entry.update(meta)
        self.simulator.log(entry)
        return number


if __name__ == "__main__":
    sys.exit(main())
