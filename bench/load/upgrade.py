#!/usr/bin/env python3
"""Fleet upgrade figure: N simulated cameras of families 2, 3 and 9 (default 20) each given the
same firmware file (default 8 MiB) by one `zadari-cli upgrade` with several --mac, against one
upload of that file to one camera (`zadari-cli upgrade` with one --mac).

    sudo python3 bench/load/upgrade.py --cli build/release/zadari-cli [--cameras 20] [--mib 8]
                                       [--parallel 4] [--runs 3]

The single upload is the median of five. The upload times come from the simulator's log (when it took each connection and when it sent
its answer), so the search and the restart that follow do not count. Printed per run:
the single upload's time, the fleet's upload phase (first connection to last answer), the fleet's
time per camera (phase / N) and its ratio to the single upload, the mean time of one upload
inside the fleet, the most uploads at once, and the whole command's wall time. Goal: the fleet's
time per camera at most 1.5 times the single upload's time.

Runs in the harness's namespaces only (exit 77 without root or iproute2).
"""

from __future__ import annotations

import argparse
import glob
import json
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
import harness  # noqa: E402
import test_fleet_upgrade as fleet  # noqa: E402


def upload_times(sim) -> list[tuple[float, float, float]]:
    """Each upload's exchange as the simulator saw it: when it took the connection, when it had
    read the whole body and when it sent its answer (after it hashed and stored the file)."""
    answered = {entry["n"]: entry["t"] for entry in sim.log(kind="answered")}
    times = []
    for meta in sorted(glob.glob(os.path.join(sim.upload_dir, "*.json"))):
        with open(meta) as handle:
            entry = json.load(handle)
        if not entry["complete"]:
            raise RuntimeError(f"incomplete upload: {entry}")
        times.append((entry["tStart"], entry["tEnd"], answered[entry["n"]]))
    return times


def one_run(cli: str, cameras: int, mib: int, parallel: int) -> dict:
    with harness.Topology() as topo:
        devices = [fleet.camera((2, 3, 9)[i % 3], i, rebootMs=2000) for i in range(cameras)]
        for i, d in enumerate(devices):
            d["ip"] = f"10.231.0.{20 + i}"
        path, _ = fleet.firmware(topo, "bench.bin", b"BNEG", mib * 1024 * 1024)

        # The simulated cameras hash every file but store none: this machine's file system is
        # not what is measured.
        lean = ["--no-upload-bodies"]
        single = topo.start_camsim([fleet.camera(9, 99, rebootMs=0, ip="10.231.0.199")], http=True,
                                   name="single", extra_args=lean)
        # The single upload five times over: its median is steadier than one try.
        walls = []
        for _ in range(5):
            started = time.monotonic()
            result = topo.pc.run([cli, "upgrade", "--mac", fleet.mac_of(9, 99), "--file", path,
                                  "--seconds", "8"], timeout=300)
            walls.append(time.monotonic() - started)
            if result.returncode != 0:
                raise RuntimeError(f"single upload: {fleet.describe(result)}")
        time.sleep(0.3)  # the last answer's log line
        single_s = statistics.median(end - start for start, _, end in upload_times(single))
        single_wall = statistics.median(walls)
        single.stop()

        sim = topo.start_camsim(devices, http=True, name="fleet", extra_args=lean)
        args = [cli, "upgrade", "--file", path, "--parallel", str(parallel), "--seconds", "10",
                "--back-seconds", "60", "--report", topo.path("report.json")]
        for d in devices:
            args += ["--mac", d["mac"]]
        started = time.monotonic()
        result = topo.pc.run(args, timeout=900)
        fleet_wall = time.monotonic() - started
        if result.returncode != 0:
            raise RuntimeError(f"fleet: {fleet.describe(result)}")
        time.sleep(0.3)
        times = upload_times(sim)
        if len(times) != cameras:
            raise RuntimeError(f"{len(times)} uploads for {cameras} cameras")
        phase = max(end for _, _, end in times) - min(start for start, _, _ in times)
        return {
            "single_upload_s": round(single_s, 3),
            "single_wall_s": round(single_wall, 2),
            "fleet_upload_phase_s": round(phase, 3),
            "fleet_per_camera_s": round(phase / cameras, 3),
            "ratio_per_camera": round(phase / cameras / single_s, 2),
            "fleet_mean_upload_s": round(statistics.mean(end - start for start, _, end in times), 3),
            # The client starts its next upload as soon as it has the answer, which may be before
            # the simulator logged it: count the body's transfer only.
            "most_at_once": fleet.most_at_once([(start, read) for start, read, _ in times]),
            "fleet_wall_s": round(fleet_wall, 2),
        }


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--cameras", type=int, default=20)
    parser.add_argument("--mib", type=int, default=8)
    parser.add_argument("--parallel", type=int, default=4)
    parser.add_argument("--runs", type=int, default=3)
    options = parser.parse_args()
    harness.skip_unless_available()
    runs = []
    for run in range(options.runs):
        figures = one_run(os.path.abspath(options.cli), options.cameras, options.mib, options.parallel)
        runs.append(figures)
        print(json.dumps({"run": run + 1, **figures}), flush=True)
    print(json.dumps({"cameras": options.cameras, "mib": options.mib, "parallel": options.parallel,
                      "median_ratio_per_camera": statistics.median(r["ratio_per_camera"] for r in runs),
                      "median_single_upload_s": statistics.median(r["single_upload_s"] for r in runs),
                      "median_fleet_upload_phase_s": statistics.median(r["fleet_upload_phase_s"] for r in runs),
                      "goal_ratio": 1.5}))
    return 0


if __name__ == "__main__":
    sys.exit(main())
