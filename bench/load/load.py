#!/usr/bin/env python3
"""Load scenario: thousands of simulated cameras answering `zadari-cli search` every second.

    sudo python3 bench/load/load.py --cli build/release/zadari-cli [--devices 5000] [--seconds 30]

Inside network namespaces made by tests/e2e/harness.py (never on this machine's own interfaces),
the camera simulator plays --devices cameras of mixed families (0, 1, 2, 3, 5, 6, 7, 8, 9, 999) and
zadari-cli searches for --seconds plus a warm-up. Measured:
  - the time from the first query to the last camera listed (the engine's own clock), and how
    many of the cameras were listed;
  - the program's steady CPU use over --seconds after the warm-up, in % of one core;
  - its peak resident memory.
Goals: all listed within 2 s, steady CPU under 10% of one core, under 50 MB resident.
Figures go to standard output as JSON (and to --report FILE).
"""

from __future__ import annotations

import argparse
import json
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "e2e"))
import harness  # noqa: E402

FAMILIES = (0, 1, 2, 3, 5, 6, 7, 8, 9, 999)
WARM_UP = 5.0


def devices(count: int) -> list[dict]:
    result = []
    for index in range(count):
        family = FAMILIES[index % len(FAMILIES)]
        hi, lo = divmod(index, 250)
        mac = f"02:5B:{(index >> 16) & 0xFF:02X}:{(index >> 8) & 0xFF:02X}:{index & 0xFF:02X}:{family & 0xFF:02X}"
        device = {"family": family, "mac": mac.replace(":", "") if family == 2 else mac,
                  "name": f"load{index}", "ip": f"10.200.{hi}.{lo + 1}"}
        if family == 8:
            device["version"] = "10.1.1"
        result.append(device)
    return result


def cpu_seconds(pid: int) -> float | None:
    try:
        with open(f"/proc/{pid}/stat") as handle:
            fields = handle.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return None


def status_kb(pid: int, key: str) -> int | None:
    try:
        with open(f"/proc/{pid}/status") as handle:
            for line in handle:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--devices", type=int, default=5000)
    parser.add_argument("--seconds", type=float, default=30, help="steady-state window")
    parser.add_argument("--rate", type=int, default=20000, help="camsim replies a second at most")
    parser.add_argument("--report")
    options = parser.parse_args()
    harness.skip_unless_available()
    cli = os.path.abspath(options.cli)
    cameras = devices(options.devices)
    total = WARM_UP + options.seconds + 1
    with harness.Topology() as topo:
        topo.start_camsim(cameras, log=False, extra_args=["--rate", str(options.rate)],
                          ready_timeout=60)
        # The list goes to a file: a pipe nobody reads while the program runs would block it.
        listing = open(topo.path("list.json"), "w+")
        process = topo.pc.popen([cli, "search", "--seconds", str(total), "--stats", "--format", "json"],
                                stdout=listing, stderr=subprocess.PIPE, text=True)
        pid = process.pid
        started = time.monotonic()
        cpu_at: dict[str, float | None] = {}
        peak_rss = 0
        while process.poll() is None:
            elapsed = time.monotonic() - started
            if "start" not in cpu_at and elapsed >= WARM_UP:
                cpu_at["start"] = cpu_seconds(pid)
                cpu_at["start_t"] = elapsed
            if "end" not in cpu_at and elapsed >= WARM_UP + options.seconds:
                cpu_at["end"] = cpu_seconds(pid)
                cpu_at["end_t"] = elapsed
            peak_rss = max(peak_rss, status_kb(pid, "VmHWM") or 0)
            time.sleep(0.25)
        _, stderr = process.communicate(timeout=60)
        listing.seek(0)
        stdout = listing.read()
        listing.close()
    stats = {m.group(1): int(m.group(2))
             for m in (re.match(r"^([a-z_0-9]+): (-?\d+)$", line) for line in stderr.splitlines()) if m}
    try:
        rows = json.loads(stdout)
    except json.JSONDecodeError:
        rows = []
    listed = {row["macKey"] for row in rows}
    missing = [c for c in cameras if c["mac"].replace(":", "") not in listed]
    steady = None
    if cpu_at.get("start") is not None and cpu_at.get("end") is not None:
        steady = 100 * (cpu_at["end"] - cpu_at["start"]) / (cpu_at["end_t"] - cpu_at["start_t"])
    figures = {
        "devices": options.devices,
        "listed": len(rows),
        "missing": len(missing),
        "missing_families": sorted({c["family"] for c in missing}),
        "time_to_last_row_ms": stats.get("last_row_added_ms"),
        "steady_cpu_percent_of_one_core": round(steady, 1) if steady is not None else None,
        "peak_rss_mb": round(max(peak_rss, stats.get("peak_rss_kb", 0)) / 1024, 1),
        "exit_code": process.returncode,
        "stats": stats,
        "goals": {"all_listed_within_2s": not missing and (stats.get("last_row_added_ms") or 10**9) <= 2000,
                  "cpu_under_10_percent": steady is not None and steady < 10,
                  "rss_under_50_mb": max(peak_rss, stats.get("peak_rss_kb", 0)) < 50 * 1024},
    }
    print(json.dumps(figures, indent=1))
    if options.report:
        with open(options.report, "w") as handle:
            json.dump(figures, handle, indent=1)
    return 0 if process.returncode == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
