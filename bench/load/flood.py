#!/usr/bin/env python3
"""The full flood: a minute of 20,000 random and malformed datagrams a second at every port of
`zadari-cli search`, inside namespaces (the ctest e2e.flood runs the same for 10 s).

    sudo python3 bench/load/flood.py --cli build/release/zadari-cli [--seconds 60] [--rate 20000]

Prints the figures (largest tick lateness, resident memory over the run, CPU, datagrams read
and dropped) as JSON; exit 1 when a goal is missed (lateness 200 ms or more, a crash, memory
growing, a real camera lost).
"""

import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
FLOOD = os.path.join(HERE, "..", "..", "tests", "e2e", "test_flood.py")

if __name__ == "__main__":
    args = sys.argv[1:]
    if "--seconds" not in args:
        args += ["--seconds", "60"]
    sys.exit(subprocess.call([sys.executable, FLOOD, *args]))
