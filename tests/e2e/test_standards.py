#!/usr/bin/env python3
"""End-to-end tests of standard discovery (ONVIF WS-Discovery, SSDP/UPnP, mDNS/DNS-SD) in
`zadari-cli search`, inside namespaces only.

    python3 tests/e2e/test_standards.py --cli build/dev/zadari-cli [CASE ...]

Cases: simulated (ONVIF, UPnP and mDNS devices on two adapters, no default route, with their
fields), one-row (a device answering PELTRA and ONVIF with one MAC), peers (avahi-daemon and a
real UPnP device listed, wsdd's computer not), bye (an ONVIF Bye removes the row). Exit 0 when
every case passed, 1 when one failed, 77 when namespaces cannot be made here.
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import Failure, check  # noqa: E402
import peers  # noqa: E402

CLI = ""


def search_json(namespace: harness.Namespace, seconds: float = 4) -> list[dict]:
    result = namespace.run([CLI, "search", "--seconds", str(seconds), "--format", "json"], timeout=120)
    check(result.returncode == 0,
          f"zadari-cli exited {result.returncode}\nstdout:\n{result.stdout}\nstderr:\n{result.stderr}")
    try:
        return json.loads(result.stdout)
    except json.JSONDecodeError as error:
        raise Failure(f"not JSON ({error}):\n{result.stdout}")


def by_mac(rows: list[dict]) -> dict[str, list[dict]]:
    found: dict[str, list[dict]] = {}
    for row in rows:
        found.setdefault(row["macKey"], []).append(row)
    return found


def one(rows: list[dict], mac_key: str) -> dict:
    matching = by_mac(rows).get(mac_key, [])
    check(len(matching) == 1, f"{len(matching)} rows for {mac_key}: {json.dumps(rows, indent=1)[:4000]}")
    return matching[0]


# --- cases ---------------------------------------------------------------------------------


def case_simulated(topo: harness.Topology) -> None:
    a, b = topo.cameras[0], topo.cameras[1]
    topo.start_camsim([
        {"family": 100, "mac": "02:5A:20:00:00:01", "name": "Gate", "hardware": "CS-9000",
         "location": "site/north", "serial": "SN-0001"},
        {"family": 101, "mac": "02:5A:20:00:00:02", "name": "Lobby", "manufacturer": "Camsim Corp"},
        {"family": 102, "mac": "02:5A:20:00:00:03", "name": "Yard Cam"},
    ], camera=0)
    topo.start_camsim([
        {"family": 100, "mac": "02:5A:20:00:01:01", "name": "Dock",
         "onvif": {"xaddrIp": "192.168.0.90"}},
    ], camera=1)
    rows = search_json(topo.pc)

    onvif = one(rows, "025A20000001")
    check(onvif["letters"] == "ONVIF" and onvif["family"] == 100 and onvif["name"] == "Gate", str(onvif))
    check(onvif["ip"] == a.addr, str(onvif))
    check(list(onvif["standards"]) == ["onvif"], str(onvif))
    info = onvif["standards"]["onvif"]
    check((info["hardware"], info["location"], info["serial"]) == ("CS-9000", "site/north", "SN-0001"), str(info))
    check(info["endpoint"].startswith("urn:uuid:"), str(info))
    check(any(x.startswith(f"http://{a.addr}") for x in info["xaddrs"]), str(info))
    check(not info["xaddrMismatch"], str(info))

    upnp = one(rows, "025A20000002")
    check(upnp["letters"] == "UPnP" and upnp["name"] == "Lobby", str(upnp))
    details = upnp["standards"]["upnp"]
    check(details["manufacturer"] == "Camsim Corp" and details["udn"].startswith("uuid:"), str(details))
    check(details["location"].startswith(f"http://{a.addr}:"), str(details))

    mdns = one(rows, "025A20000003")
    check(mdns["letters"] == "mDNS" and mdns["name"] == "Yard Cam", str(mdns))
    check("_http._tcp" in mdns["standards"]["mdns"]["serviceTypes"], str(mdns))

    # The second adapter, with a stale advertised address.
    dock = one(rows, "025A20000101")
    check(dock["ip"] == b.addr and dock["letters"] == "ONVIF", str(dock))
    check(dock["standards"]["onvif"]["xaddrMismatch"], str(dock))


def case_one_row(topo: harness.Topology) -> None:
    topo.start_camsim([
        {"family": 1, "mac": "02:5A:20:00:02:01", "name": "both", "onvif": {}, "upnp": {}, "mdns": {}},
    ], camera=0)
    rows = search_json(topo.pc)
    row = one(rows, "025A20000201")
    check(row["letters"] == "M" and row["family"] == 1 and row["name"] == "both", str(row))
    check(sorted(row["standards"]) == ["mdns", "onvif", "upnp"], str(row))
    check(len(rows) == 1, json.dumps(rows)[:3000])


def case_peers(topo: harness.Topology) -> None:
    missing = [p.unavailable() for p in (peers.AvahiPublisher, peers.UpnpLight, peers.Wsdd) if p.unavailable()]
    if missing:
        print("SKIPPED peers: " + "; ".join(missing), flush=True)
        return
    service = {"name": "Avahi Camera", "type": "_axis-video._tcp", "port": 8080,
               "txt": {"macaddress": "02:5A:20:00:03:01"}}
    with peers.AvahiPublisher(topo, topo.cameras[0], [service], host="avahicam"), \
            peers.UpnpLight(topo, topo.cameras[1], name="Zadari Light"), \
            peers.Wsdd(topo, topo.cameras[2], hostname="ZADARI-PC"):
        rows = search_json(topo.pc, 5)
    avahi = one(rows, "025A20000301")
    check(avahi["letters"] == "mDNS" and avahi["name"] == "Avahi Camera", str(avahi))
    check(avahi["ip"] == topo.cameras[0].addr and avahi["standards"]["mdns"]["port"] == 8080, str(avahi))
    lights = [r for r in rows if r.get("standards", {}).get("upnp", {}).get("friendlyName") == "Zadari Light"]
    check(len(lights) == 1, json.dumps(rows)[:4000])
    light = lights[0]["standards"]["upnp"]
    check(light["deviceType"] == "urn:schemas-upnp-org:device:DimmableLight:1", str(light))
    check(light["udn"].startswith("uuid:") and lights[0]["ip"] == topo.cameras[1].addr, str(lights[0]))
    computers = [r for r in rows if r["ip"] == topo.cameras[2].addr]
    check(computers == [], f"the computer was listed: {computers}")


def case_bye(topo: harness.Topology) -> None:
    sim = topo.start_camsim([{"family": 100, "mac": "02:5A:20:00:04:01", "name": "Leaving"}], camera=0)
    # A long search: the camera is listed, then says Bye when the simulator stops; the row must
    # go at once, long before it would age out (10 s).
    process = topo.pc.popen([CLI, "search", "--seconds", "9", "--format", "json"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    time.sleep(3)
    sim.stop()
    out, err = process.communicate(timeout=60)
    check(process.returncode == 0, f"zadari-cli exited {process.returncode}: {err}")
    rows = json.loads(out)
    check("025A20000401" not in by_mac(rows), f"still listed after its Bye: {rows}")


CASES = {
    "simulated": (case_simulated, 2),
    "one-row": (case_one_row, 1),
    "peers": (case_peers, 3),
    "bye": (case_bye, 1),
}


def main() -> int:
    global CLI
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("cases", nargs="*")
    args = parser.parse_args()
    CLI = os.path.abspath(args.cli)
    harness.skip_unless_available()
    failed = 0
    for name in args.cases or list(CASES):
        run, cameras = CASES[name]
        try:
            with harness.Topology(cameras=cameras) as topo:
                run(topo)
            print(f"PASS {name}", flush=True)
        except Exception:  # noqa: BLE001 - every failure is reported with its case
            failed += 1
            print(f"FAIL {name}\n{traceback.format_exc()}", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
