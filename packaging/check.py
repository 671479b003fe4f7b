#!/usr/bin/env python3
"""The package's checks, run by ctest in the "package" build (packaging/tests.cmake).

    check.py tree DEB DIR                    unpack the package into DIR
    check.py desktop DIR                     desktop-file-validate: no error, no warning
    check.py install DEB | remove NAME       apt-get install / purge (root only, else skipped)
    check.py version PROGRAM VERSION         PROGRAM --version names VERSION
    check.py adapters PROGRAM                PROGRAM adapters --json prints a JSON array
    check.py docs PROGRAM MANPAGE COMPLETION every command and option of PROGRAM's --help texts
                                             is in the manual page and the bash completion
    check.py completion COMPLETION           the completion offers the commands and options
    check.py versions VERSION CHANGELOG METAINFO
                                             the changelog's and the metainfo's latest entries
                                             are of the project's version
"""
import gzip
import json
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests


def fail(message):
    print(f"FAIL: {message}")
    sys.exit(1)


def run(args, **kwargs):
    print("+", " ".join(args), flush=True)
    return subprocess.run(args, text=True, capture_output=True, timeout=600, **kwargs)


def as_root():
    """The prefix that runs a command as root: none for root, "sudo -n" where sudo asks for no
    password (as on CI machines). Without either the calling test is skipped."""
    if os.geteuid() == 0:
        return []
    if shutil.which("sudo") and subprocess.run(["sudo", "-n", "true"], capture_output=True).returncode == 0:
        return ["sudo", "-n"]
    print("skipped: installing the package needs root (or sudo without a password)")
    sys.exit(SKIP)


def tree(deb, folder):
    shutil.rmtree(folder, ignore_errors=True)
    result = run(["dpkg-deb", "-x", deb, folder])
    if result.returncode != 0:
        fail(result.stderr)
    listing = run(["dpkg-deb", "-c", deb]).stdout
    print(listing)


def desktop(folder):
    path = os.path.join(folder, "usr/share/applications/zadari.desktop")
    result = run(["desktop-file-validate", path])
    out = result.stdout + result.stderr
    print(out)
    if result.returncode != 0 or re.search(r"\b(error|warning):", out):
        fail("desktop-file-validate reports errors or warnings")


APT = ["apt-get", "-o", "DPkg::Lock::Timeout=600", "-y", "-q"]


def apt(args):
    prefix = as_root()
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    result = run(prefix + ["env", "DEBIAN_FRONTEND=noninteractive"] + APT + args, env=env)
    print(result.stdout, result.stderr)
    if result.returncode != 0:
        fail("apt-get failed")


def installed(program):
    as_root()  # the package was installed only where this works
    if not os.access(program, os.X_OK):
        fail(f"{program} is not installed")


def run_installed(args):
    """Runs an installed program. Where the end-to-end harness can make network namespaces it
    runs in a fresh one (the program then sees the harness's adapters only); elsewhere, as on a
    CI machine without them, directly: --version and adapters send nothing."""
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
    import harness  # noqa: E402

    if not harness.e2e_available():
        return run(args)
    with harness.Topology(cameras=1) as topo:
        print("+ (in the namespace", topo.pc.name + ")", " ".join(args), flush=True)
        return topo.pc.run(args, timeout=600)


def version(program, expected):
    installed(program)
    result = run_installed([program, "--version"])
    print(result.stdout, result.stderr)
    if result.returncode != 0:
        fail(f"--version ended with {result.returncode}")
    if not re.search(rf"(^|\s){re.escape(expected)}(\s|$)", result.stdout):
        fail(f"--version does not name version {expected}")


def adapters(program):
    installed(program)
    # Reads the computer's adapters only; it sends nothing.
    result = run_installed([program, "adapters", "--json"])
    print(result.stdout, result.stderr)
    if result.returncode != 0:
        fail(f"adapters --json ended with {result.returncode}")
    listed = json.loads(result.stdout)
    if not isinstance(listed, list) or not all(isinstance(a, dict) and "name" in a for a in listed):
        fail("adapters --json is not an array of adapters")
    print(f"adapters --json: {len(listed)} adapters")


def help_text(program, *args):
    result = run([program, *args, "--help"])
    if result.returncode != 0:
        fail(f"{' '.join(args)} --help ended with {result.returncode}")
    return result.stdout


def commands_of(program):
    """The command names the program's --help lists."""
    text = help_text(program)
    names = set(re.findall(r"^\s+(?:zadari-cli\s+)?([a-z][a-z-]*)\b", text, re.M))
    # Lines of options ("-h, --help ...") and words of prose are no commands; ask each.
    commands = set()
    for name in names:
        result = run([program, name, "--help"])
        if result.returncode == 0:
            commands.add(name)
    if not commands:
        fail("--help lists no command")
    return sorted(commands)


def options_of(text):
    return set(re.findall(r"(?<![\w-])--[a-z][a-z0-9-]*", text))


def docs(program, manpage, completion):
    """Only asks for help texts: the program may be the installed one or the build's."""
    if not os.access(program, os.X_OK):
        fail(f"no program {program}")
    with gzip.open(manpage, "rt", encoding="utf-8") as f:
        man = f.read().replace("\\-", "-")
    with open(completion, encoding="utf-8") as f:
        comp = f.read()
    missing = []
    overview = help_text(program)
    for option in options_of(overview):
        if option not in options_of(man):
            missing.append(f"{option} not in the manual page")
    # Every exit code and environment variable the overview names has its entry.
    sections = re.split(r"^\.SH ", man, flags=re.M)
    exit_status = next((s for s in sections if s.startswith('"EXIT STATUS"')), "")
    environment = next((s for s in sections if s.startswith("ENVIRONMENT")), "")
    codes = re.findall(r"^\s+(\d+)\s+\S", overview.split("exit codes:", 1)[-1].split("\n\n")[0], re.M)
    if not codes:
        missing.append("the overview lists no exit code")
    for code in codes:
        if not re.search(rf"^\.TP\n\.B {code}$", exit_status, re.M):
            missing.append(f"exit code {code} has no entry in EXIT STATUS")
    for variable in re.findall(r"^\s+([A-Z][A-Z0-9_]+)\s", overview.split("environment:", 1)[-1], re.M):
        if not re.search(rf"^\.TP\n\.B {variable}$", environment, re.M):
            missing.append(f"{variable} has no entry in ENVIRONMENT")
    for command in commands_of(program):
        if not re.search(rf"^\.TP\n\.B {command}$", man, re.M):
            missing.append(f"command {command} has no entry in the manual page")
        if not re.search(rf"\b{command}\b", comp):
            missing.append(f"command {command} not in the completion")
        for option in options_of(help_text(program, command)) - {"--help"}:
            if option not in options_of(man):
                missing.append(f"{command} {option} not in the manual page")
            if option not in options_of(comp):
                missing.append(f"{command} {option} not in the completion")
        print(f"{command}: documented")
    if missing:
        fail("; ".join(missing))


def completion(script):
    """Completes a few command lines with bash-completion's helpers loaded."""
    helpers = "/usr/share/bash-completion/bash_completion"
    if not os.path.exists(helpers):
        print("skipped: bash-completion is not installed")
        sys.exit(SKIP)
    cases = [
        ("zadari-cli ", {"adapters", "apply", "info", "plan", "search", "upgrade"}),
        ("zadari-cli --", {"--help", "--version"}),
        ("zadari-cli search --interface ", None),  # the computer's adapters: only runs
        ("zadari-cli search --f", {"--format"}),
        ("zadari-cli search --format ", {"table", "json", "tsv"}),
        ("zadari-cli apply --mode f", {"fixed"}),
        ("zadari-cli apply --mac 1 --m", {"--mask", "--mode"}),
        ("zadari-cli upgrade --w", {"--web-ui"}),
        ("zadari-cli search --w", {"--watch"}),
        ("zadari-cli search --i", {"--interface"}),
        ("zadari-cli apply --mac 1 --password", {"--password", "--password-file"}),
        ("zadari-cli upgrade --password-f", {"--password-file"}),
        ("zadari-cli upgrade --mac 1 --m", {"--mac"}),
        ("zadari-cli upgrade --parallel 2 --p", {"--password", "--password-file"}),
        ("zadari-cli search --watch --w", set()),
        ("zadari-cli plan --r", {"--range"}),
        ("zadari-cli apply --plan x --d", {"--dry-run"}),
        ("zadari-cli apply --plan x --m", set()),
        ("zadari-cli apply --mac 1 --d", set()),
        ("zadari-cli adapters --", {"--json", "--help"}),
    ]
    for line, expected in cases:
        words = line.split(" ")
        program = f"""
            source {helpers}
            source {script}
            COMP_LINE={json.dumps(line)}
            COMP_POINT=${{#COMP_LINE}}
            COMP_WORDS=({" ".join(json.dumps(w) for w in words)})
            COMP_CWORD={len(words) - 1}
            _zadari_cli
            printf '%s\\n' "${{COMPREPLY[@]}}"
        """
        result = run(["bash", "-c", program])
        got = set(result.stdout.split())
        print(f"{line!r} -> {sorted(got)}")
        if result.returncode != 0 or (expected is not None and got != expected):
            fail(f"{line!r} completes to {sorted(got)}, not {sorted(expected)}")


def versions(expected, changelog, metainfo):
    with open(changelog, encoding="utf-8") as f:
        first = f.readline()
    match = re.match(r"^zadari \(([^)]+)\)", first)
    if not match or match.group(1).rsplit("-", 1)[0] != expected:
        fail(f"the changelog's latest entry is not of version {expected}: {first.strip()}")
    releases = ET.parse(metainfo).getroot().findall("./releases/release")
    if not releases or releases[0].get("version") != expected:
        fail(f"the metainfo's latest release is not version {expected}")
    print(f"version {expected}: changelog and metainfo agree")


def main(argv):
    checks = {
        "tree": tree, "desktop": desktop, "version": version, "adapters": adapters,
        "docs": docs, "completion": completion, "versions": versions,
        "install": lambda deb: apt(["install", "--reinstall", "--no-install-recommends", deb]),
        "remove": lambda name: apt(["purge", name]),
    }
    if len(argv) < 2 or argv[1] not in checks:
        print(__doc__)
        return 2
    checks[argv[1]](*argv[2:])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
