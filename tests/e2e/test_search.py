#!/usr/bin/env python3
"""End-to-end tests of `zadari-cli search` against the camera simulator, inside namespaces.

    python3 tests/e2e/test_search.py --cli build/dev/zadari-cli [CASE ...]

With --usage only the usage errors are checked (outside namespaces: nothing is sent).
Cases: families, ageing, every-third-tick, ip-echo, no-default-route, two-adapters,
two-families-one-row, formats (all when none is named). Exit 0 when every case passed, 1 when one failed,
77 when namespaces cannot be made here (not root, no iproute2).
"""

from __future__ import annotations

import argparse
import json
import os
import re
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import Failure, check, mac_key  # noqa: E402

CLI = ""


def search(topo: harness.Topology, seconds: float = 3, *extra: str, timeout: float = 60):
    """Runs zadari-cli search in the pc namespace; returns the completed process."""
    args = [CLI, "search", "--seconds", str(seconds), *extra]
    result = topo.pc.run(args, timeout=timeout)
    check(result.returncode == 0,
          f"zadari-cli exited {result.returncode}\nstdout:\n{result.stdout}\nstderr:\n{result.stderr}")
    return result


def search_json(topo: harness.Topology, seconds: float = 3) -> list[dict]:
    result = search(topo, seconds, "--format", "json")
    try:
        return json.loads(result.stdout)
    except json.JSONDecodeError as error:
        raise Failure(f"not JSON ({error}):\n{result.stdout}")


def rows_by_key(rows: list[dict]) -> dict[str, list[dict]]:
    found: dict[str, list[dict]] = {}
    for row in rows:
        found.setdefault(row["macKey"], []).append(row)
    return found


# --- cases ---------------------------------------------------------------------------------

LETTERS = {0: "E", 1: "M", 2: "F", 3: "F1", 5: "E", 6: "V", 7: "F2", 8: "H", 9: "T", 999: "NAS"}


def family_devices(base_ip: str) -> list[dict]:
    devices = []
    for index, family in enumerate((0, 1, 2, 3, 5, 6, 7, 8, 9, 999)):
        device = {
            "family": family,
            # MO_I devices carry their MAC as at most 13 characters of text: no separators.
            "mac": (f"025A1000{index:02X}{family % 256:02X}" if family == 2
                    else f"02:5A:10:00:{index:02X}:{family % 256:02X}"),
            "name": f"fam{family}",
            "ip": f"{base_ip}.{50 + index}",
            "mask": "255.255.255.0",
            "gateway": f"{base_ip}.1",
            "httpPort": 8000 + index,
        }
        if family == 8:
            device["version"] = "10.2.1"
        devices.append(device)
    return devices


def case_families(topo: harness.Topology) -> None:
    devices = family_devices("10.231.0")
    topo.start_camsim(devices)
    rows = search_json(topo, 3)
    found = rows_by_key(rows)
    for device in devices:
        key = mac_key(device["mac"])
        family = device["family"]
        check(key in found, f"family {family} ({device['mac']}) not listed; rows: {rows}")
        check(len(found[key]) == 1, f"family {family} listed {len(found[key])} times")
        row = found[key][0]
        check(row["family"] == family, f"family {family}: row says {row['family']}")
        check(row["letters"] == LETTERS[family], f"family {family}: letters {row['letters']!r}")
        check(row["ip"] == device["ip"], f"family {family}: ip {row['ip']!r}, want {device['ip']!r}")
        check(row["httpPort"] == device["httpPort"],
              f"family {family}: httpPort {row['httpPort']}, want {device['httpPort']}")
        # Families 1 and 7 are asked on every third tick only, so their rows may be older.
        youngest = 7 if family in (1, 7) else 9
        check(youngest <= row["age"] <= 10, f"family {family}: age {row['age']}")
        if family != 3:  # the uicam reply carries no name
            check(row["name"] == device["name"], f"family {family}: name {row['name']!r}")
        if family in (0, 1, 2, 3, 7, 8, 999):
            check(row["mask"] == device["mask"], f"family {family}: mask {row['mask']!r}")
        check((row["rawReply"] is not None) == (family == 3),
              f"family {family}: rawReply {row['rawReply']!r}")
    check(len(rows) == len(devices), f"{len(rows)} rows for {len(devices)} devices: {rows}")
    # Display order: IP ascending.
    ips = [tuple(int(p) for p in row["ip"].split(".")) for row in rows]
    check(ips == sorted(ips), f"not in IP order: {[row['ip'] for row in rows]}")


def parse_trace(stderr: str) -> list[tuple[int, dict[str, int]]]:
    ticks = []
    for line in stderr.splitlines():
        match = re.match(r"tick (\d+) rows (\d+)(.*)$", line)
        if not match:
            continue
        ages = {}
        for item in match.group(3).split():
            mac, _, age = item.rpartition("=")
            ages[mac] = int(age)
        check(len(ages) == int(match.group(2)), f"trace line does not add up: {line}")
        ticks.append((int(match.group(1)), ages))
    return ticks


def case_ageing(topo: harness.Topology) -> None:
    mac = "02:5A:20:00:00:01"
    device = {"family": 999, "mac": mac, "name": "leaving", "ip": "10.231.0.60"}
    sim = topo.start_camsim([device])
    cli = topo.pc.popen([CLI, "search", "--seconds", "17", "--trace"], stdout=subprocess.PIPE,
                        stderr=subprocess.PIPE, text=True)
    # Let it be listed and refreshed for a few ticks, then make it fall silent.
    time.sleep(3.5)
    sim.write_devices([dict(device, silent=True)])
    stdout, stderr = cli.communicate(timeout=40)
    check(cli.returncode == 0, f"zadari-cli exited {cli.returncode}: {stderr}")
    ticks = parse_trace(stderr)
    ages = [t[1].get(mac) for t in ticks]
    # While it answers, every tick finds it refreshed (10, minus this tick's pass).
    check(ages[:2] == [9, 9], f"not refreshed while answering: {ages}")
    last_refresh = max(i for i, age in enumerate(ages) if age == 9)
    after = ages[last_refresh:]
    check(after[:9] == [9, 8, 7, 6, 5, 4, 3, 2, 1],
          f"ages after the last answer: {after} (all: {ages})")
    check(len(after) > 10 and after[9] is None and all(a is None for a in after[9:]),
          f"not gone on the tenth tick after its last answer: {after}")


def case_every_third_tick(topo: harness.Topology) -> None:
    sim = topo.start_camsim([{"family": 999, "mac": "02:5A:30:00:00:01", "ip": "10.231.0.61"}])
    search(topo, 7.5)
    whats = [entry["what"] for entry in sim.received(port=10000)]
    cycles: list[list[str]] = []
    current: list[str] = []
    for what in whats:
        if what in ("query:peltra", "query:ip") and current and "query:ip" in current:
            cycles.append(current)
            current = []
        current.append(what)
    if current:
        cycles.append(current)
    # The first cycle (tick 0) and then the timer's ticks 0, 1, 2, ...
    check(len(cycles) >= 7, f"only {len(cycles)} cycles seen: {whats}")
    ticks = [0] + list(range(len(cycles) - 1))
    for tick, cycle in zip(ticks, cycles):
        has_peltra = "query:peltra" in cycle and "query:zorix" in cycle
        check(has_peltra == (tick % 3 == 0), f"tick {tick}: {cycle}")
        check(cycle.count("query:ip") == 1 and cycle.count("query:zorixnet") == 1,
              f"tick {tick}: {cycle}")
        if has_peltra:
            check(cycle.index("query:peltra") < cycle.index("query:zorix") < cycle.index("query:ip"),
                  f"tick {tick}: order {cycle}")
        check(cycle.index("query:ip") < cycle.index("query:zorixnet"), f"tick {tick}: {cycle}")


def case_ip_echo(topo: harness.Topology) -> None:
    sim = topo.start_camsim([{"family": 999, "mac": "02:5A:40:00:00:01", "ip": "10.231.0.62",
                              "ipEcho": True}])
    rows = search_json(topo, 2.5)
    echoes = sim.log(kind="echo")
    check(len(echoes) >= 2, f"echo answers: {echoes}")
    want = "IPREPLY" + topo.camera.addr
    for echo in echoes:
        check(echo["text"] == want and echo["ok"], f"echo {echo}, want {want}")
    check(len(rows) == 1, f"the echo must add no row: {rows}")


def case_no_default_route(topo: harness.Topology) -> None:
    routes = topo.pc.run(["ip", "route", "show", "default"]).stdout.strip()
    check(routes == "", f"the pc namespace has a default route: {routes}")
    plain = topo.pc.python(
        "import socket; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM);"
        "s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)\n"
        "try:\n s.sendto(b'x', ('255.255.255.255', 9)); print('sent')\n"
        "except OSError as e: print('refused')")
    check("refused" in plain.stdout, f"a plain broadcast should fail here: {plain.stdout}")
    devices = [
        {"family": 1, "mac": "02:5A:50:00:00:01", "ip": "10.231.0.63"},
        # A camera whose own address lies outside the adapter's subnet is found all the same.
        {"family": 999, "mac": "02:5A:50:00:00:02", "ip": "192.168.77.9", "ipEcho": True},
        {"family": 6, "mac": "02:5A:50:00:00:03", "ip": "10.231.0.64"},
    ]
    sim = topo.start_camsim(devices)
    rows = search_json(topo, 2.5)
    found = rows_by_key(rows)
    for device in devices:
        check(mac_key(device["mac"]) in found, f"{device} not found: {rows}")
    check(any(e["ok"] for e in sim.log(kind="echo")), "no echo answer without a default route")


def case_two_adapters(topo: harness.Topology) -> None:
    first = [{"family": 1, "mac": "02:5A:60:00:00:01", "ip": "10.231.0.70"},
             {"family": 6, "mac": "02:5A:60:00:00:02", "ip": "10.231.0.71"},
             {"family": 8, "mac": "02:5A:60:00:00:03", "ip": "10.231.0.72", "version": "0.9"}]
    second = [{"family": 999, "mac": "02:5A:61:00:00:01", "ip": "10.231.1.70"},
              {"family": 5, "mac": "02:5A:61:00:00:02", "ip": "10.231.1.71"},
              {"family": 2, "mac": "025A61000003", "ip": "10.231.1.72"},
              {"family": 6, "mac": "02:5A:61:00:00:04", "ip": "10.231.1.73"}]
    topo.start_camsim(first, camera=0)
    topo.start_camsim(second, camera=1)
    rows = search_json(topo, 2.5)
    found = rows_by_key(rows)
    for device in first + second:
        check(mac_key(device["mac"]) in found, f"{device} not found: {rows}")
    check(len(rows) == len(first) + len(second), f"{len(rows)} rows: {rows}")


def case_two_families_one_row(topo: harness.Topology) -> None:
    mac = "02:5A:70:00:00:01"
    topo.start_camsim([{"family": 1, "mac": mac, "ip": "10.231.0.80", "name": "twin"},
                       {"family": 999, "mac": mac, "ip": "10.231.0.80", "name": "twin"}])
    rows = search_json(topo, 4.5)
    same = [row for row in rows if row["mac"] == mac]
    check(len(same) == 1, f"{len(same)} rows for one device in two families: {rows}")
    check(same[0]["family"] in (1, 999), f"family {same[0]['family']}")


def usage_checks() -> int:
    """Usage errors: exit 2 with one line naming the problem. Every call here stops before the
    program opens a socket, so this runs outside the namespaces."""
    cases = [
        ([], 2, "usage"),
        (["frobnicate"], 2, "unknown command frobnicate"),
        (["search", "--format", "xml"], 2, "--format"),
        (["search", "--seconds", "abc"], 2, "--seconds"),
        (["search", "--seconds", "-1"], 2, "--seconds"),
        (["search", "--seconds", "inf"], 2, "--seconds"),
        (["search", "--seconds"], 2, "--seconds needs a value"),
        (["search", "--bogus"], 2, "unknown option --bogus"),
        (["search", "extra"], 2, "unexpected argument extra"),
        (["search", "--stats", "--stats"], 2, "given twice"),
        (["search", "--output", ""], 2, "--output"),
    ]
    failed = 0
    for args, code, text in cases:
        result = subprocess.run([CLI, *args], capture_output=True, text=True, timeout=20)
        lines = result.stderr.strip().splitlines()
        one_line = len(lines) == 1 or not args or args[0] != "search"
        if result.returncode != code or text not in result.stderr or not one_line:
            failed += 1
            print(f"FAIL usage {args}: exit {result.returncode}, stderr {result.stderr!r}")
    for args in (["--help"], ["search", "--help"]):
        result = subprocess.run([CLI, *args], capture_output=True, text=True, timeout=20)
        if result.returncode != 0 or "search [--seconds S]" not in result.stdout:
            failed += 1
            print(f"FAIL usage {args}: exit {result.returncode}, stdout {result.stdout!r}")
    print("PASS usage" if not failed else f"{failed} usage checks failed")
    return 1 if failed else 0


def case_formats(topo: harness.Topology) -> None:
    devices = [{"family": 999, "mac": "02:5a:80:00:00:01", "ip": "10.231.0.101", "name": "b",
                "httpPort": 8080, "version": "9.9"},
               {"family": 6, "mac": "02-5A-80-00-00-02", "ip": "10.231.0.20", "name": "a"}]
    topo.start_camsim(devices)
    output = topo.path("export.txt")
    table = search(topo, 2, "--format", "table").stdout.splitlines()
    check(table[0].split() == ["Mode", "Name", "IP", "Port", "MAC", "Version"], f"header {table[0]!r}")
    check(len(table) == 3, f"table: {table}")
    ip_column = table[0].index("IP")
    check([line[ip_column:].split()[0] for line in table[1:]] == ["10.231.0.20", "10.231.0.101"],
          f"columns not aligned or not in IP order: {table}")
    check(table[2].split() == ["NAS", "b", "10.231.0.101", "8080", "02:5a:80:00:00:01", "9.9"],
          f"row {table[2]!r}")
    tsv = topo.pc.run([CLI, "search", "--seconds", "2", "--format", "tsv", "--output", output],
                      text=False, timeout=60)
    check(tsv.returncode == 0, f"tsv exit {tsv.returncode}")
    with open(output, "rb") as handle:
        exported = handle.read()
    check(exported == tsv.stdout, f"--output {exported!r} differs from the tsv lines {tsv.stdout!r}")
    check(exported == b"1\tV\ta\t10.231.0.20\t80\t025A80000002\r\n"
                      b"2\tNAS\tb\t10.231.0.101\t8080\t02:5A:80:00:00:01\r\n", f"export {exported!r}")


CASES = {
    "families": (case_families, {}),
    "ageing": (case_ageing, {}),
    "every-third-tick": (case_every_third_tick, {}),
    "ip-echo": (case_ip_echo, {}),
    "no-default-route": (case_no_default_route, {}),
    "two-adapters": (case_two_adapters, {"cameras": 2}),
    "two-families-one-row": (case_two_families_one_row, {}),
    "formats": (case_formats, {}),
}


def main() -> int:
    global CLI
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True, help="the zadari-cli program")
    parser.add_argument("--usage", action="store_true",
                        help="only the usage checks (no namespaces needed, nothing is sent)")
    parser.add_argument("cases", nargs="*", help="cases to run (default: all)")
    options = parser.parse_args()
    CLI = os.path.abspath(options.cli)
    if options.usage:
        return usage_checks()
    harness.skip_unless_available()
    if not os.access(CLI, os.X_OK):
        print(f"no zadari-cli at {CLI}")
        return 1
    names = options.cases or list(CASES)
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
