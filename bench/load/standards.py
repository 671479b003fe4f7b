#!/usr/bin/env python3
"""Standard discovery under load, inside namespaces made by tests/e2e/harness.py (never on this
machine's own interfaces).

    sudo python3 bench/load/standards.py --cli build/release/zadari-cli burst [--runs 10]
    sudo python3 bench/load/standards.py --cli build/release/zadari-cli steady [--seconds 30]

burst: the simulator plays --onvif (1,000) ONVIF cameras, each answering a Probe after its own
random wait up to APP_MAX_DELAY (500 ms), as cameras do; zadari-cli searches for 1.5 s, --runs
times. Per run: how many were listed and when the last row came (the engine's clock, from its
first cycle). Goal: every camera listed within 1 s in every run.

steady: --onvif ONVIF cameras and --devices (5,000) cameras of the proprietary families answer
every cycle; the program's CPU over --seconds after a warm-up (% of one core) and its peak
resident memory, with the rows listed. Figures go to standard output as JSON.
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

sys.path.insert(0, HERE)
from load import devices as proprietary_devices  # noqa: E402

WARM_UP = 5.0


def stats_of(stderr: str) -> dict[str, int]:
    return {m.group(1): int(m.group(2))
            for m in (re.match(r"^([a-z_0-9]+): (-?\d+)$", line) for line in stderr.splitlines()) if m}


def cpu_seconds(pid: int) -> float | None:
    try:
        with open(f"/proc/{pid}/stat") as handle:
            fields = handle.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return None


def status_kb(pid: int, key: str) -> int:
    try:
        with open(f"/proc/{pid}/status") as handle:
            for line in handle:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def peak_rss_kb(pid: int) -> int:
    return status_kb(pid, "VmHWM")


def find_program(pid: int) -> int:
    """The zadari-cli process under `ip netns exec` (the popen's own pid is the ip command's,
    which execs into it, so it is the same pid)."""
    return pid


def burst(cli: str, onvif: int, runs: int) -> dict:
    results = []
    with harness.Topology() as topo:
        topo.start_camsim([], log=False, extra_args=["--generate-onvif", str(onvif), "--rate", "0"],
                          ready_timeout=120)
        time.sleep(1.0)  # the simulator's own Hellos are over
        for _ in range(runs):
            result = topo.pc.run([cli, "search", "--seconds", "1.5", "--stats", "--format", "json"],
                                 timeout=120)
            rows = json.loads(result.stdout or "[]")
            stats = stats_of(result.stderr)
            results.append({"listed": sum(1 for r in rows if r.get("family") == 100),
                            "last_row_ms": stats.get("last_row_added_ms"),
                            "exit_code": result.returncode})
            time.sleep(1.0)
    worst = max((r["last_row_ms"] or 10**9) for r in results)
    return {"cameras": onvif, "runs": results,
            "all_listed_every_run": all(r["listed"] == onvif for r in results),
            "worst_last_row_ms": worst,
            "goal_within_1s": all(r["listed"] == onvif for r in results) and worst <= 1000}


def steady(cli: str, onvif: int, devices: int, seconds: float) -> dict:
    total = WARM_UP + seconds + 1
    with harness.Topology() as topo:
        topo.start_camsim(proprietary_devices(devices), log=False,
                          extra_args=["--generate-onvif", str(onvif)], ready_timeout=180)
        listing = open(topo.path("list.json"), "w+")
        process = topo.pc.popen([cli, "search", "--seconds", str(total), "--stats", "--format", "json"],
                                stdout=listing, stderr=subprocess.PIPE, text=True)
        pid = find_program(process.pid)
        started = time.monotonic()
        marks: dict[str, float | None] = {}
        rss_at_warm_up = 0
        rss_at_end = 0
        peak = 0
        while process.poll() is None:
            elapsed = time.monotonic() - started
            if "start" not in marks and elapsed >= WARM_UP:
                marks["start"], marks["start_t"] = cpu_seconds(pid), elapsed
                rss_at_warm_up = status_kb(pid, "VmRSS")
            if "end" not in marks and elapsed >= WARM_UP + seconds:
                marks["end"], marks["end_t"] = cpu_seconds(pid), elapsed
                rss_at_end = status_kb(pid, "VmRSS")
            peak = max(peak, peak_rss_kb(pid))
            time.sleep(0.25)
        _, stderr = process.communicate(timeout=60)
        listing.seek(0)
        rows = json.loads(listing.read() or "[]")
        listing.close()
    cpu = None
    if marks.get("start") is not None and marks.get("end") is not None:
        cpu = 100 * (marks["end"] - marks["start"]) / (marks["end_t"] - marks["start_t"])
    stats = stats_of(stderr)
    return {"onvif": onvif, "proprietary": devices,
            "listed_onvif": sum(1 for r in rows if r.get("family") == 100),
            "listed_other": sum(1 for r in rows if r.get("family") != 100),
            "steady_cpu_percent_of_one_core": round(cpu, 1) if cpu is not None else None,
            "rss_after_warm_up_mb": round(rss_at_warm_up / 1024, 1),
            "rss_at_end_mb": round(rss_at_end / 1024, 1),
            "peak_rss_mb": round(max(peak, stats.get("peak_rss_kb", 0)) / 1024, 1),
            "exit_code": process.returncode, "stats": stats}


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("mode", choices=("burst", "steady"))
    parser.add_argument("--onvif", type=int, default=1000)
    parser.add_argument("--devices", type=int, default=5000)
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--seconds", type=float, default=30)
    options = parser.parse_args()
    harness.skip_unless_available()
    cli = os.path.abspath(options.cli)
    if options.mode == "burst":
        figures = burst(cli, options.onvif, options.runs)
    else:
        figures = steady(cli, options.onvif, options.devices, options.seconds)
    print(json.dumps(figures, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main())
