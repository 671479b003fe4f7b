#!/usr/bin/env python3
"""End-to-end tests of the family-9 ("DH") client and of `zadari-cli upgrade`, inside namespaces.

    python3 tests/e2e/test_family9.py --cli build/dev/zadari-cli [CASE ...]

Cases: see CASES below (all when none is named). Exit 0 when every case passed, 1 when one
failed, 77 when namespaces cannot be made here (not root, no iproute2).
"""

from __future__ import annotations

import argparse
import glob
import hashlib
import json
import os
import re
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import Failure, check  # noqa: E402

CLI = ""


def firmware(topo: harness.Topology, name: str, signature: bytes, size: int = 300000) -> tuple[str, str]:
    """A firmware file of `size` bytes starting with `signature`; its path and sha256."""
    body = bytearray(signature)
    body += bytes((i * 37 + (i >> 8)) & 0xFF for i in range(size - len(signature)))
    path = topo.path(name)
    with open(path, "wb") as handle:
        handle.write(body)
    return path, hashlib.sha256(body).hexdigest()


def upgrade(topo: harness.Topology, mac: str, path: str, *extra: str, timeout: float = 120):
    args = [CLI, "upgrade", "--mac", mac, "--file", path, "--seconds", "4", *extra]
    return topo.pc.run(args, timeout=timeout)


def uploads(sim) -> list[dict]:
    found = []
    for meta in sorted(glob.glob(os.path.join(sim.upload_dir, "*.json"))):
        with open(meta) as handle:
            entry = json.load(handle)
        with open(meta[:-5] + ".head", "rb") as handle:
            entry["headBytes"] = handle.read()
        found.append(entry)
    return found


def expect_exit(result, code: int, text: str | None) -> None:
    out = f"\nstdout:\n{result.stdout}\nstderr:\n{result.stderr}"
    check(result.returncode == code, f"zadari-cli exited {result.returncode}, wanted {code}{out}")
    if text is not None:
        check(text in (result.stdout + result.stderr), f"no '{text}' in the output{out}")


def check_upload(entry: dict, port: int, cgi: str, query: str, sha: str, path: str,
                 content_type: str) -> None:
    check(entry["port"] == port, f"upload on port {entry['port']}, wanted {port}: {entry}")
    check(entry["cgi"] == cgi, f"upload to {entry['cgi']}, wanted {cgi}")
    check(entry["query"] == query, f"query {entry['query']!r}, wanted {query!r}")
    check(entry["complete"], f"the body did not arrive whole: {entry}")
    part = entry["part"]
    check(part.get("closed"), f"the multipart body is not closed: {part}")
    check(part.get("name") == "file", f"field name {part.get('name')!r}")
    check(part.get("filename") == path, f"file name {part.get('filename')!r}, wanted {path!r}")
    check(part.get("contentType") == content_type, f"part type {part.get('contentType')!r}")
    check(part.get("transferEncoding") == "binary", f"transfer encoding {part.get('transferEncoding')!r}")
    check(part.get("sha256") == sha, "the uploaded bytes differ from the file")
    check(b"authorization" not in entry["headBytes"].lower(), "an Authorization header was sent")


# --- cases ---------------------------------------------------------------------------------

F9_MAC = "00:1A:2B:3C:4D:09"


def f9_device(topo, **changes) -> dict:
    device = {"family": 9, "mac": F9_MAC, "name": "dh-cam", "userName": "admin", "userPassword": "pw"}
    device.update(changes)
    return device


def case_listed(topo: harness.Topology) -> None:
    """The search cycle's family-9 step lists DH devices with the record's field mapping."""
    ip = topo.camera.addr
    topo.start_camsim([
        f9_device(topo, deviceId="SN-9", version="84.2.0.121", httpPort=81, ipMode=1,
                  ddnsHost="d.example", ddnsHost2="e.example", ddnsUser="du", ddnsPassword="dp"),
        {"family": 9, "mac": "00:1A:2B:3C:4D:0A", "name": "second", "ipMode": 2},
    ])
    result = topo.pc.run([CLI, "search", "--seconds", "3", "--format", "json"], timeout=60)
    check(result.returncode == 0, f"search exited {result.returncode}: {result.stderr}")
    rows = {row["macKey"]: row for row in json.loads(result.stdout)}
    check("001A2B3C4D09" in rows and "001A2B3C4D0A" in rows, f"family-9 rows missing: {list(rows)}")
    row = rows["001A2B3C4D09"]
    wanted = {"family": 9, "mac": F9_MAC, "deviceId": "SN-9", "name": "dh-cam", "version": "84.2.0.121",
              "ip": ip, "httpPort": 81, "ipMode": 1, "dnsAuto": 0, "ddnsEnabled": 1, "ddnsPort": 808,
              "ddnsHost": "d.example", "ddnsHost2": "e.example", "ddnsUser": "du", "ddnsPassword": "dp",
              "userName": "admin", "userPassword": "pw", "protocolVersion": 0, "ddnsOption": 0}
    for field, value in wanted.items():
        check(row.get(field) == value, f"{field} is {row.get(field)!r}, wanted {value!r}")
    check(rows["001A2B3C4D0A"]["ipMode"] == 2, "byte 301 = 0 is fixed addressing")


def case_f9_old_firmware(topo: harness.Topology) -> None:
    """Firmware older than 84.2.0.121 takes its upload on the web port."""
    sim = topo.start_camsim([f9_device(topo, sysVer="84.2.0.120", httpPort=81)], http=True)
    path, sha = firmware(topo, "f9-old.bin", b"ANY!")
    result = upgrade(topo, F9_MAC, path, "--user", "admin", "--password", "pw")
    expect_exit(result, 0, "Upgrade success!")
    got = uploads(sim)
    check(len(got) == 1, f"{len(got)} uploads")
    check_upload(got[0], 81, "upgrade_firmware.cgi", "loginuse=admin&loginpas=pw", sha, path,
                 "application/x-zip-compressed")
    status = [e for e in sim.log(kind="http") if "get_Status.cgi" in e["target"]]
    check(status and status[0]["target"] == "/get_Status.cgi?user=admin&pwd=pw",
          f"status query: {status}")


def case_f9_port_8600(topo: harness.Topology) -> None:
    """From 84.2.0.121 on (as text) the firmware goes to port 8600 of the same host."""
    sim = topo.start_camsim([f9_device(topo, sysVer="84.2.0.121", httpPort=81)], http=True)
    path, sha = firmware(topo, "f9-new.bin", b"ANY!")
    expect_exit(upgrade(topo, F9_MAC, path, "--password", "pw"), 0, "Upgrade success!")
    got = uploads(sim)
    check(len(got) == 1, f"{len(got)} uploads")
    check_upload(got[0], 8600, "upgrade_firmware.cgi", "loginuse=admin&loginpas=pw", sha, path,
                 "application/x-zip-compressed")


def case_f9_account_whole(topo: harness.Topology) -> None:
    """A blank and a '#' in the account travel escaped, everything else as typed: the status
    query is answered, so firmware 84.2.0.121 goes to port 8600."""
    sim = topo.start_camsim([f9_device(topo, sysVer="84.2.0.121", httpPort=81)], http=True)
    path, sha = firmware(topo, "f9-account.bin", b"ANY!")
    expect_exit(upgrade(topo, F9_MAC, path, "--password", "p w#1&x+y"), 0, "Upgrade success!")
    status = [e for e in sim.log(kind="http") if "get_Status.cgi" in e["target"]]
    check(status and status[0]["target"] == "/get_Status.cgi?user=admin&pwd=p%20w%231&x+y",
          f"status query: {status}")
    got = uploads(sim)
    check(len(got) == 1, f"{len(got)} uploads")
    check_upload(got[0], 8600, "upgrade_firmware.cgi", "loginuse=admin&loginpas=p%20w%231&x+y", sha,
                 path, "application/x-zip-compressed")


def case_f9_web_ui(topo: harness.Topology) -> None:
    """The web UI always goes to the base address, whatever the version."""
    sim = topo.start_camsim([f9_device(topo, sysVer="99.0", httpPort=81)], http=True)
    path, sha = firmware(topo, "f9-web.bin", b"\x00\x01\x02\x03", 70000)
    expect_exit(upgrade(topo, F9_MAC, path, "--web-ui", "--user", " root ", "--password", "x"), 0,
                "Upgrade success!")
    got = uploads(sim)
    check(len(got) == 1, f"{len(got)} uploads")
    check_upload(got[0], 81, "upgrade_htmls.cgi", "loginuse=root&loginpas=x", sha, path,
                 "application/x-zip-compressed")


def case_f3_client_path(topo: harness.Topology) -> None:
    """Family 3 goes through the family-9 client's upload as well."""
    sim = topo.start_camsim([{"family": 3, "mac": "02:5A:30:00:00:03", "name": "ui"}], http=True)
    path, sha = firmware(topo, "f3.bin", b"ABCD")
    expect_exit(upgrade(topo, "02:5A:30:00:00:03", path), 0, "Upgrade success!")
    got = uploads(sim)
    check(len(got) == 1, f"{len(got)} uploads")
    # sys_ver 21.1.0.1 sorts before 84.2.0.121: the web port.
    check_upload(got[0], 80, "upgrade_firmware.cgi", "loginuse=admin&loginpas=", sha, path,
                 "application/x-zip-compressed")


F2_MAC = "025A20000002"


def case_f2_system_firmware(topo: harness.Topology) -> None:
    """Family 2 posts the file itself: the head lines in their order, the Host with the port."""
    sim = topo.start_camsim([{"family": 2, "mac": F2_MAC, "name": "moi", "httpPort": 8080}], http=True)
    path, sha = firmware(topo, "f2.bin", b"BNEG")
    expect_exit(upgrade(topo, F2_MAC, path, "--user", "ad&min", "--password", "s"), 0, "Upgrade success!")
    got = uploads(sim)
    check(len(got) == 1, f"{len(got)} uploads")
    entry = got[0]
    check_upload(entry, 8080, "upgrade_firmware.cgi", "user=ad&min&pwd=s&next_url=reboot.htm", sha, path,
                 "application/octet-stream")
    lines = entry["headBytes"].decode("latin-1").split("\r\n")
    check(lines[0] == "POST /upgrade_firmware.cgi?user=ad&min&pwd=s&next_url=reboot.htm HTTP/1.1",
          f"request line {lines[0]!r}")
    check(re.fullmatch(r"Content-Type: multipart/form-data; boundary=-{8}\d{15}", lines[1]) is not None,
          f"line 2 {lines[1]!r}")
    check(lines[2] == f"Content-Length: {entry['bodyLength']}", f"line 3 {lines[2]!r}")
    check(lines[3] == f"Host: {topo.camera.addr}:8080", f"line 4 {lines[3]!r}")
    check(lines[4] == "Accept: text/html, */*", f"line 5 {lines[4]!r}")
    check(lines[5] == "User-Agent: Mozilla/3.0 (compatible; Indy Library)", f"line 6 {lines[5]!r}")
    check(lines[6:] == ["", ""], f"more header lines: {lines[6:]!r}")


def case_f2_web_ui_and_signatures(topo: harness.Topology) -> None:
    sim = topo.start_camsim([{"family": 2, "mac": F2_MAC, "name": "moi"}], http=True)
    wrong, _ = firmware(topo, "f2-wrong.bin", b"BNEF")
    expect_exit(upgrade(topo, F2_MAC, wrong), 2, "The selected file is incorrect.")
    expect_exit(upgrade(topo, F2_MAC, wrong, "--web-ui"), 2, "The selected file is incorrect.")
    check(uploads(sim) == [], "a file with the wrong signature was sent")
    path, sha = firmware(topo, "f2-web.bin", b"\xBD\x9A\x0C\x44")
    expect_exit(upgrade(topo, F2_MAC, path, "--web-ui"), 0, "Upgrade success!")
    got = uploads(sim)
    check(len(got) == 1, f"{len(got)} uploads")
    check_upload(got[0], 80, "upgrade_htmls.cgi", "user=admin&pwd=&next_url=reboot.htm", sha, path,
                 "application/octet-stream")
    check(b"\r\nHost: " + topo.camera.addr.encode() + b"\r\n" in got[0]["headBytes"],
          "port 80 gives a bare Host")


def case_refused_uploads(topo: harness.Topology) -> None:
    """A 302 or a 401 answer is "Upgrade failed!", with no second request."""
    sim = topo.start_camsim([
        {"family": 2, "mac": F2_MAC, "name": "moi302", "httpAnswer": 302},
        f9_device(topo, httpAnswer=401, httpPort=81, sysVer="1.0"),
    ], http=True)
    f2, _ = firmware(topo, "r2.bin", b"BNEG")
    f9, _ = firmware(topo, "r9.bin", b"ABCD")
    expect_exit(upgrade(topo, F2_MAC, f2), 1, "Upgrade failed!")
    expect_exit(upgrade(topo, F9_MAC, f9), 1, "Upgrade failed!")
    got = uploads(sim)
    check(len(got) == 2, f"{len(got)} uploads (a redirect followed or a retry with credentials?)")
    check(all(b"authorization" not in e["headBytes"].lower() for e in got), "credentials were sent")


def case_short_file_and_missing_device(topo: harness.Topology) -> None:
    topo.start_camsim([f9_device(topo)], http=True)
    short, _ = firmware(topo, "short.bin", b"ABC", 3)
    expect_exit(upgrade(topo, F9_MAC, short), 2, "The selected file is incorrect.")
    path, _ = firmware(topo, "ok.bin", b"ABCD")
    expect_exit(upgrade(topo, "00:11:22:33:44:55", path), 3, None)


CASES = {
    "listed": (case_listed, {}),
    "f9-old-firmware": (case_f9_old_firmware, {}),
    "f9-port-8600": (case_f9_port_8600, {}),
    "f9-account-whole": (case_f9_account_whole, {}),
    "f9-web-ui": (case_f9_web_ui, {}),
    "f3-client-path": (case_f3_client_path, {}),
    "f2-system-firmware": (case_f2_system_firmware, {}),
    "f2-web-ui-and-signatures": (case_f2_web_ui_and_signatures, {}),
    "refused-uploads": (case_refused_uploads, {}),
    "short-file-and-missing-device": (case_short_file_and_missing_device, {}),
}


def main() -> int:
    global CLI
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True, help="the zadari-cli program")
    parser.add_argument("--skip", action="append", default=[], help="a case not to run")
    parser.add_argument("cases", nargs="*", help="cases to run (default: all)")
    options = parser.parse_args()
    CLI = os.path.abspath(options.cli)
    harness.skip_unless_available()
    if not os.access(CLI, os.X_OK):
        print(f"no zadari-cli at {CLI}")
        return 1
    names = [name for name in (options.cases or list(CASES)) if name not in options.skip]
    failed = []
    for name in names:
        if name not in CASES:
            print(f"unknown case {name}; cases: {', '.join(CASES)}")
            return 1
        run, topology = CASES[name]
        started = time.monotonic()
        try:
            with harness.Topology(**topology) as topo:
                run(topo)
            print(f"PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
        except Exception:  # noqa: BLE001 - report every case
            failed.append(name)
            print(f"FAIL {name}\n{traceback.format_exc()}", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
