#!/usr/bin/env python3
"""Checks every #include of src/ against the layer graph: a layer may include only itself and
the layers below it, so a wrong dependency fails here even where the linker would not notice."""
import os
import re
import sys

BELOW = {
    "protocols": set(),
    "i18n": set(),
    "net": {"protocols"},
    "standards": {"protocols"},
    "access": {"protocols", "i18n"},
    "upgrade": {"access"},
    "app": {"net", "access", "upgrade", "standards", "i18n"},
    "widgets": {"app", "upgrade", "controls", "gui"},
    "controls": set(),
    "cli": {"app", "upgrade"},
}


def closure(layer, seen=None):
    seen = set() if seen is None else seen
    for lower in BELOW.get(layer, ()):
        if lower not in seen:
            seen.add(lower)
            closure(lower, seen)
    return seen


def layer_of(path):
    parts = path.split(os.sep)
    if "ui" in parts[1:-1] or parts[0] == "gui":
        return "widgets"
    return parts[0]


def main():
    src = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    include = re.compile(r'^\s*#\s*include\s+"([a-z0-9_]+)/([^"]+)"')
    problems = []
    for root, _, files in os.walk(src):
        for name in files:
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(root, name)
            rel = os.path.relpath(path, src)
            layer = layer_of(rel)
            allowed = closure(layer) | {layer}
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = include.match(line)
                    if not m:
                        continue
                    target = layer_of(m.group(1) + "/" + m.group(2))
                    if target not in allowed:
                        header = m.group(1) + "/" + m.group(2)
                        problems.append(f"{rel}:{number}: {layer} includes {header} ({target})")
    for p in problems:
        print(p)
    print(f"{len(problems)} include(s) against the layer graph")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
