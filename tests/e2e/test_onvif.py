#!/usr/bin/env python3
"""ONVIF configuration: the simulator's device service, and zadari-cli against it.

    test_onvif.py --unit                 the device service of camsim_onvif.py called directly
                                         with requests written here (digest, clock, nonces,
                                         the set calls, the restart); no sockets, no root
    test_onvif.py --cli ZADARI_CLI [CASE ...]
                                         in the harness's namespaces: an ONVIF-only camera read
                                         with info and re-addressed with apply, found again at
                                         its new address (cases readdress, dhcp, wrong-password)

Exit 0 when every test passed, 1 when one failed, 77 when namespaces cannot be made here.
"""

from __future__ import annotations

import argparse
import base64
import datetime
import hashlib
import json
import os
import sys
import time
import traceback
import unittest
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import camsim  # noqa: E402
import camsim_onvif  # noqa: E402
import harness  # noqa: E402
from harness import Failure, check, describe, mac_key  # noqa: E402

ENV = "http://www.w3.org/2003/05/soap-envelope"
TDS = "http://www.onvif.org/ver10/device/wsdl"
TT = "http://www.onvif.org/ver10/schema"
TER = "http://www.onvif.org/ver10/error"
WSSE = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd"
WSU = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd"
DIGEST = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest"
BASE64 = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-soap-message-security-1.0#Base64Binary"

CLI = ""
SUBNET = "10.231.0"


# ---- requests written here, as a client writes them ------------------------------------------


def created_text(moment: float) -> str:
    return datetime.datetime.fromtimestamp(moment, datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")


def token(user: str, password: str, created: str, nonce: bytes) -> str:
    # WS-Security UsernameToken Profile 1.0: Password_Digest = Base64(SHA-1(nonce + created + password))
    digest = base64.b64encode(hashlib.sha1(nonce + created.encode() + password.encode()).digest()).decode()
    return (f'<s:Header><wsse:Security xmlns:wsse="{WSSE}" xmlns:wsu="{WSU}" s:mustUnderstand="1">'
            f"<wsse:UsernameToken><wsse:Username>{user}</wsse:Username>"
            f'<wsse:Password Type="{DIGEST}">{digest}</wsse:Password>'
            f'<wsse:Nonce EncodingType="{BASE64}">{base64.b64encode(nonce).decode()}</wsse:Nonce>'
            f"<wsu:Created>{created}</wsu:Created></wsse:UsernameToken></wsse:Security></s:Header>")


def request(operation: str, inner: str = "", account: tuple[str, str] | None = ("admin", "pw"),
            created: str | None = None, nonce: bytes | None = None) -> bytes:
    header = ""
    if account is not None:
        header = token(account[0], account[1], created or created_text(time.time()), nonce or os.urandom(16))
    return (f'<?xml version="1.0" encoding="UTF-8"?><s:Envelope xmlns:s="{ENV}" xmlns:tds="{TDS}" '
            f'xmlns:tt="{TT}">{header}<s:Body><tds:{operation}>{inner}</tds:{operation}></s:Body>'
            "</s:Envelope>").encode()


def answer_of(result) -> tuple[int, ET.Element]:
    status, headers, body = result
    assert headers["Content-Type"].startswith("application/soap+xml"), headers
    root = ET.fromstring(body)
    return status, root.find(f"{{{ENV}}}Body")[0]


def subcodes(fault: ET.Element) -> list[str]:
    values = []
    sub = fault.find(f"{{{ENV}}}Code/{{{ENV}}}Subcode")
    while sub is not None:
        values.append(sub.findtext(f"{{{ENV}}}Value"))
        sub = sub.find(f"{{{ENV}}}Subcode")
    return values


def camera(**onvif) -> dict:
    entry = {"family": 100, "mac": "02:5A:30:00:00:01", "name": "Lobby Cam", "ip": "10.0.0.40",
             "mask": "255.255.255.0", "gateway": "10.0.0.1", "onvif": dict({"password": "pw"}, **onvif)}
    return camsim.Device(entry, 0, "10.0.0.2").d


class DeviceService(unittest.TestCase):
    def call(self, state: dict, operation: str, inner: str = "", **kwargs) -> tuple[int, ET.Element]:
        return answer_of(camsim_onvif.handle_device_service(state, camsim.ONVIF_PATH, {},
                                                            request(operation, inner, **kwargs)))

    def assert_not_authorized(self, answer, why: str) -> None:
        status, element = answer
        self.assertEqual(status, 400, why)
        self.assertEqual(element.tag, f"{{{ENV}}}Fault", why)
        self.assertEqual(element.findtext(f"{{{ENV}}}Code/{{{ENV}}}Value"), "env:Sender", why)
        self.assertEqual(subcodes(element), ["ter:NotAuthorized"], why)

    def test_the_digest_the_clock_and_the_nonce_are_checked(self):
        state = camera(clockOffsetSeconds=3600)
        now = time.time() + 3600  # the camera's clock
        status, element = self.call(state, "GetHostname", created=created_text(now))
        self.assertEqual((status, element.tag), (200, f"{{{TDS}}}GetHostnameResponse"))
        self.assertEqual(element.findtext(f"{{{TDS}}}HostnameInformation/{{{TT}}}Name"), "lobby-cam")
        table = [
            ("wrong password", dict(account=("admin", "nope"), created=created_text(now))),
            ("wrong user", dict(account=("root", "pw"), created=created_text(now))),
            ("no token", dict(account=None)),
            ("Created on the true clock, an hour from the camera's", dict(created=created_text(time.time()))),
            ("Created ten minutes old", dict(created=created_text(now - 600))),
        ]
        for why, kwargs in table:
            self.assert_not_authorized(self.call(state, "GetHostname", **kwargs), why)
        nonce = os.urandom(16)
        self.assertEqual(self.call(state, "GetDNS", created=created_text(now), nonce=nonce)[0], 200)
        self.assert_not_authorized(self.call(state, "GetDNS", created=created_text(now), nonce=nonce),
                                   "replayed nonce")

    def test_the_time_is_told_without_an_account_on_the_cameras_clock(self):
        state = camera(clockOffsetSeconds=-3600)
        status, element = self.call(state, "GetSystemDateAndTime", account=None)
        self.assertEqual(status, 200)
        utc = element.find(f"{{{TDS}}}SystemDateAndTime/{{{TT}}}UTCDateTime")
        told = datetime.datetime(*(int(utc.findtext(f"{{{TT}}}{part}")) for part in
                                   ("Date/{%s}Year" % TT, "Date/{%s}Month" % TT, "Date/{%s}Day" % TT,
                                    "Time/{%s}Hour" % TT, "Time/{%s}Minute" % TT, "Time/{%s}Second" % TT)),
                                 tzinfo=datetime.timezone.utc).timestamp()
        self.assertLess(abs(told - (time.time() - 3600)), 5)

    def test_a_new_address_waits_for_the_restart(self):
        state = camera()
        status, element = self.call(state, "GetNetworkInterfaces")
        self.assertEqual(status, 200)
        config = element.find(f"{{{TDS}}}NetworkInterfaces/{{{TT}}}IPv4/{{{TT}}}Config")
        self.assertEqual(config.findtext(f"{{{TT}}}Manual/{{{TT}}}Address"), "10.0.0.40")
        self.assertEqual(config.findtext(f"{{{TT}}}Manual/{{{TT}}}PrefixLength"), "24")
        self.assertEqual(config.findtext(f"{{{TT}}}DHCP"), "false")
        inner = ("<tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface><tt:Enabled>true</tt:Enabled>"
                 "<tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Manual><tt:Address>10.0.0.140</tt:Address>"
                 "<tt:PrefixLength>16</tt:PrefixLength></tt:Manual><tt:DHCP>false</tt:DHCP></tt:IPv4>"
                 "</tds:NetworkInterface>")
        status, element = self.call(state, "SetNetworkInterfaces", inner)
        self.assertEqual(status, 200)
        self.assertEqual(element.findtext(f"{{{TDS}}}RebootNeeded"), "true")
        self.assertEqual(state["ip"], "10.0.0.40")
        self.assertEqual(self.call(state, "SystemReboot")[0], 200)
        self.assertEqual((state["ip"], state["mask"], state["ipMode"]), ("10.0.0.140", "255.255.0.0", 2))
        # DHCP on: the camera keeps its address (the simulated DHCP server gives it the same).
        dhcp = inner.replace("<tt:DHCP>false</tt:DHCP>", "<tt:DHCP>true</tt:DHCP>")
        self.assertEqual(self.call(state, "SetNetworkInterfaces", dhcp)[0], 200)
        self.assertEqual(self.call(state, "SystemReboot")[0], 200)
        self.assertEqual(state["ipMode"], 1)

    def test_name_gateway_port_and_name_servers(self):
        state = camera()
        calls = [
            ("SetHostname", "<tds:Name>gate-cam</tds:Name>"),
            ("SetScopes", "<tds:Scopes>onvif://www.onvif.org/location/city/Zadar</tds:Scopes>"
                          f"<tds:Scopes>{camsim_onvif.scope_name('Gate Cam')}</tds:Scopes>"),
            ("SetNetworkDefaultGateway", "<tds:IPv4Address>10.0.0.254</tds:IPv4Address>"),
            ("SetNetworkProtocols", "<tds:NetworkProtocols><tt:Name>HTTP</tt:Name><tt:Enabled>true</tt:Enabled>"
                                    "<tt:Port>8080</tt:Port></tds:NetworkProtocols>"),
            ("SetDNS", "<tds:FromDHCP>false</tds:FromDHCP><tds:DNSManual><tt:Type>IPv4</tt:Type>"
                       "<tt:IPv4Address>10.0.0.53</tt:IPv4Address></tds:DNSManual>"),
        ]
        for operation, inner in calls:
            self.assertEqual(self.call(state, operation, inner)[0], 200, operation)
        self.assertEqual((camsim_onvif.hostname_of(state), state["name"], state["gateway"], state["httpPort"],
                          state["dns1"]), ("gate-cam", "Gate Cam", "10.0.0.254", 8080, "10.0.0.53"))
        self.assertIn(camsim_onvif.scope_name("Gate Cam"), camsim.onvif_profile(state)["scopes"])
        status, element = self.call(state, "SetHostname", "<tds:Name>gate cam</tds:Name>")
        self.assertEqual((status, subcodes(element)), (400, ["ter:InvalidArgVal", "ter:InvalidHostname"]))
        status, element = self.call(state, "SetNetworkDefaultGateway", "<tds:IPv4Address>239.0.0.1</tds:IPv4Address>")
        self.assertEqual(subcodes(element), ["ter:InvalidArgVal", "ter:InvalidGatewayAddress"])
        status, element = self.call(state, "GetScopes")
        fixed = {e.findtext(f"{{{TT}}}ScopeItem"): e.findtext(f"{{{TT}}}ScopeDef")
                 for e in element.findall(f"{{{TDS}}}Scopes")}
        self.assertEqual(fixed[camsim_onvif.scope_name("Gate Cam")], "Configurable")
        self.assertEqual(fixed["onvif://www.onvif.org/type/video_encoder"], "Fixed")

    def test_hostile_requests_are_refused(self):
        state = camera()
        laughs = (b'<?xml version="1.0"?><!DOCTYPE x [<!ENTITY a "aaaa">]><s:Envelope xmlns:s="' +
                  ENV.encode() + b'"><s:Body>&a;</s:Body></s:Envelope>')
        for body in (laughs, b"<s:Envelope", b"x" * 70000, request("FormatDisk")):
            status, _, _ = camsim_onvif.handle_device_service(state, camsim.ONVIF_PATH, {}, body)
            self.assertIn(status, (400, 500))


# ---- zadari-cli in the namespaces --------------------------------------------------------------


def cli(topo: harness.Topology, *args: str, timeout: float = 90):
    return topo.pc.run([CLI, *args], timeout=timeout)


def info(topo: harness.Topology, mac: str, password: str) -> dict:
    result = cli(topo, "info", "--mac", mac, "--password", password, "--seconds", "6")
    check(result.returncode == 0, "info: " + describe(result))
    try:
        return json.loads(result.stdout)
    except json.JSONDecodeError as error:
        raise Failure(f"info printed no JSON ({error}): {describe(result)}")


def search_rows(topo: harness.Topology, seconds: float = 4) -> dict[str, dict]:
    result = cli(topo, "search", "--seconds", str(seconds), "--format", "json")
    check(result.returncode == 0, "search: " + describe(result))
    return {row["macKey"]: row for row in json.loads(result.stdout)}


def onvif_calls(sim: harness.CamSim, mac: str, authorized: bool = True) -> list[str]:
    return [e["op"] for e in sim.log(kind="onvif")
            if e.get("device") == mac_key(mac) and e.get("authorized") == authorized and e.get("status") == 200]


def onvif_device(mac: str, ip: str, **onvif) -> dict:
    return {"family": 100, "mac": mac, "name": "Lobby Cam", "ip": ip, "mask": "255.255.255.0",
            "gateway": f"{SUBNET}.1", "dns1": f"{SUBNET}.53", "onvif": dict({"password": "pw"}, **onvif)}


def case_readdress(topo: harness.Topology) -> None:
    mac = "02:5A:30:00:00:01"
    sim = topo.start_camsim([onvif_device(mac, f"{SUBNET}.40", clockOffsetSeconds=3600)])
    told = info(topo, mac, "pw")
    network = told.get("network", {})
    check(told.get("family") == 100 and told.get("letters") == "ONVIF", f"info: {told}")
    check((network.get("ip"), network.get("prefixLength"), network.get("dhcp"), network.get("gateway"))
          == (f"{SUBNET}.40", 24, False, f"{SUBNET}.1"), f"info: {told}")
    check(network.get("name") == "Lobby Cam" and network.get("hostname") == "lobby-cam", f"info: {told}")
    check(told.get("device", {}).get("manufacturer") == "Camsim", f"info: {told}")

    result = cli(topo, "apply", "--mac", mac, "--ip", f"{SUBNET}.140", "--name", "Gate Cam",
                 "--password", "pw", "--seconds", "6")
    check(result.returncode == 0, "apply: " + describe(result))
    check(result.stdout.startswith("applied: family 100 (ONVIF)"), "apply: " + describe(result))
    check("IDS_ONVIF_REBOOTING" in result.stdout, "no restart message: " + describe(result))
    time.sleep(0.5)
    sets = [op for op in onvif_calls(sim, mac) if not op.startswith("Get")]
    check(sets == ["SetScopes", "SetNetworkInterfaces", "SystemReboot"], f"set calls: {sets}")
    state = next(d for d in sim.state() if mac_key(d["mac"]) == mac_key(mac))
    check((state["ip"], state["mask"], state["name"]) == (f"{SUBNET}.140", "255.255.255.0", "Gate Cam"),
          f"state: {state}")

    rows = search_rows(topo)
    row = rows.get(mac_key(mac))
    check(row is not None, f"not listed after the apply: {list(rows)}")
    check((row["ip"], row["family"], row["name"]) == (f"{SUBNET}.140", 100, "Gate Cam"), f"row: {row}")
    hellos = [e for e in sim.log(kind="announce") if e.get("device") == mac_key(mac) and "hello" in e.get("what", [])]
    check(len(hellos) >= 2, f"no Hello after the restart: {hellos}")
    moved = info(topo, mac, "pw")
    check(moved.get("network", {}).get("ip") == f"{SUBNET}.140", f"info after: {moved}")


def case_dhcp(topo: harness.Topology) -> None:
    mac = "02:5A:30:00:00:02"
    sim = topo.start_camsim([onvif_device(mac, f"{SUBNET}.41", clockOffsetSeconds=-3600)])
    result = cli(topo, "apply", "--mac", mac, "--mode", "dynamic", "--password", "pw", "--seconds", "6")
    check(result.returncode == 0, "apply: " + describe(result))
    time.sleep(0.5)
    sets = [op for op in onvif_calls(sim, mac) if not op.startswith("Get")]
    check(sets == ["SetDNS", "SetNetworkInterfaces", "SystemReboot"], f"set calls: {sets}")
    told = info(topo, mac, "pw")
    check(told.get("network", {}).get("dhcp") is True, f"info: {told}")
    check(told.get("network", {}).get("dnsFromDhcp") is True, f"info: {told}")


def case_wrong_password(topo: harness.Topology) -> None:
    mac = "02:5A:30:00:00:03"
    sim = topo.start_camsim([onvif_device(mac, f"{SUBNET}.42")])
    result = cli(topo, "apply", "--mac", mac, "--ip", f"{SUBNET}.142", "--password", "nope", "--seconds", "6")
    check(result.returncode == 1, "apply: " + describe(result))
    check(result.stdout.startswith("not applied: family 100 (ONVIF)"), describe(result))
    check("The camera refused the account" in result.stdout and "IDS_ONVIF_NOTAUTHORIZED" in result.stdout,
          describe(result))
    check("nope" not in result.stdout + result.stderr, "the password was printed: " + describe(result))
    result = cli(topo, "info", "--mac", mac, "--password", "nope", "--seconds", "6")
    check(result.returncode == 1 and "IDS_ONVIF_NOTAUTHORIZED" in result.stdout, "info: " + describe(result))
    time.sleep(0.3)
    refused = [e for e in sim.log(kind="onvif") if e.get("fault") == "NotAuthorized"]
    check(refused, f"the camera refused nothing: {sim.log(kind='onvif')}")
    check(onvif_calls(sim, mac) == ["GetSystemDateAndTime", "GetSystemDateAndTime"],
          f"calls the camera took: {onvif_calls(sim, mac)}")
    state = next(d for d in sim.state() if mac_key(d["mac"]) == mac_key(mac))
    check(state["ip"] == f"{SUBNET}.42", f"changed: {state}")


CASES = {"readdress": case_readdress, "dhcp": case_dhcp, "wrong-password": case_wrong_password}


def main() -> int:
    global CLI
    parser = argparse.ArgumentParser()
    parser.add_argument("--unit", action="store_true", help="only the device service, called directly")
    parser.add_argument("--cli", help="the zadari-cli program")
    parser.add_argument("cases", nargs="*", help="cases to run (default: all)")
    options = parser.parse_args()
    if options.unit:
        suite = unittest.TestLoader().loadTestsFromTestCase(DeviceService)
        return 0 if unittest.TextTestRunner(verbosity=1).run(suite).wasSuccessful() else 1
    if not options.cli:
        parser.error("--cli is needed for the namespace cases")
    CLI = os.path.abspath(options.cli)
    harness.skip_unless_available()
    failed = []
    for name in options.cases or list(CASES):
        if name not in CASES:
            print(f"unknown case {name}; cases: {', '.join(CASES)}")
            return 1
        started = time.monotonic()
        try:
            with harness.Topology() as topo:
                CASES[name](topo)
            print(f"PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
        except Exception:  # noqa: BLE001 - report every case
            failed.append(name)
            print(f"FAIL {name}\n{traceback.format_exc()}", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
