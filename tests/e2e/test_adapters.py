#!/usr/bin/env python3
"""zadari-cli adapters in a pc namespace with known addresses, routes and name servers.

Listing adapters sends nothing; the namespace only gives it a computer whose adapters we know.
"""
import argparse
import json
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

CLI = None


class AdapterListing(unittest.TestCase):
    def run_adapters(self, topo):
        done = topo.pc.run([CLI, "adapters", "--json"], timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        return {a["name"]: a for a in json.loads(done.stdout)}

    def test_two_adapters_with_their_addresses_and_the_default_route(self):
        with harness.Topology(cameras=2, pc_default_route=True) as topo:
            # `ip netns exec` shows /etc/netns/<name>/resolv.conf as /etc/resolv.conf.
            netns_etc = os.path.join("/etc/netns", topo.pc.name)
            os.makedirs(netns_etc, exist_ok=True)
            try:
                with open(os.path.join(netns_etc, "resolv.conf"), "w") as f:
                    f.write("# test\nnameserver 10.231.0.53\nnameserver fe80::1\n"
                            "nameserver 10.231.1.53\nsearch lan\n")
                adapters = self.run_adapters(topo)
            finally:
                shutil.rmtree(netns_etc, ignore_errors=True)
        first, second = topo.pc.interfaces[0], topo.pc.interfaces[1]
        self.assertEqual(set(adapters), {first, second})  # loopback is left out
        self.assertEqual(adapters[first]["ip"], "10.231.0.1")
        self.assertEqual(adapters[first]["mask"], "255.255.255.0")
        self.assertEqual(adapters[first]["gateway"], "10.231.0.2")
        self.assertEqual(adapters[second]["ip"], "10.231.1.1")
        self.assertEqual(adapters[second]["gateway"], "")
        for a in adapters.values():
            self.assertEqual((a["dns1"], a["dns2"]), ("10.231.0.53", "10.231.1.53"))
            self.assertTrue(a["description"].startswith(a["name"]))

    def test_no_default_route_gives_no_gateway(self):
        with harness.Topology(cameras=1) as topo:
            adapters = self.run_adapters(topo)
        (only,) = adapters.values()
        self.assertEqual(only["ip"], "10.231.0.1")
        self.assertEqual(only["gateway"], "")


def main():
    global CLI
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    args, rest = parser.parse_known_args()
    CLI = os.path.abspath(args.cli)
    harness.skip_unless_available()
    result = unittest.main(argv=[sys.argv[0]] + rest, exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
