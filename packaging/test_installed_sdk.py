#!/usr/bin/env python3
"""The installed zadari-cli finds the vendor library in its folder under the library directory.

Puts the library's test double at LIBDIR/402/libDVSNETClient.so (nothing lies beside
/usr/bin/zadari-cli), runs the installed `zadari-cli search --sdk` in the end-to-end harness's pc
namespace (its broadcasts stay there) and expects the double's devices; removes the double again.

    test_installed_sdk.py --cli /usr/bin/zadari-cli --library DOUBLE --libdir LIBDIR
"""
import argparse
import json
import os
import shutil
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))
import harness  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--library", required=True)
    parser.add_argument("--libdir", required=True)
    args = parser.parse_args()
    harness.skip_unless_available()
    if not os.access(args.cli, os.X_OK):
        print(f"FAIL: {args.cli} is not installed")
        return 1
    beside = os.path.join(os.path.dirname(args.cli), "402")
    if os.path.exists(beside):
        print(f"FAIL: {beside} exists; the test wants the library folder only")
        return 1

    folder = os.path.join(args.libdir, "402")
    made = [d for d in (args.libdir, folder) if not os.path.isdir(d)]
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, "libDVSNETClient.so")
    shutil.copy2(args.library, target)
    try:
        with harness.Topology(cameras=1) as topo:
            done = topo.pc.run([args.cli, "search", "--sdk", "--seconds", "1.5", "--format", "json"])
    finally:
        os.remove(target)
        for d in reversed(made):
            os.rmdir(d)
    if done.returncode != 0:
        print(f"FAIL: search --sdk ended with {done.returncode}: {done.stderr}")
        return 1
    rows = [r for r in json.loads(done.stdout) if r["family"] == 4]
    print(f"family-4 rows from {target}: {len(rows)}")
    # The double's default: two threads of ten devices.
    if len(rows) != 20:
        print("FAIL: the installed program did not find the library's 20 devices")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
