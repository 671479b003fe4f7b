#!/usr/bin/env python3
"""zadari-cli's command line: help, version and the usage errors.

    python3 tests/e2e/test_cli.py --cli build/dev/zadari-cli --version 0.1.0

Every call here stops before the program opens a socket, so it runs outside the namespaces.
"""
import argparse
import os
import re
import subprocess
import sys
import unittest

CLI = ""
VERSION = ""
COMMANDS = ("adapters", "apply", "info", "search", "upgrade")


def run(*args, **kwargs):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=20, **kwargs)


class HelpAndVersion(unittest.TestCase):
    def test_version_is_the_projects(self):
        for flag in ("--version", "-v"):
            done = run(flag)
            self.assertEqual((done.returncode, done.stdout), (0, f"zadari-cli {VERSION}\n"))

    def test_every_option_of_a_usage_line_is_described_in_its_help(self):
        overview = run("--help")
        self.assertEqual(overview.returncode, 0)
        for command in COMMANDS:
            done = run(command, "--help")
            self.assertEqual(done.returncode, 0, command)
            usage = done.stdout.splitlines()[0]
            self.assertTrue(usage.startswith(f"usage: zadari-cli {command}"), usage)
            self.assertIn(usage[len("usage: "):], overview.stdout)
            described = set(re.findall(r"^  (?:-h, )?(--[a-z-]+)", done.stdout, re.M))
            self.assertEqual(set(re.findall(r"--[a-z-]+", usage)) | {"--help"}, described,
                             done.stdout)
        self.assertEqual(run("help", "search").stdout, run("search", "-h").stdout)


class UsageErrors(unittest.TestCase):
    CASES = [
        (["--bogus"], "unknown option --bogus"),
        (["help", "frobnicate"], "unknown command frobnicate"),
        (["search", "--stats=1"], "option --stats takes no value"),
        (["search", "--seconds=2", "--seconds", "3"], "option --seconds given twice"),
        (["search", "-bogus"], "unknown option -bogus"),
        (["adapters", "--json", "x"], "unexpected argument x"),
        (["apply", "--mac"], "option --mac needs a value"),
        (["info"], "--mac MAC is required"),
        (["info", "--mac", "nomac"], "--mac needs a MAC address, not 'nomac'"),
        (["info", "--mac", "025A00000001", "--seconds", "-1"],
         "--seconds needs a number from 0 to 86400, not '-1'"),
        (["upgrade", "--mac", "025A00000001"], "--file F is required"),
        (["upgrade", "--mac", "025A00000001", "--mac", "025A00000002"], "--file F is required"),
        (["upgrade", "--mac", "025A00000001", "--mac", "02:5a:00:00:00:01", "--file", "f"],
         "--mac 02:5a:00:00:00:01 given twice"),
        (["upgrade", "--mac", "025A00000001", "--mac", "nomac", "--file", "f"],
         "--mac needs a MAC address, not 'nomac'"),
        (["upgrade", "--mac", "025A00000001", "--parallel", "0", "--file", "f"],
         "--parallel needs a number from 1 to 64, not '0'"),
        (["upgrade", "--mac", "025A00000001", "--family-file", "7=f"],
         "--family-file needs FAMILY=F with FAMILY 2, 3 or 9, not '7=f'"),
        (["upgrade", "--mac", "025A00000001", "--file", "f", "--file", "g"],
         "option --file given twice"),
    ]

    def test_exit_2_with_the_problem_first(self):
        for args, text in self.CASES:
            done = run(*args)
            self.assertEqual(done.returncode, 2, args)
            self.assertIn(text, done.stderr.splitlines()[0], args)


def main():
    global CLI, VERSION
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--version", required=True, help="the version zadari-cli must report")
    args, rest = parser.parse_known_args()
    CLI, VERSION = os.path.abspath(args.cli), args.version
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
