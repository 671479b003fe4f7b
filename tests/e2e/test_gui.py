#!/usr/bin/env python3
"""End-to-end test of the main window against the camera simulator, inside the namespaces.

    python3 tests/e2e/test_gui.py --gui-test build/dev/tests/zadari_test_gui

The window is driven by the GUI test program (its WindowInNamespace test, which runs only when
ZADARI_E2E_PLAN names a plan and the program runs in a namespace of the harness) on the
offscreen platform in the "pc" namespace: cameras of every family must appear, Apply must
re-address one that then comes back with its new address (and a camera only ONVIF found, whose
settings the first Apply reads), and firmware uploads must reach the simulated cameras of
families 2 and 9. Exit 0 when it passed, 1 when it failed, 77 when
namespaces cannot be made here.
"""

from __future__ import annotations

import argparse
import hashlib
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
import demo  # noqa: E402


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--gui-test", required=True, help="the zadari_test_gui program")
    options = parser.parse_args()
    harness.skip_unless_available()
    program = os.path.abspath(options.gui_test)
    if not os.access(program, os.X_OK):
        print(f"test_gui: {program} is not built", file=sys.stderr)
        return 1

    with harness.Topology() as topo:
        devices = demo.demo_devices()
        # A camera only ONVIF finds, with the account the credential dialog proposes and a
        # clock an hour off.
        onvif = {"family": 100, "mac": "02:5A:20:00:10:64", "name": "Porch ONVIF", "ip": "10.231.0.60",
                 "mask": "255.255.255.0", "gateway": "10.231.0.1",
                 "onvif": {"password": "", "clockOffsetSeconds": 3600}}
        devices.append(onvif)
        sim = topo.start_camsim(devices, http=True)
        by_family = {}
        for device in devices:
            by_family.setdefault(device["family"], device)
        firmware = topo.path("firmware.bin")
        with open(firmware, "wb") as f:
            f.write(b"BNEG" + bytes(range(256)) * 8)
        peltra = by_family[1]
        plan = {
            "families": sorted({d["family"] for d in devices}),
            "rows": len(devices),
            "apply": {"mac": peltra["mac"], "ip": "10.231.0.77"},
            "onvif": {"macKey": harness.mac_key(onvif["mac"]), "ip": "10.231.0.160"},
            "upgrades": [
                {"mac": by_family[2]["mac"], "file": firmware, "system": True},
                {"mac": by_family[9]["mac"], "file": firmware, "system": False},
            ],
            "home": topo.path("gui-home"),
        }
        os.makedirs(plan["home"], exist_ok=True)
        plan_path = topo.path("plan.json")
        with open(plan_path, "w", encoding="utf-8") as f:
            json.dump(plan, f)

        env = ["env", f"ZADARI_E2E_PLAN={plan_path}", "QT_QPA_PLATFORM=offscreen",
               f"XDG_CONFIG_HOME={plan['home']}", f"XDG_RUNTIME_DIR={plan['home']}"]
        result = topo.pc.run(env + [program, "--gtest_filter=WindowInNamespace.*"], timeout=180)
        print(result.stdout[-6000:])
        if result.returncode != 0 or "[  PASSED  ] 1 test" not in result.stdout:
            print(result.stderr[-3000:], file=sys.stderr)
            print("test_gui: the window test failed", file=sys.stderr)
            return 1

        failures = []
        applied = [e for e in sim.log(kind="apply")
                   if e.get("applied") and e.get("changes", {}).get("ip") == "10.231.0.77"]
        if not applied:
            failures.append(f"no applied command with the new address: {sim.log(kind='apply')}")
        moved = [d for d in sim.state() if d["mac"] == onvif["mac"]]
        if not moved or moved[0]["ip"] != "10.231.0.160":
            failures.append(f"the ONVIF camera was not re-addressed: {moved}")
        digest = hashlib.sha256(open(firmware, "rb").read()).hexdigest()
        uploads = sim.log(kind="upload")
        targets = [u.get("target", "") for u in uploads
                   if (u.get("part") or {}).get("sha256", u.get("sha256")) == digest]
        if not any(t.startswith("/upgrade_firmware.cgi?user=admin&pwd=&next_url=reboot.htm")
                   for t in targets):
            failures.append(f"no family-2 firmware upload: {uploads}")
        if len(targets) < 2:
            failures.append(f"expected two uploads of the file, got {targets}")
        for failure in failures:
            print(f"test_gui: {failure}", file=sys.stderr)
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
