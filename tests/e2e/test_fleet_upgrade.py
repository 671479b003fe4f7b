#!/usr/bin/env python3
"""End-to-end tests of the fleet upgrade (`zadari-cli upgrade` with several --mac) against the
camera simulator, inside namespaces.

    python3 tests/e2e/test_fleet_upgrade.py --cli build/dev/zadari-cli [CASE ...]

Cases: fleet (12 cameras of families 2, 3 and 9 with --parallel 3: whole files, the limit of
uploads at once, a camera answering 401 fails alone, a camera that does not come back, an unknown
MAC), family-files (one file per family, web UI). Exit 0 when every case passed, 1 when one
failed, 77 when namespaces cannot be made here.
"""

from __future__ import annotations

import argparse
import collections
import glob
import hashlib
import json
import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CLI = ""
SUBNET = "10.231.0"


class Failure(AssertionError):
    pass


def check(condition: bool, message: str) -> None:
    if not condition:
        raise Failure(message)


def describe(result) -> str:
    return f"exit {result.returncode}\nstdout:\n{result.stdout}\nstderr:\n{result.stderr}"


def firmware(topo: harness.Topology, name: str, signature: bytes, size: int) -> tuple[str, str]:
    """A file of `size` bytes starting with `signature`; its path and sha256."""
    body = bytearray(signature)
    body += hashlib.shake_256(name.encode()).digest(size - len(signature))
    path = topo.path(name)
    with open(path, "wb") as handle:
        handle.write(body)
    return path, hashlib.sha256(body).hexdigest()


def mac_of(family: int, index: int) -> str:
    if family == 2:
        return f"025A2F0000{index:02X}"  # MO_I sends its MAC as text
    return f"02:5A:{family}F:00:00:{index:02X}"


def colon(mac: str) -> str:
    key = mac.replace(":", "").upper()
    return ":".join(key[i:i + 2] for i in range(0, 12, 2))


def camera(family: int, index: int, **extra) -> dict:
    device = {"family": family, "mac": mac_of(family, index), "name": f"up{index}",
              "ip": f"{SUBNET}.{20 + index}", "mask": "255.255.255.0", "gateway": f"{SUBNET}.1",
              "httpPort": 80, "ipMode": 2, "rebootMs": 6000}
    if family == 2:
        device.update(version="1.2.3.4:5.6.7.8", upgradeVersion="1.2.3.5:5.6.7.8")
    elif family == 3:
        device.update(version="01-0A", upgradeVersion="01-0B")
    else:
        # Half of them are new enough to take their firmware on port 8600.
        device.update(version="21.1.0.1", upgradeVersion="21.1.0.2",
                      sysVer="84.2.0.121" if index % 2 else "84.2.0.120")
    device.update(extra)
    return device


def uploads(sim) -> list[dict]:
    found = []
    for meta in sorted(glob.glob(os.path.join(sim.upload_dir, "*.json"))):
        with open(meta) as handle:
            found.append(json.load(handle))
    return found


def most_at_once(intervals: list[tuple[float, float]]) -> int:
    """The largest number of intervals that overlap at one moment."""
    events = sorted([(start, 1) for start, _ in intervals] + [(end, -1) for _, end in intervals],
                    key=lambda event: (event[0], event[1]))
    now = most = 0
    for _, step in events:
        now += step
        most = max(most, now)
    return most


def run_upgrade(topo, macs: list[str], *options: str, timeout: float = 240):
    args = [CLI, "upgrade"]
    for mac in macs:
        args += ["--mac", mac]
    return topo.pc.run(args + list(options), timeout=timeout)


def case_fleet(topo: harness.Topology) -> None:
    devices = [camera((2, 3, 9)[i % 3], i) for i in range(12)]
    refusing = devices[5]             # family 9: answers the upload with 401
    refusing["httpAnswer"] = 401
    gone = devices[9]                 # family 2: takes the file and never comes back
    gone["rebootMs"] = -1
    sim = topo.start_camsim(devices, http=True)
    # "BNEG" suits family 2's system firmware; families 3 and 9 take any file.
    path, sha = firmware(topo, "fleet.bin", b"BNEG", 8 * 1024 * 1024)
    report = topo.path("report.json")
    unknown = "02:5A:EE:00:00:01"
    started = time.monotonic()
    result = run_upgrade(topo, [d["mac"] for d in devices] + [unknown], "--file", path,
                         "--parallel", "3", "--report", report, "--seconds", "8",
                         "--back-seconds", "25")
    took = time.monotonic() - started
    check(result.returncode == 1, "a refused upload, a camera not back, an unknown MAC: " + describe(result))
    with open(report, encoding="utf-8") as handle:
        rows = json.load(handle)
    check(len(rows) == 13, f"{len(rows)} report rows: {rows}")
    by_mac = {row["mac"]: row for row in rows}
    for row in rows:
        check({"mac", "status", "ip", "family", "versionBefore", "versionAfter", "detail"} <= set(row),
              f"report row {row}")
    check(by_mac[unknown]["status"] == "not-found", f"unknown MAC: {by_mac[unknown]}")
    check(by_mac[colon(refusing["mac"])]["status"] == "failed", f"401: {by_mac[colon(refusing['mac'])]}")
    check(by_mac[colon(gone["mac"])]["status"] == "not-back", f"gone: {by_mac[colon(gone['mac'])]}")
    done = [d for d in devices if d is not refusing and d is not gone]
    for d in done:
        row = by_mac[colon(d["mac"])]
        check(row["status"] == "done", f"{d['mac']} (family {d['family']}): {row}")
        check(row["family"] == d["family"] and row["ip"] == d["ip"], f"{d['mac']}: {row}")
        check(row["versionAfter"] and row["versionAfter"] != row["versionBefore"],
              f"{d['mac']}: the version after the restart: {row}")
    check(f"done {colon(done[0]['mac'])}" in result.stdout, describe(result))

    # Every camera got the whole file exactly once, the refusing one too (it answered after it).
    time.sleep(0.3)
    got = uploads(sim)
    per_device = collections.Counter(entry["device"] for entry in got)
    for d in devices:
        key = d["mac"].replace(":", "").upper()
        check(per_device[key] == 1, f"{d['mac']} (family {d['family']}) got {per_device[key]} uploads")
    for entry in got:
        check(entry["complete"] and entry["part"].get("closed"), f"incomplete upload: {entry}")
        check(entry["part"]["sha256"] == sha, f"{entry['device']}: the bytes differ from the file")
        family = entry["family"]
        check(entry["cgi"] == "upgrade_firmware.cgi", f"{entry['device']}: {entry['cgi']}")
        if family == 2:
            check(entry["query"] == "user=admin&pwd=&next_url=reboot.htm", f"family 2 query {entry['query']}")
            check(entry["part"]["contentType"] == "application/octet-stream", f"family 2 part {entry['part']}")
        else:
            check(entry["query"] == "loginuse=admin&loginpas=", f"family {family} query {entry['query']}")
            check(entry["part"]["contentType"] == "application/x-zip-compressed", f"part {entry['part']}")
    for d in devices:
        if d["family"] == 9:
            entry = next(e for e in got if e["device"] == d["mac"].replace(":", ""))
            wanted = 8600 if d["sysVer"] == "84.2.0.121" else 80
            check(entry["port"] == wanted, f"{d['mac']} (sys_ver {d['sysVer']}) took it on {entry['port']}")

    # Never more than three at once, and more than one at some moment.
    most = most_at_once([(entry["tStart"], entry["tEnd"]) for entry in got])
    check(most <= 3, f"{most} uploads at once with --parallel 3")
    check(most >= 2, f"the uploads never overlapped ({most} at most)")
    restarts = {entry["device"] for entry in sim.log(kind="restart")}
    check(refusing["mac"].replace(":", "") not in restarts, "the refusing camera restarted")
    print(f"  12 cameras x 8 MiB, --parallel 3: {most} uploads at once at most, {took:.1f} s in all",
          flush=True)


def case_family_files(topo: harness.Topology) -> None:
    devices = [camera(2, 0), camera(3, 1), camera(9, 2)]
    for d in devices:
        d["rebootMs"] = 3000
    sim = topo.start_camsim(devices, http=True)
    web2, sha2 = firmware(topo, "web2.bin", b"\xBD\x9A\x0C\x44", 300000)
    other, sha_other = firmware(topo, "other.bin", b"WEB!", 200000)
    report = topo.path("report.json")
    result = run_upgrade(topo, [d["mac"] for d in devices], "--web-ui", "--file", other,
                         "--family-file", f"2={web2}", "--report", report, "--seconds", "6",
                         "--back-seconds", "20")
    check(result.returncode == 0, describe(result))
    with open(report, encoding="utf-8") as handle:
        check([row["status"] for row in json.load(handle)] == ["done"] * 3, "every camera done")
    got = {entry["device"]: entry for entry in uploads(sim)}
    check(len(got) == 3, f"{len(got)} uploads")
    f2 = got[devices[0]["mac"]]
    check((f2["cgi"], f2["part"]["sha256"], f2["part"]["filename"]) == ("upgrade_htmls.cgi", sha2, web2),
          f"family 2: {f2}")
    for d in devices[1:]:
        entry = got[d["mac"].replace(":", "")]
        check((entry["cgi"], entry["part"]["sha256"], entry["port"]) == ("upgrade_htmls.cgi", sha_other, 80),
              f"family {d['family']}: {entry}")


CASES = {"fleet": case_fleet, "family-files": case_family_files}


def main() -> int:
    global CLI
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True, help="the zadari-cli program")
    parser.add_argument("cases", nargs="*", help="cases to run (default: all)")
    options = parser.parse_args()
    CLI = os.path.abspath(options.cli)
    harness.skip_unless_available()
    failed = []
    for name in options.cases or list(CASES):
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
