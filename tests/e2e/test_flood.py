#!/usr/bin/env python3
"""Flood test of `zadari-cli search`, inside namespaces.

    python3 tests/e2e/test_flood.py --cli build/dev/zadari-cli [--seconds 60] [--rate 20000]

While the program searches, a flooder in the camera namespace sends random and malformed
datagrams (random bytes, every family's magic followed by garbage, truncated and oversized
messages, "IPREPLY", family-8 headers) at every port the program has open, at --rate datagrams a
second in all. Real simulated cameras keep answering meanwhile. The program must keep ticking
(largest tick lateness under 200 ms), must not crash, must keep finding the real cameras, and its
resident memory must stay flat (the growth over the second half of the run under a bound).
Exit 0 passed, 1 failed, 77 skipped (no namespaces here).
"""

from __future__ import annotations

import argparse
import json
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

FLOODER = r"""
import random, socket, struct, sys, time
target, rate, seconds = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
ports = [int(p) for p in sys.argv[4].split(",")]
rng = random.Random(20261209)

def rand(n):
    return rng.randbytes(n)

magics = [b"KT352", b"PELTRAREPLY", b"ZORIXREPLY", b"ZORIXNETREPLY", b"MO_I", b"uiv2", b"REPLY",
          b"HDS/1.0 200 OK", b"IPREPLY", b"\x10\x10"]

def payload():
    kind = rng.random()
    if kind < 0.30:                      # random bytes of any length
        return rand(rng.randrange(0, 1400))
    if kind < 0.40:                      # longer than the receive buffers
        return rand(rng.randrange(1025, 1472))
    if kind < 0.45:
        return b"IPREPLY" + (b"" if rng.random() < 0.5 else rand(rng.randrange(1, 4)))
    if kind < 0.60:                      # family-8 headers with random bodies
        code = rng.choice([0x8F01, 0x8F12, 0x8F0F, 0x0F01, rng.getrandbits(16)])
        body = rand(rng.randrange(0, 600))
        return b"\x10\x10" + struct.pack("<HHH", code, rng.getrandbits(16), len(body)) + body
    if kind < 0.80:                      # a magic and garbage
        return rng.choice(magics) + rand(rng.randrange(0, 900))
    # text replies with random fields and line breaks
    word = rng.choice([b"PELTRAREPLY", b"ZORIXREPLY", b"ZORIXNETREPLY", b"REPLY\r\n", b"HDS/1.0 200 OK\r\n"])
    fields = [rand(rng.randrange(0, 12)).replace(b",", b"") for _ in range(rng.randrange(0, 30))]
    sep = b"," if b"REPLY" in word and not word.startswith(b"REPLY") and b"HDS" not in word else b"\r\n"
    return word + (b"," if sep == b"," else b"") + sep.join(fields)

pool = [payload() for _ in range(6000)]
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 21)
print("flooding", flush=True)
sent = errors = 0
start = time.monotonic()
batch = max(1, rate // 200)
i = 0
while True:
    now = time.monotonic()
    elapsed = now - start
    if elapsed >= seconds:
        break
    due = int(elapsed * rate)
    while sent + errors < due:
        data = pool[i % len(pool)]
        port = ports[i % len(ports)]
        i += 1
        try:
            s.sendto(data, (target, port))
            sent += 1
        except OSError:
            errors += 1
    time.sleep(0.002)
print('{"sent": %d, "errors": %d, "seconds": %.2f}' % (sent, errors, time.monotonic() - start),
      flush=True)
"""


def rss_kb(pid: int) -> int | None:
    try:
        with open(f"/proc/{pid}/status") as handle:
            for line in handle:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        return None
    return None


def cpu_seconds(pid: int) -> float | None:
    try:
        with open(f"/proc/{pid}/stat") as handle:
            fields = handle.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return None


def open_udp_ports(topo: harness.Topology, pid: int) -> list[int]:
    """The UDP ports the program has bound, from ss in the pc namespace."""
    listing = topo.pc.run(["ss", "-uanpH"], timeout=10).stdout
    ports = set()
    for line in listing.splitlines():
        if f"pid={pid}," not in line:
            continue
        match = re.search(r"\s(\S+):(\d+)\s+\S+:\S+\s", line)
        if match:
            ports.add(int(match.group(2)))
    return sorted(ports)


def parse_stats(stderr: str) -> dict[str, int]:
    stats = {}
    for line in stderr.splitlines():
        match = re.match(r"^([a-z_0-9]+): (-?\d+)$", line)
        if match:
            stats[match.group(1)] = int(match.group(2))
    return stats


def run(cli: str, seconds: float, rate: int, report: str | None) -> int:
    devices = [
        {"family": 999, "mac": "02:5A:F0:00:00:01", "ip": "10.231.0.90"},
        {"family": 6, "mac": "02:5A:F0:00:00:02", "ip": "10.231.0.91"},
        {"family": 0, "mac": "02:5A:F0:00:00:03", "ip": "10.231.0.92"},
    ]
    with harness.Topology() as topo:
        topo.start_camsim(devices, log=False)
        total = seconds + 4
        # The list goes to a file: a pipe nobody reads while the program runs would block it.
        listing = open(topo.path("list.json"), "w+")
        cli_process = topo.pc.popen([cli, "search", "--seconds", str(total), "--stats", "--format", "json"],
                                    stdout=listing, stderr=subprocess.PIPE, text=True)
        pid = cli_process.pid
        ports: list[int] = []
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and len(ports) < 7:
            time.sleep(0.2)
            ports = open_udp_ports(topo, pid)
        if not ports:
            ports = [9999, 10000, 10002, 7999, 6800, 8002]
        flooder = topo.camera.popen([sys.executable, "-c", FLOODER, topo.pc.addr, str(rate), str(seconds),
                                     ",".join(str(p) for p in ports)],
                                    stdout=subprocess.PIPE, text=True)
        samples: list[tuple[float, int]] = []
        started = time.monotonic()
        cpu_start = cpu_seconds(pid)
        cpu_end = cpu_start
        while cli_process.poll() is None and time.monotonic() - started < total + 30:
            value = rss_kb(pid)
            if value is not None:
                samples.append((time.monotonic() - started, value))
            if time.monotonic() - started <= seconds:
                cpu_end = cpu_seconds(pid) or cpu_end
            time.sleep(0.5)
        try:
            _, stderr = cli_process.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            topo.stop(cli_process)
            _, stderr = cli_process.communicate()
        listing.seek(0)
        stdout = listing.read()
        listing.close()
        flood_out = flooder.communicate(timeout=30)[0]
        flood = {}
        for line in (flood_out or "").splitlines():
            if line.startswith("{"):
                flood = json.loads(line)

    stats = parse_stats(stderr)
    failures = []
    if cli_process.returncode != 0:
        failures.append(f"zadari-cli exited {cli_process.returncode}: {stderr[-2000:]}")
    lateness = stats.get("max_tick_lateness_ms", 10**9)
    if lateness >= 200:
        failures.append(f"largest tick lateness {lateness} ms")
    if stats.get("ticks", 0) < int(seconds) + 1:
        failures.append(f"only {stats.get('ticks', 0)} ticks in {total} s")
    try:
        rows = json.loads(stdout)
    except json.JSONDecodeError:
        rows = []
        failures.append("the list is not JSON")
    keys = {row.get("macKey") for row in rows}
    for device in devices:
        if device["mac"].replace(":", "") not in keys:
            failures.append(f"real camera {device['mac']} lost in the flood")
    # Flat memory: after the first third (the list of garbage rows has reached its steady size
    # once the ageing keeps pace), the resident size may not keep growing.
    during = [kb for t, kb in samples if seconds / 3 <= t <= seconds]
    growth_kb = (max(during) - during[0]) if during else 0
    if during and growth_kb > max(8192, during[0] // 5):
        failures.append(f"memory grew by {growth_kb} kB during the flood")
    figures = {
        "seconds": seconds, "rate_asked": rate, "flooder": flood,
        "ports": ports,
        "achieved_rate": round(flood.get("sent", 0) / max(flood.get("seconds", seconds), 0.001)),
        "stats": stats, "rss_kb_first_third": during[0] if during else None,
        "rss_kb_max": max((kb for _, kb in samples), default=None), "rss_growth_kb": growth_kb,
        "rows_at_end": len(rows),
        "cpu_percent_of_one_core": (round(100 * (cpu_end - cpu_start) / seconds, 1)
                                    if cpu_start is not None and cpu_end is not None else None),
    }
    print(json.dumps(figures, indent=1))
    if report:
        with open(report, "w") as handle:
            json.dump(figures, handle, indent=1)
    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--rate", type=int, default=20000, help="datagrams a second, all ports together")
    parser.add_argument("--report", help="write the figures to this JSON file")
    options = parser.parse_args()
    harness.skip_unless_available()
    return run(os.path.abspath(options.cli), options.seconds, options.rate, options.report)


if __name__ == "__main__":
    sys.exit(main())
