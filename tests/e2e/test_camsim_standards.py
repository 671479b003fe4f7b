#!/usr/bin/env python3
"""Tests of the simulator's standard discovery (WS-Discovery, SSDP/UPnP, mDNS) and of the real peers.

    test_camsim_standards.py --unit   codecs against hand-written messages and byte vectors, and
                                      the simulator driven without sockets (no root needed)
    test_camsim_standards.py          those, then in namespaces: the simulator asked by our own
                                      small clients and by real ones (gssdp-discover, nmap,
                                      python3-zeroconf, avahi-browse), and the real peers
                                      (avahi-daemon, gupnp-network-light, wsdd) checked to run.
                                      Exits 77 after the unit tests when namespaces are unavailable.
"""

from __future__ import annotations

import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import types
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import camsim  # noqa: E402
import harness  # noqa: E402
import peers  # noqa: E402
import stdclient  # noqa: E402

SOAP, WSA, WSD = stdclient.SOAP, stdclient.WSA, stdclient.WSD
DN = "http://www.onvif.org/ver10/network/wsdl"
TDS = "http://www.onvif.org/ver10/device/wsdl"
WSDP = "http://schemas.xmlsoap.org/ws/2006/02/devprof"


def probe(types: str = "", namespaces: str = f'xmlns:dn="{DN}"', scopes: str = "",
          discovery: str = WSD, message_id: str = "urn:uuid:11111111-2222-3333-4444-555555555555") -> bytes:
    """A Probe written by hand, the way clients write them."""
    body = (f"<d:Types>{types}</d:Types>" if types else "") + (scopes or "")
    return (f'<?xml version="1.0" encoding="UTF-8"?><s:Envelope xmlns:s="{SOAP}" xmlns:a="{WSA}" '
            f'xmlns:d="{discovery}" {namespaces}><s:Header><a:MessageID>{message_id}</a:MessageID>'
            f"<a:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
            f"<a:Action>{discovery}/Probe</a:Action></s:Header><s:Body><d:Probe>{body}</d:Probe></s:Body>"
            f"</s:Envelope>").encode()


def device(**entry) -> dict:
    base = {"family": 100, "mac": "00:1A:2B:3C:4D:5E", "name": "Lobby Cam", "ip": "10.0.0.2"}
    base.update(entry)
    return camsim.Device(base, 0, "10.0.0.2").d


class WsDiscovery(unittest.TestCase):
    def test_probe_types_resolve_through_the_probes_own_prefixes(self):
        table = [
            ("onvif", probe("dn:NetworkVideoTransmitter"), "Probe", [(DN, "NetworkVideoTransmitter")]),
            ("other prefix", probe("x:Device", f'xmlns:x="{TDS}"'), "Probe", [(TDS, "Device")]),
            ("two types", probe("dn:NetworkVideoTransmitter t:Device", f'xmlns:dn="{DN}" xmlns:t="{TDS}"'),
             "Probe", [(DN, "NetworkVideoTransmitter"), (TDS, "Device")]),
            ("no types", probe(), "Probe", []),
            ("computer", probe("wsdp:Device", f'xmlns:wsdp="{WSDP}"'), "Probe", [(WSDP, "Device")]),
        ]
        for label, message, action, wanted in table:
            parsed = camsim.parse_wsd(message)
            self.assertEqual((parsed["action"], parsed["types"], parsed["messageId"]),
                             (action, wanted, "urn:uuid:11111111-2222-3333-4444-555555555555"), label)
        for label, message in (("2009 discovery", probe(discovery="http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01")),
                               ("doctype", b'<?xml version="1.0"?><!DOCTYPE x [<!ENTITY a "b">]>' + probe()[38:]),
                               ("broken", probe()[:-12]), ("not soap", b"<a/>"), ("empty", b"")):
            self.assertIsNone(camsim.parse_wsd(message), label)

    def test_probe_matching_by_types_and_scopes(self):
        profile = camsim.onvif_profile(device())
        table = [
            ("dn:NetworkVideoTransmitter", "", True), ("x:Device", "", True), ("", "", True),
            ("wsdp:Device", "", False), ("dn:Device", "", False),
            ("", "onvif://www.onvif.org/location/city", True),
            ("", "onvif://www.onvif.org/location/cit", False),
            ("", "onvif://www.onvif.org/name/Lobby%20Cam onvif://www.onvif.org/Profile/Streaming", True),
            ("", "onvif://www.onvif.org/name/Other", False),
        ]
        for types, scopes, expected in table:
            message = probe(types, f'xmlns:dn="{DN}" xmlns:x="{TDS}" xmlns:wsdp="{WSDP}"',
                            f"<d:Scopes>{scopes}</d:Scopes>" if scopes else "")
            self.assertEqual(camsim.probe_matches_profile(camsim.parse_wsd(message), profile), expected,
                             (types, scopes))

    def match_of(self, d: dict) -> tuple[ET.Element, ET.Element]:
        message = camsim.wsd_probe_matches(camsim.onvif_profile(d), "urn:uuid:probe-1", "urn:uuid:answer-1", 7, 3)
        root = ET.fromstring(message)
        return root.find(f"{{{SOAP}}}Header"), root.find(f"{{{SOAP}}}Body/{{{WSD}}}ProbeMatches/{{{WSD}}}ProbeMatch")

    def test_probe_matches_carry_the_device(self):
        header, match = self.match_of(device(serial="SN 42"))
        self.assertEqual([header.findtext(f"{{{WSA}}}{name}") for name in ("MessageID", "RelatesTo", "To", "Action")],
                         ["urn:uuid:answer-1", "urn:uuid:probe-1", f"{WSA}/role/anonymous", f"{WSD}/ProbeMatches"])
        self.assertEqual(header.find(f"{{{WSD}}}AppSequence").attrib, {"InstanceId": "7", "MessageNumber": "3"})
        self.assertEqual(match.findtext(f"{{{WSA}}}EndpointReference/{{{WSA}}}Address"),
                         "urn:uuid:5a0e0000-0000-4000-8000-001a2b3c4d5e")
        self.assertEqual(match.findtext(f"{{{WSD}}}Types"), "dn:NetworkVideoTransmitter tds:Device")
        scopes = match.findtext(f"{{{WSD}}}Scopes").split()
        for scope in ("onvif://www.onvif.org/name/Lobby%20Cam", "onvif://www.onvif.org/MAC/00:1a:2b:3c:4d:5e",
                      "onvif://www.onvif.org/serial/SN%2042", "onvif://www.onvif.org/hardware/CS-100",
                      "onvif://www.onvif.org/location/city/Zadar"):
            self.assertIn(scope, scopes)
        self.assertEqual((match.findtext(f"{{{WSD}}}XAddrs"), match.findtext(f"{{{WSD}}}MetadataVersion")),
                         ("http://10.0.0.2/onvif/device_service", "1"))

    def test_xaddrs_settings(self):
        table = [({"xaddrIp": "192.168.0.90"}, "http://192.168.0.90/onvif/device_service"),
                 ({"port": 8080, "path": "/dev"}, "http://10.0.0.2:8080/dev"),
                 ({"xaddrs": ["http://a/x", "http://b/y"]}, "http://a/x http://b/y")]
        for config, expected in table:
            _, match = self.match_of(device(onvif=config))
            self.assertEqual(match.findtext(f"{{{WSD}}}XAddrs"), expected, config)
        _, match = self.match_of(device(onvif={"macScope": False, "extraScopes": ["onvif://www.onvif.org/x/y"]}))
        scopes = match.findtext(f"{{{WSD}}}Scopes").split()
        self.assertFalse(any("/MAC/" in scope for scope in scopes))
        self.assertIn("onvif://www.onvif.org/x/y", scopes)

    def test_hello_and_bye(self):
        profile = camsim.onvif_profile(device())
        hello = ET.fromstring(camsim.wsd_hello(profile, "urn:uuid:h", 1, 1))
        bye = ET.fromstring(camsim.wsd_bye(profile, "urn:uuid:b", 1, 2))
        for root, action in ((hello, "Hello"), (bye, "Bye")):
            self.assertEqual(root.findtext(f"{{{SOAP}}}Header/{{{WSA}}}To"), "urn:schemas-xmlsoap-org:ws:2005:04:discovery")
            self.assertEqual(root.findtext(f"{{{SOAP}}}Header/{{{WSA}}}Action"), f"{WSD}/{action}")
            self.assertEqual(root.findtext(f"{{{SOAP}}}Body/{{{WSD}}}{action}/{{{WSA}}}EndpointReference/{{{WSA}}}Address"),
                             profile["uuid"])
        self.assertEqual(hello.findtext(f"{{{SOAP}}}Body/{{{WSD}}}Hello/{{{WSD}}}XAddrs"), profile["xaddrs"])
        self.assertIsNone(bye.find(f"{{{SOAP}}}Body/{{{WSD}}}Bye/{{{WSD}}}XAddrs"))

    def test_who_speaks_what(self):
        table = [({"family": 100}, ["onvif"]), ({"family": 1}, []), ({"family": 1, "onvif": {}}, ["onvif"]),
                 ({"family": 100, "onvif": False, "upnp": True}, ["upnp"]), ({"family": 102, "upnp": {}}, ["upnp", "mdns"])]
        for entry, expected in table:
            d = device(**entry)
            self.assertEqual([kind for kind in camsim.STANDARD_KINDS if camsim.standard_config(d, kind) is not None],
                             expected, entry)


class Ssdp(unittest.TestCase):
    PROFILE = camsim.upnp_profile(device(family=101, upnp={"services": ["urn:schemas-upnp-org:service:Dimming:1"],
                                                           "deviceType": "urn:schemas-upnp-org:device:Basic:2"}))
    UUID = "uuid:5a0e0001-0000-4000-8000-001a2b3c4d5e"
    DIMMING = "urn:schemas-upnp-org:service:Dimming:1"

    def test_search_targets(self):
        basic = "urn:schemas-upnp-org:device:Basic"
        table = [
            ("ssdp:all", [("upnp:rootdevice", f"{self.UUID}::upnp:rootdevice"), (self.UUID, self.UUID),
                          (f"{basic}:2", f"{self.UUID}::{basic}:2"),
                          (self.DIMMING, f"{self.UUID}::{self.DIMMING}")]),
            ("upnp:rootdevice", [("upnp:rootdevice", f"{self.UUID}::upnp:rootdevice")]),
            (self.UUID, [(self.UUID, self.UUID)]),
            (f"{basic}:1", [(f"{basic}:1", f"{self.UUID}::{basic}:1")]),  # an older version is answered as asked
            (f"{basic}:3", []), ("urn:schemas-upnp-org:device:MediaServer:1", []),
            ("uuid:00000000-0000-0000-0000-000000000000", []),
        ]
        for st, expected in table:
            self.assertEqual(camsim.upnp_search_targets(self.PROFILE, st), expected, st)

    def test_search_response_and_notify(self):
        start, headers = camsim.parse_httpu(camsim.ssdp_response(self.PROFILE, "upnp:rootdevice", "u::r"))
        self.assertEqual(start, "HTTP/1.1 200 OK")
        self.assertEqual({k: headers[k] for k in ("CACHE-CONTROL", "EXT", "LOCATION", "ST", "USN")},
                         {"CACHE-CONTROL": "max-age=1800", "EXT": "", "ST": "upnp:rootdevice", "USN": "u::r",
                          "LOCATION": "http://10.0.0.2:49152/upnp/5a0e0001-0000-4000-8000-001a2b3c4d5e/description.xml"})
        alive = camsim.ssdp_notify(self.PROFILE, "upnp:rootdevice", "u::r")
        byebye = camsim.ssdp_notify(self.PROFILE, "upnp:rootdevice", "u::r", alive=False)
        self.assertEqual([camsim.parse_httpu(m)[1]["NTS"] for m in (alive, byebye)], ["ssdp:alive", "ssdp:byebye"])
        self.assertTrue(alive.startswith(b"NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\n"))
        self.assertNotIn(b"LOCATION", byebye)

    def test_description(self):
        d = device(family=101, manufacturer="ACME & Sons", model="X<1>", httpPort=8080)
        root = ET.fromstring(camsim.upnp_description(camsim.upnp_profile(d)))
        ns = "{urn:schemas-upnp-org:device-1-0}"
        fields = {name: root.findtext(f"{ns}device/{ns}{name}") for name in
                  ("deviceType", "friendlyName", "manufacturer", "modelName", "modelNumber", "serialNumber", "UDN",
                   "presentationURL")}
        self.assertEqual(fields, {"deviceType": "urn:schemas-upnp-org:device:Basic:1", "friendlyName": "Lobby Cam",
                                  "manufacturer": "ACME & Sons", "modelName": "X<1>", "modelNumber": "5.4.1",
                                  "serialNumber": "001A2B3C4D5E", "UDN": "uuid:5a0e0001-0000-4000-8000-001a2b3c4d5e",
                                  "presentationURL": "http://10.0.0.2:8080/"})


def hx(text: str) -> bytes:
    return bytes.fromhex(text.replace(" ", ""))


class Dns(unittest.TestCase):
    # ID 1234, no flags, one question: _http._tcp.local PTR, class IN with the unicast-response bit.
    QUERY = hx("1234 0000 0001 0000 0000 0000 055f68747470 045f746370 056c6f63616c 00 000c 8001")

    def test_parse_a_query(self):
        message = camsim.dns_parse(self.QUERY)
        self.assertEqual((message["id"], message["flags"], message["questions"]),
                         (0x1234, 0, [(("_http", "_tcp", "local"), 12, 0x8001)]))

    def test_parse_an_answer_with_compression(self):
        # Question _http._tcp.local PTR; answer: name = pointer to 12, PTR to "cam" + pointer to 12;
        # then SRV for that instance (pointer to the PTR data at 46, target h1 + pointer to "local" at 23)
        # and an A record for h1.local (pointer to 70).
        data = hx("0000 8400 0001 0003 0000 0000 055f68747470 045f746370 056c6f63616c 00 000c 0001"
                  "c00c 000c 0001 00001194 0006 0363616d c00c"
                  "c02e 0021 8001 00000078 000b 0000 0000 0050 0268 31 c017"
                  "c046 0001 8001 00000078 0004 0ae70002")
        answers = camsim.dns_parse(data)["answers"]
        self.assertEqual([(r["name"], r["type"], r["class"], r["ttl"], r["data"]) for r in answers], [
            (("_http", "_tcp", "local"), 12, 1, 4500, ("cam", "_http", "_tcp", "local")),
            (("cam", "_http", "_tcp", "local"), 33, 0x8001, 120, (0, 0, 80, ("h1", "local"))),
            (("h1", "local"), 1, 0x8001, 120, "10.231.0.2")])

    def test_hostile_messages_are_refused(self):
        table = [("short header", hx("1234 0000 0001")),
                 ("pointer to itself", hx("0000 0000 0001 0000 0000 0000 c00c 000c 0001")),
                 ("pointer loop", hx("0000 0000 0001 0000 0000 0000 c00e c00c 000c 0001")),
                 ("label past the end", hx("0000 0000 0001 0000 0000 0000 3f 6161")),
                 ("record data past the end", hx("0000 8400 0000 0001 0000 0000 00 0001 0001 00000078 0004 0a00")),
                 ("reserved label type", hx("0000 0000 0001 0000 0000 0000 40 000c 0001"))]
        for label, data in table:
            with self.assertRaises(ValueError, msg=label):
                camsim.dns_parse(data)

    def test_writer_compresses_repeated_names(self):
        ptr = (("_http", "_tcp", "local"), 12, 1, 4500, ("cam", "_http", "_tcp", "local"))
        message = camsim.dns_message(0, 0x8400, (), [ptr])
        self.assertEqual(message, hx("0000 8400 0000 0001 0000 0000 055f68747470 045f746370 056c6f63616c 00"
                                     "000c 0001 00001194 0006 0363616d c00c"))

    PROFILE = camsim.mdns_profile(device(family=102, mdns={"services": ["_axis-video._tcp", "_http._tcp"]}))

    def test_answers_by_question(self):
        instance = ("Lobby Cam", "_axis-video", "_tcp", "local")
        host = ("Lobby-Cam-3c4d5e", "local")
        table = [
            ((("_services", "_dns-sd", "_udp", "local"), 12), [12, 12], [], True),
            ((("_axis-video", "_tcp", "local"), 12), [12], [33, 16, 1], True),
            ((instance, 33), [33], [1], False), ((instance, 16), [16], [], False), ((instance, 255), [33, 16], [1], False),
            ((host, 1), [1], [], False), ((("_rtsp", "_tcp", "local"), 12), [], [], False),
        ]
        for (labels, qtype), answer_types, additional_types, shared in table:
            answers, additional, is_shared = camsim.mdns_answer(self.PROFILE, [(labels, qtype, 1)])
            self.assertEqual(([r[1] for r in answers], [r[1] for r in additional], is_shared),
                             (answer_types, additional_types, shared), (labels, qtype))
        answers, additional, _ = camsim.mdns_answer(self.PROFILE, [(("_axis-video", "_tcp", "local"), 12, 1)])
        self.assertEqual(additional[1][2], [b"macaddress=001A2B3C4D5E"])
        self.assertEqual(additional[0][2], (0, 0, 80, host))

    def test_legacy_and_multicast_responses(self):
        question = [(("_axis-video", "_tcp", "local"), 12, 1)]
        answers, additional, _ = camsim.mdns_answer(self.PROFILE, question)
        legacy = camsim.dns_parse(camsim.mdns_response(self.PROFILE, answers, additional, 0x4321, question, legacy=True))
        self.assertEqual((legacy["id"], legacy["flags"], legacy["questions"]), (0x4321, 0x8400, [question[0]]))
        self.assertTrue(all(r["class"] == 1 and r["ttl"] <= 10 for r in legacy["answers"] + legacy["additional"]))
        multicast = camsim.dns_parse(camsim.mdns_response(self.PROFILE, answers, additional))
        self.assertEqual((multicast["id"], multicast["questions"]), (0, []))
        self.assertEqual([(r["type"], r["class"], r["ttl"]) for r in multicast["answers"] + multicast["additional"]],
                         [(12, 1, 4500), (33, 0x8001, 120), (16, 0x8001, 4500), (1, 0x8001, 120)])
        goodbye = camsim.dns_parse(camsim.mdns_announcement(self.PROFILE, goodbye=True))
        self.assertTrue(goodbye["answers"] and all(r["ttl"] == 0 for r in goodbye["answers"]))


class FakeSocket:
    def __init__(self):
        self.sent = []

    def sendto(self, data, address):
        self.sent.append((bytes(data), address))


class SimulatorStandards(unittest.TestCase):
    """The standard side of the simulator driven through its handler with recording sockets."""

    PC = ("10.0.0.1", 40000)
    DEVICES = [{"family": 100, "mac": "00:10:00:00:01:00"}, {"family": 1, "mac": "00:10:00:00:01:01", "onvif": {}},
               {"family": 101, "mac": "00:10:00:00:01:02"}, {"family": 102, "mac": "00:10:00:00:01:03"},
               {"family": 100, "mac": "00:10:00:00:01:04", "silent": True}]

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.devices_path = os.path.join(self.folder.name, "devices.json")
        self.write(self.DEVICES)
        self.sim = self.simulator()

    def simulator(self, *extra):
        args = camsim.parse_arguments(["--devices", self.devices_path, "--address", "10.0.0.2", "--rate", "0", *extra])
        sim = camsim.Simulator(args)
        self.sockets = {port: FakeSocket() for port in camsim.ALL_PORTS + camsim.STANDARD_PORTS}
        sim.sockets = self.sockets
        sim.load()
        return sim

    def tearDown(self):
        self.folder.cleanup()

    def write(self, devices):
        with open(self.devices_path, "w") as handle:
            json.dump(devices, handle)

    def feed(self, port, data, source=PC, destination="239.255.255.250"):
        self.sim.current_destination = destination
        what, notes = self.sim.handle(port, data, source)
        self.sim.pump()
        return what, notes

    def test_multicast_probe_answers_wait_up_to_app_max_delay(self):
        what, notes = self.feed(3702, probe("dn:NetworkVideoTransmitter"))
        self.assertEqual((what, notes["matched"]), ("query:wsd-probe", 2))
        self.assertEqual(self.sockets[3702].sent, [])
        now = time.monotonic()
        self.assertTrue(all(now - 0.01 <= entry[0] <= now + 0.5 for entry in self.sim.delayed))
        self.sim.delayed = []
        self.feed(3702, probe("dn:NetworkVideoTransmitter"), destination="10.0.0.2")  # unicast: at once
        self.assertEqual([address for _, address in self.sockets[3702].sent], [self.PC, self.PC])

    def test_zero_delay_for_load(self):
        self.sim = self.simulator("--max-delay-ms", "0")
        self.feed(3702, probe(""))
        self.feed(1900, b'M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: "ssdp:discover"\r\nMX: 3\r\n'
                        b"ST: upnp:rootdevice\r\n\r\n")
        self.assertEqual((len(self.sockets[3702].sent), len(self.sockets[1900].sent)), (2, 1))

    def test_invalid_msearch_is_ignored(self):
        self.sim = self.simulator("--max-delay-ms", "0")
        for message in (b"M-SEARCH * HTTP/1.1\r\nMAN: \"ssdp:discover\"\r\nST: ssdp:all\r\n\r\n",  # no MX
                        b"M-SEARCH * HTTP/1.1\r\nMX: 1\r\nST: ssdp:all\r\n\r\n",  # no MAN
                        b"M-SEARCH * HTTP/1.1\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\nST: ssdp:all\r\n"):  # cut
            self.feed(1900, message)
        self.assertEqual(self.sockets[1900].sent, [])

    def test_legacy_mdns_query_is_answered_to_its_port(self):
        self.sim = self.simulator("--max-delay-ms", "0")
        self.feed(5353, Dns.QUERY, ("10.0.0.1", 41000), "224.0.0.251")
        self.feed(5353, Dns.QUERY.replace(hx("1234"), hx("0000"), 1), ("10.0.0.1", 5353), "224.0.0.251")
        sent = self.sockets[5353].sent
        self.assertEqual([(camsim.dns_parse(data)["id"], address) for data, address in sent],
                         [(0x1234, ("10.0.0.1", 41000)), (0, ("10.0.0.1", 5353))])  # the QU bit: unicast to 5353

    def test_reload_says_bye_and_hello(self):
        self.sim.standards_started = True
        self.write(self.DEVICES[1:] + [{"family": 100, "mac": "00:10:00:00:01:05"}])
        self.sim.load()
        self.sim.pump()
        messages = [stdclient.parse_wsd(data) for data, address in self.sockets[3702].sent
                    if address == ("239.255.255.250", 3702)]
        self.assertEqual([(m["action"], m["address"][-12:]) for m in messages],
                         [("Bye", "001000000100"), ("Hello", "001000000105")])

    def test_device_service_hook(self):
        self.sim.onvif_hook_loaded = True
        self.sim.onvif_hook = None
        self.assertEqual(self.sim.standard_http(80, "POST", "/onvif/device_service", "10.0.0.2", {}, b"")[0], 503)
        self.assertEqual(self.sim.standard_http(80, "GET", "/onvif/device_service", "10.0.0.2", {}, b"")[0], 405)
        self.assertIsNone(self.sim.standard_http(80, "POST", "/elsewhere", "10.0.0.2", {}, b""))
        seen = []

        def handle(state, path, headers, body):
            seen.append((state["mac"], path, body))
            state["ip"] = "10.0.0.77"
            return 200, {"Content-Type": "application/soap+xml"}, b"<ok/>"

        self.sim.onvif_hook = handle
        self.sim.standards_started = True
        answer = self.sim.standard_http(80, "POST", "/onvif/device_service", "10.0.0.2", {}, b"<x/>")
        self.assertEqual(answer, (200, {"Content-Type": "application/soap+xml"}, b"<ok/>", "001000000100"))
        self.assertEqual(seen, [("00:10:00:00:01:00", "/onvif/device_service", b"<x/>")])
        self.sim.pump()
        hello = stdclient.parse_wsd(self.sockets[3702].sent[-1][0])
        self.assertEqual((hello["action"], hello["xaddrs"], hello["metadataVersion"]),
                         ("Hello", ["http://10.0.0.77/onvif/device_service"], "2"))
        probe_answers = len(self.sockets[3702].sent)
        self.feed(3702, probe(""), destination="10.0.0.2")
        answers = b"".join(data for data, _ in self.sockets[3702].sent[probe_answers:])
        self.assertIn(b"http://10.0.0.77/onvif/device_service", answers)

    def test_family_command_changing_the_address_announces_it(self):
        self.sim.standards_started = True
        self.feed(10000, b"PELTRAQUERY,1,00:10:00:00:01:01,00:10:00:00:01:01,10.0.0.41,80,255.255.255.0,10.0.0.1,"
                         b"p,,,,0,0,0,,,admin,", destination="255.255.255.255")
        hello = stdclient.parse_wsd(self.sockets[3702].sent[-1][0])
        self.assertEqual((hello["action"], hello["xaddrs"]), ("Hello", ["http://10.0.0.41/onvif/device_service"]))

    def test_generated_cameras_are_distinct(self):
        self.sim.generate_standard("onvif", 300)
        profiles = [self.sim.profile(d, "onvif") for d in self.sim.by_standard["onvif"]]
        self.assertEqual(len(profiles), 302)
        self.assertEqual(len({p["uuid"] for p in profiles}), 302)
        self.assertEqual(len({s for p in profiles for s in p["scopes"] if "/MAC/" in s}), 302)
        self.assertEqual(len({p["xaddrs"] for p in profiles[2:]}), 300)


# ---------------------------------------------------------------------------------------------
# In namespaces

DEVICES = [
    {"family": 100, "mac": "00:10:00:00:02:00", "name": "Lobby Cam", "manufacturer": "ACME", "model": "L-1"},
    {"family": 100, "mac": "00:10:00:00:02:01", "name": "Stale Cam", "onvif": {"xaddrIp": "192.168.0.90"}},
    {"family": 1, "mac": "00:10:00:00:02:02", "name": "Peltra Cam", "onvif": {}},
    {"family": 101, "mac": "00:10:00:00:02:03", "name": "UPnP Cam", "manufacturer": "ACME", "model": "U-2",
     "upnp": {"services": ["urn:schemas-upnp-org:service:Dimming:1"]}},
    {"family": 102, "mac": "00:10:00:00:02:04", "name": "mDNS Cam",
     "mdns": {"services": ["_axis-video._tcp", "_http._tcp", "_onvif._tcp"]}},
]
UPNP_UUID = "uuid:5a0e0001-0000-4000-8000-001000000203"


def debian_python_with_zeroconf() -> str:
    for python in ("/usr/bin/python3",):
        if os.path.exists(python) and subprocess.run([python, "-c", "import zeroconf"], capture_output=True).returncode == 0:
            return python
    return ""


@unittest.skipUnless(harness.e2e_available(), harness.unavailable_reason() or "namespaces available")
class InNamespaces(unittest.TestCase):
    """Camera 0: the simulator; camera 1: a second simulator or avahi; 2: the UPnP light; 3: wsdd."""

    topo: harness.Topology
    sim: harness.CamSim

    @classmethod
    def setUpClass(cls):
        cls.topo = harness.Topology(cameras=4).setup()
        cls.sim = cls.topo.start_camsim(DEVICES)
        cls.local = cls.topo.pc.addresses[0][1]

    @classmethod
    def tearDownClass(cls):
        cls.topo.close()

    def client(self, command, pair=0, **options):
        return stdclient.run(self.topo.pc, command, local=self.topo.pc.addresses[pair][1], **options)

    # our own clients ---------------------------------------------------------------------------

    def test_probe_answered_by_the_onvif_devices_of_its_types(self):
        matches = self.client("wsd-probe", listen=2.0, count=3)
        by_mac = {next(s for s in m["scopes"] if "/MAC/" in s).rsplit("/", 1)[1]: m for m in matches}
        self.assertEqual(sorted(by_mac), ["00:10:00:00:02:00", "00:10:00:00:02:01", "00:10:00:00:02:02"])
        camera = self.topo.camera.addr
        self.assertEqual({m["from"] for m in matches}, {camera})
        self.assertEqual(by_mac["00:10:00:00:02:01"]["xaddrs"], ["http://192.168.0.90/onvif/device_service"])
        self.assertEqual(by_mac["00:10:00:00:02:00"]["xaddrs"], [f"http://{camera}/onvif/device_service"])
        self.assertIn("onvif://www.onvif.org/name/Lobby%20Cam", by_mac["00:10:00:00:02:00"]["scopes"])
        self.assertTrue(all(m["after"] < 1.0 for m in matches), [m["after"] for m in matches])  # APP_MAX_DELAY
        self.assertEqual(len(self.client("wsd-probe", types="tds:Device", listen=2.0, count=3)), 3)
        self.assertEqual(self.client("wsd-probe", types="wsdp:Device", listen=0.8), [])

    def test_one_mac_for_the_proprietary_family_and_onvif(self):
        from test_camsim import PC_CLIENT
        plan = {"local": self.local, "ifname": "zv0", "send": [{"port": 10000, "hex": b"PELTRAQUERY,0".hex(),
                                                                  "to": "broadcast"}], "listen": 0.4}
        result = self.topo.pc.run([sys.executable, "-c", PC_CLIENT, json.dumps(plan)], timeout=30)
        replies = [bytes.fromhex(data) for _, _, data, _ in json.loads(result.stdout)]
        self.assertEqual([reply.split(b",")[2] for reply in replies], [b"00:10:00:00:02:02"])
        matches = self.client("wsd-probe", listen=2.0, count=3)
        self.assertIn("onvif://www.onvif.org/MAC/00:10:00:00:02:02", [s for m in matches for s in m["scopes"]])

    def test_msearch_answers_and_description(self):
        answers = self.client("ssdp-search", listen=2.5, count=4, describe=True)
        self.assertEqual(sorted(a["headers"]["USN"] for a in answers),
                         sorted([UPNP_UUID, f"{UPNP_UUID}::upnp:rootdevice",
                                 f"{UPNP_UUID}::urn:schemas-upnp-org:device:Basic:1",
                                 f"{UPNP_UUID}::urn:schemas-upnp-org:service:Dimming:1"]))
        self.assertTrue(all(a["after"] < 1.5 and a["headers"]["EXT"] == "" for a in answers))  # MX 1
        self.assertEqual(answers[0]["description"],
                         {"deviceType": "urn:schemas-upnp-org:device:Basic:1", "friendlyName": "UPnP Cam",
                          "manufacturer": "ACME", "modelName": "U-2", "modelNumber": "5.4.1",
                          "serialNumber": "001000000203", "UDN": UPNP_UUID,
                          "presentationURL": f"http://{self.topo.camera.addr}/"})
        rooted = self.client("ssdp-search", st="upnp:rootdevice", listen=2.0, count=1)
        self.assertEqual([a["headers"]["ST"] for a in rooted], ["upnp:rootdevice"])

    def test_mdns_legacy_unicast_and_multicast_queries(self):
        legacy = self.client("mdns-query", name="_axis-video._tcp.local", legacy=True, listen=2.0, count=1)
        self.assertEqual(len(legacy), 1)
        answer = legacy[0]
        self.assertEqual((answer["id"], answer["sport"], answer["questions"]),
                         (0x1234, 5353, [["_axis-video._tcp.local", 12, 1]]))
        self.assertEqual([(r["type"], r["data"]) for r in answer["answers"]],
                         [("PTR", "mDNS Cam._axis-video._tcp.local")])
        additional = {r["type"]: r["data"] for r in answer["additional"]}
        self.assertEqual(additional, {"SRV": [0, 0, 80, "mDNS-Cam-000204.local"], "TXT": ["macaddress=001000000204"],
                                      "A": self.topo.camera.addr})
        self.assertTrue(all(r["ttl"] <= 10 and r["class"] == 1 for r in answer["answers"] + answer["additional"]))
        enumeration = self.client("mdns-query", listen=2.0, count=1)
        self.assertEqual(sorted(r["data"] for r in enumeration[0]["answers"]),
                         ["_axis-video._tcp.local", "_http._tcp.local", "_onvif._tcp.local"])

    def test_hello_bye_and_notify_follow_the_device_list(self):
        listeners = []
        for command in ("wsd-listen", "ssdp-listen"):
            process = self.topo.pc.popen([sys.executable, stdclient.__file__, command, "--local", self.local,
                                          "--listen", "5", "--count", "2" if command == "wsd-listen" else "8"],
                                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            self.assertEqual(process.stderr.readline().strip(), "listening")
            listeners.append(process)
        changed = [DEVICES[1], DEVICES[2], {**DEVICES[3], "name": "UPnP Cam 2"}, DEVICES[4],
                   {"family": 100, "mac": "00:10:00:00:02:09", "name": "New Cam"}]
        try:
            self.sim.write_devices(changed)
            wsd, ssdp = (json.loads(process.communicate(timeout=20)[0]) for process in listeners)
        finally:
            self.sim.write_devices(DEVICES)
        self.assertEqual([(m["action"], m["address"][-12:]) for m in wsd],
                         [("Bye", "001000000200"), ("Hello", "001000000209")])
        self.assertEqual(wsd[1]["types"], ["dn:NetworkVideoTransmitter", "tds:Device"])
        self.assertEqual(sorted((n["headers"]["NTS"], n["headers"]["NT"]) for n in ssdp), sorted(
            [(nts, nt) for nts in ("ssdp:alive", "ssdp:byebye")
             for nt in ("upnp:rootdevice", UPNP_UUID, "urn:schemas-upnp-org:device:Basic:1",
                        "urn:schemas-upnp-org:service:Dimming:1")]))

    def test_device_service_port_answers(self):
        code = ("import sys, urllib.request, urllib.error\n"
                "try:\n    urllib.request.urlopen(urllib.request.Request(sys.argv[1], data=b'<x/>'), timeout=5)\n"
                "    print(200)\nexcept urllib.error.HTTPError as error:\n    print(error.code)\n")
        result = self.topo.pc.python(code, f"http://{self.topo.camera.addr}/onvif/device_service")
        status = int(result.stdout.strip() or 0)
        if os.path.exists(os.path.join(os.path.dirname(camsim.__file__), "camsim_onvif.py")):
            self.assertNotIn(status, (0, 404, 503))
        else:
            self.assertEqual(status, 503)

    def test_thousand_onvif_cameras_answer_one_probe(self):
        sim = self.topo.start_camsim([], camera=1, log=False, name="onvif-load",
                                     extra_args=["--generate-onvif", "1000", "--max-delay-ms", "0"])
        try:
            matches = self.client("wsd-probe", pair=1, listen=5, count=1000)
            self.assertEqual(len(matches), 1000)
            self.assertEqual(len({m["address"] for m in matches}), 1000)
            self.assertEqual(len({s for m in matches for s in m["scopes"] if "/MAC/" in s}), 1000)
            print(f"\n  1000 ProbeMatches ({sum(m['size'] for m in matches) // 1024} KB) in "
                  f"{matches[-1]['after'] * 1000:.0f} ms", file=sys.stderr)
        finally:
            sim.stop()

    # real clients ------------------------------------------------------------------------------

    def need(self, *programs):
        missing = [program for program in programs if shutil.which(program) is None]
        if missing:
            self.skipTest("not installed: " + ", ".join(missing))

    def test_gssdp_discover_sees_the_upnp_device(self):
        self.need("gssdp-discover")
        # A loaded machine may answer after gssdp-discover stopped listening: ask again then.
        wanted = f"USN:      {UPNP_UUID}::upnp:rootdevice"
        for _ in range(3):
            result = self.topo.pc.run(["gssdp-discover", "--interface", "zv0", "--timeout", "4"],
                                      timeout=30)
            if wanted in result.stdout:
                break
        self.assertIn(wanted, result.stdout)
        self.assertIn(f"Location: http://{self.topo.camera.addr}:49152/upnp/", result.stdout)

    def test_nmap_sees_onvif_cameras_and_the_upnp_device(self):
        self.need("nmap")
        result = self.topo.pc.run(["nmap", "-e", "zv0", "-T4", "-sn", "--script",
                                   "broadcast-wsdd-discover,broadcast-upnp-info"], timeout=90)
        self.assertEqual(result.returncode, 0, result.stderr)
        out = result.stdout
        self.assertIn(f"Address: http://{self.topo.camera.addr}/onvif/device_service", out)
        self.assertIn("Address: http://192.168.0.90/onvif/device_service", out)
        for line in ("Name: UPnP Cam", "Manufacturer: ACME", "Model Name: U-2"):
            self.assertIn(line, out)

    def test_zeroconf_resolves_the_mdns_responder(self):
        python = debian_python_with_zeroconf()
        if not python:
            self.skipTest("python3-zeroconf is not installed")
        code = ("import sys\nfrom zeroconf import Zeroconf, IPVersion, ZeroconfServiceTypes\n"
                "zc = Zeroconf(interfaces=[sys.argv[1]], ip_version=IPVersion.V4Only)\n"
                "print(sorted(ZeroconfServiceTypes.find(zc=zc, timeout=1.2)))\n"
                "info = zc.get_service_info('_axis-video._tcp.local.', 'mDNS Cam._axis-video._tcp.local.', timeout=3000)\n"
                "print(info.server, info.parsed_addresses(), info.port, info.properties)\nzc.close()\n")
        result = self.topo.pc.run([python, "-c", code, self.local], timeout=30)
        self.assertEqual(result.returncode, 0, result.stderr)
        types_line, info_line = result.stdout.splitlines()[:2]
        self.assertEqual(types_line, "['_axis-video._tcp.local.', '_http._tcp.local.', '_onvif._tcp.local.']")
        self.assertEqual(info_line, f"mDNS-Cam-000204.local. ['{self.topo.camera.addr}'] 80 "
                                    "{b'macaddress': b'001000000204'}")

    def test_avahi_browse_resolves_the_mdns_responder(self):
        if peers.AvahiBrowser.unavailable():
            self.skipTest(peers.AvahiBrowser.unavailable())
        with peers.AvahiBrowser(self.topo, self.topo.pc) as browser:
            found = {(s["name"], s["type"]): s for s in browser.browse()}
        self.assertEqual(sorted(found), [("mDNS Cam", t) for t in ("_axis-video._tcp", "_http._tcp", "_onvif._tcp")])
        service = found[("mDNS Cam", "_axis-video._tcp")]
        self.assertEqual((service["host"], service["address"], service["port"], service["txt"]),
                         ("mDNS-Cam-000204.local", self.topo.camera.addr, 80, ["macaddress=001000000204"]))

    # real peers ---------------------------------------------------------------------------------

    def test_avahi_publisher_answers_legacy_queries(self):
        if peers.AvahiPublisher.unavailable():
            self.skipTest(peers.AvahiPublisher.unavailable())
        service = {"name": "Avahi Camera", "type": "_axis-video._tcp", "port": 8080, "txt": {"macaddress": "00408C123456"}}
        with peers.AvahiPublisher(self.topo, self.topo.cameras[1], [service], host="avahicam"):
            answers = self.client("mdns-query", pair=1, name="_axis-video._tcp.local", legacy=True, listen=3.0, count=1)
        self.assertEqual(len(answers), 1)
        records = answers[0]["answers"] + answers[0]["additional"]
        self.assertIn(("PTR", "Avahi Camera._axis-video._tcp.local"), [(r["type"], r["data"]) for r in records])
        self.assertIn(("SRV", [0, 0, 8080, "avahicam.local"]), [(r["type"], r["data"]) for r in records])
        self.assertIn(("TXT", ["macaddress=00408C123456"]), [(r["type"], r["data"]) for r in records])

    def test_upnp_light_serves_its_description(self):
        if peers.UpnpLight.unavailable():
            self.skipTest(peers.UpnpLight.unavailable())
        with peers.UpnpLight(self.topo, self.topo.cameras[2], name="Zadari Light") as light:
            answers = self.client("ssdp-search", pair=2, st="urn:schemas-upnp-org:device:DimmableLight:1",
                                  listen=3.0, count=1, describe=True)
        self.assertEqual(len(answers), 1)
        self.assertTrue(answers[0]["headers"]["LOCATION"].startswith(f"http://{self.topo.cameras[2].addr}:{light.port}/"))
        description = answers[0]["description"]
        self.assertEqual((description["friendlyName"], description["deviceType"]),
                         ("Zadari Light", "urn:schemas-upnp-org:device:DimmableLight:1"))
        self.assertTrue(description["UDN"].startswith("uuid:"))

    def test_wsdd_answers_computer_probes_only(self):
        if peers.Wsdd.unavailable():
            self.skipTest(peers.Wsdd.unavailable())
        with peers.Wsdd(self.topo, self.topo.cameras[3], hostname="ZADARI-PC"):
            cameras = self.client("wsd-probe", pair=3, listen=1.0)
            computers = self.client("wsd-probe", pair=3, types="wsdp:Device", listen=3.0, count=1)
        self.assertEqual(cameras, [])
        self.assertEqual(len(computers), 1)
        self.assertIn("pub:Computer", computers[0]["types"])


def main() -> int:
    unit_only = "--unit" in sys.argv
    argv = [arg for arg in sys.argv if arg != "--unit"]
    loader = unittest.TestLoader()
    suite = unittest.TestSuite([loader.loadTestsFromTestCase(case)
                                for case in (WsDiscovery, Ssdp, Dns, SimulatorStandards)])
    if not unit_only:
        suite.addTests(loader.loadTestsFromTestCase(InNamespaces))
    result = unittest.TextTestRunner(verbosity=2 if "-v" in argv else 1).run(suite)
    if not result.wasSuccessful():
        return 1
    if not unit_only and not harness.e2e_available():
        print(f"SKIPPED: namespace tests: {harness.unavailable_reason()}")
        return harness.SKIP
    return 0


if __name__ == "__main__":
    sys.exit(main())
