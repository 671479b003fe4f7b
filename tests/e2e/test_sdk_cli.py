#!/usr/bin/env python3
"""zadari-cli with the vendor library's test double beside it, in the harness's pc namespace.

The double reports its devices from threads of its own; the search's broadcasts stay in the
namespace.
"""
import argparse
import json
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CLI = None
LIBRARY = None


class SdkFromTheCommandLine(unittest.TestCase):
    def setUp(self):
        # The program looks for the library in 402/ beside itself.
        self.folder = tempfile.mkdtemp(prefix="zadari-sdk-")
        self.cli = os.path.join(self.folder, "zadari-cli")
        shutil.copy2(CLI, self.cli)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def add_library(self):
        os.makedirs(os.path.join(self.folder, "402"))
        shutil.copy2(LIBRARY, os.path.join(self.folder, "402", "libDVSNETClient.so"))

    def test_search_with_sdk_lists_the_librarys_devices_only_then(self):
        self.add_library()
        with harness.Topology(cameras=1) as topo:
            plain = topo.pc.run([self.cli, "search", "--seconds", "1", "--format", "json"])
            with_sdk = topo.pc.run([self.cli, "search", "--sdk", "--seconds", "1.5",
                                    "--format", "json"])
        self.assertEqual(plain.returncode, 0, plain.stderr)
        self.assertEqual([r for r in json.loads(plain.stdout) if r["family"] == 4], [])
        self.assertEqual(with_sdk.returncode, 0, with_sdk.stderr)
        rows = [r for r in json.loads(with_sdk.stdout) if r["family"] == 4]
        self.assertEqual(len(rows), 20)  # the double's default: two threads of ten
        first = next(r for r in rows if r["mac"] == "001122000000")
        self.assertEqual((first["macKey"], first["letters"], first["ipMode"]), ("", "H", 2))

    def test_apply_to_a_family_4_device_goes_through_the_library(self):
        self.add_library()
        with harness.Topology(cameras=1) as topo:
            done = topo.pc.run([self.cli, "apply", "--mac", "001122000001", "--mode", "fixed",
                                "--ip", "10.4.9.9", "--seconds", "2"])
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertIn("applied", done.stdout)

    def test_reporters_that_outlive_the_stop_do_not_bring_the_program_down(self):
        # The double's detached reporter goes on reporting for three seconds after
        # DVSNET_StopSearch; the program ends well before that, with the library still loaded.
        self.add_library()
        env = dict(os.environ, DVSNETDOUBLE_LATE_MS="3000")
        with harness.Topology(cameras=1) as topo:
            done = topo.pc.run([self.cli, "apply", "--mac", "001122000001", "--mode", "fixed",
                                "--ip", "10.4.9.9", "--seconds", "2"], env=env)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertIn("sent through the vendor library", done.stdout)
        self.assertNotIn("nothing sent", done.stdout)

    def test_without_the_library_a_family_4_device_is_not_found(self):
        with harness.Topology(cameras=1) as topo:
            done = topo.pc.run([self.cli, "apply", "--mac", "001122000001", "--ip", "10.4.9.9",
                                "--seconds", "1"])
        self.assertEqual(done.returncode, 3, done.stdout + done.stderr)


def main():
    global CLI, LIBRARY
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--library", required=True)
    args, rest = parser.parse_known_args()
    CLI, LIBRARY = os.path.abspath(args.cli), os.path.abspath(args.library)
    harness.skip_unless_available()
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
