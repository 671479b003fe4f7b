#!/usr/bin/env python3
"""Re-addressing figure: N simulated cameras of mixed families (default 100) moved to new
addresses by one plan with `zadari-cli apply --plan`, each verified by the search finding it at
its new address. Prints the wall time from start to the report and the counts per status.

    sudo python3 bench/load/fleet.py --cli build/release/zadari-cli [--cameras 100] [--runs 3]

Runs in the harness's namespaces only (exit 77 without root or iproute2). Goal: 100 cameras
re-addressed and verified in at most 60 s.
"""

from __future__ import annotations

import argparse
import collections
import json
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
import harness  # noqa: E402
import test_fleet  # noqa: E402


def one_run(cli: str, cameras: int) -> tuple[float, dict]:
    with harness.Topology() as topo:
        devices = [test_fleet.device(i, test_fleet.FAMILIES[i % len(test_fleet.FAMILIES)],
                                     f"10.231.{10 + i // 200}.{10 + i % 200}") for i in range(cameras)]
        for d in devices:  # one /16 so that every planned address is in every camera's subnet
            d["mask"] = "255.255.0.0"
            d["gateway"] = "10.231.0.1"
        topo.start_camsim(devices, add_addresses=False)
        lines = [f"{test_fleet.colon(d['mac'])},10.231.{100 + i // 200}.{10 + i % 200},,,"
                 for i, d in enumerate(devices)]
        plan = test_fleet.write_plan(topo, "plan.csv", lines)
        report = topo.path("report.json")
        started = time.monotonic()
        result = topo.pc.run([cli, "apply", "--plan", plan, "--report", report, "--seconds", "10",
                              "--verify-seconds", "20"], timeout=600)
        took = time.monotonic() - started
        if result.returncode not in (0, 1):
            raise RuntimeError(f"exit {result.returncode}: {result.stderr}")
        with open(report, encoding="utf-8") as file:
            counts = collections.Counter(row["status"] for row in json.load(file))
        return took, dict(counts)


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--cameras", type=int, default=100)
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    harness.skip_unless_available()
    times = []
    for run in range(options.runs):
        took, counts = one_run(os.path.abspath(options.cli), options.cameras)
        times.append(took)
        print(json.dumps({"run": run + 1, "seconds": round(took, 2), "status": counts}), flush=True)
    print(json.dumps({"cameras": options.cameras, "median_seconds": round(statistics.median(times), 2),
                      "max_seconds": round(max(times), 2), "goal_seconds": 60}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
