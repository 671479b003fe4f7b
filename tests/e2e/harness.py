"""Network namespaces for the end-to-end tests.

Every test that puts discovery traffic (broadcasts, multicast, setting commands) on a wire does it
inside namespaces made here, never on the machine's own interfaces:

    with Topology(cameras=1) as topo:          # "pc" and "camera" namespaces, one veth pair
        sim = topo.start_camsim([{"family": 1, "mac": "00:11:22:33:44:55"}])
        out = topo.pc.run(["zadari-cli", "search", "--format", "json"])
        sim.received(port=10000)               # what the program sent, from the simulator's log

Layout (pair k = 0, 1, ...; one pair per camera namespace):

    pc namespace                          camera namespace k
    zv<k>  10.231.<k>.1/24   <-- veth -->  zv0  10.231.<k>.2/24

The veth ends are created directly inside their namespaces, so the interface names never clash
with the host or with a concurrent run; only the namespace names carry the run's id.

Routing. The pc namespace has only the connected routes of its pairs: no default route and no
multicast route unless asked (pc_default_route / pc_multicast_route). There, a plain send to
255.255.255.255 or to 239.255.255.250 fails with ENETUNREACH; the sender has to choose the
interface for each datagram (IP_PKTINFO with the interface index, which is what Qt's
QNetworkDatagram::setInterfaceIndex does, or IP_MULTICAST_IF / QUdpSocket::setMulticastInterface
for multicast). Joined that way, a broadcast leaves with the interface's address as its source and
reaches the camera namespace on the other end of the veth. A program that finds cameras must
therefore send every broadcast and every multicast once per up, broadcast-capable interface.
The camera namespaces get a 224.0.0.0/4 route on their veth (camera_multicast_route) so the
simulator can join and answer the multicast group without caring; the simulator also names its
interface address explicitly.

Cleanup runs on every exit path: the context manager's exit, atexit, SIGTERM and SIGHUP (SIGINT
arrives as KeyboardInterrupt and goes through the context manager). Namespaces left behind by a
run that was killed outright are removed by the next run (their owner pid is gone).

Without root or a working `ip netns`, tests call skip_unless_available(), which exits with
SKIP (77), the code ctest is told to report as skipped.
"""

from __future__ import annotations

import atexit
import json
import os
import secrets
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
from typing import Iterable, Sequence

SKIP = 77
PREFIX = "zadari-e2e-"
HERE = os.path.dirname(os.path.abspath(__file__))
CAMSIM = os.path.join(HERE, "camsim.py")

_availability: tuple[bool, str] | None = None
_live: list["Topology"] = []
_live_lock = threading.Lock()
_handlers_installed = False


def _ip(*args: str, check: bool = True, timeout: float = 20) -> subprocess.CompletedProcess:
    return subprocess.run(["ip", *args], check=check, capture_output=True, text=True, timeout=timeout)


def _probe() -> tuple[bool, str]:
    if not sys.platform.startswith("linux"):
        return False, "network namespaces need Linux"
    if os.geteuid() != 0:
        return False, "network namespaces need root"
    if shutil.which("ip") is None:
        return False, "iproute2 ('ip') is not installed"
    name = f"{PREFIX}{os.getpid()}-probe{secrets.token_hex(2)}"
    try:
        made = _ip("netns", "add", name, check=False)
        if made.returncode != 0:
            return False, "ip netns add failed: " + made.stderr.strip()
        try:
            veth = _ip("-n", name, "link", "add", "zp0", "type", "veth", "peer", "name", "zp1", check=False)
            if veth.returncode != 0:
                return False, "veth pairs are not available: " + veth.stderr.strip()
        finally:
            _ip("netns", "del", name, check=False)
    except (OSError, subprocess.SubprocessError) as error:
        return False, f"ip netns does not work: {error}"
    return True, ""


def e2e_available() -> bool:
    """True when we are root and `ip netns` with veth pairs works here."""
    global _availability
    if _availability is None:
        _availability = _probe()
    return _availability[0]


def unavailable_reason() -> str:
    e2e_available()
    assert _availability is not None
    return _availability[1]


def skip_unless_available() -> None:
    """Exit with SKIP (77) and a reason when namespaces cannot be made."""
    if not e2e_available():
        print(f"SKIPPED: {unavailable_reason()}", flush=True)
        sys.exit(SKIP)


def _pid_alive(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def remove_stale_namespaces() -> None:
    """Delete namespaces of earlier runs whose owner process no longer exists."""
    listing = _ip("netns", "list", check=False)
    for line in listing.stdout.splitlines():
        name = line.split()[0] if line.split() else ""
        if not name.startswith(PREFIX):
            continue
        owner = name[len(PREFIX):].split("-", 1)[0]
        if owner.isdigit() and not _pid_alive(int(owner)):
            _ip("netns", "del", name, check=False)


def _cleanup_all() -> None:
    with _live_lock:
        topologies = list(_live)
    for topology in topologies:
        topology.close()


def _on_signal(signum, _frame) -> None:
    _cleanup_all()
    signal.signal(signum, signal.SIG_DFL)
    os.kill(os.getpid(), signum)


def _install_handlers() -> None:
    global _handlers_installed
    if _handlers_installed:
        return
    _handlers_installed = True
    atexit.register(_cleanup_all)
    for signum in (signal.SIGTERM, signal.SIGHUP):
        try:
            if signal.getsignal(signum) in (signal.SIG_DFL, None):
                signal.signal(signum, _on_signal)
        except (ValueError, OSError):  # not the main thread
            pass


class Namespace:
    """One network namespace; commands run in it through `ip netns exec`."""

    def __init__(self, name: str, owner: "Topology"):
        self.name = name
        self.owner = owner
        self.addresses: list[tuple[str, str, int]] = []  # (interface, address, prefix length)

    @property
    def addr(self) -> str:
        """The first address of the namespace (10.231.k.1 for the pc, 10.231.k.2 for a camera)."""
        return self.addresses[0][1]

    @property
    def interfaces(self) -> list[str]:
        return [interface for interface, _, _ in self.addresses]

    def command(self, args: Sequence[str]) -> list[str]:
        return ["ip", "netns", "exec", self.name, *args]

    def run(self, args: Sequence[str], timeout: float = 60, check: bool = False, capture: bool = True,
            input: str | bytes | None = None, env: dict | None = None, text: bool = True,
            cwd: str | None = None) -> subprocess.CompletedProcess:
        """Run a command in the foreground and wait for it."""
        return subprocess.run(self.command(args), timeout=timeout, check=check, capture_output=capture,
                              input=input, env=env, text=text, cwd=cwd)

    def popen(self, args: Sequence[str], **kwargs) -> subprocess.Popen:
        """Start a command in the background. It runs in a process group of its own and is
        terminated when the topology is closed (or earlier with Topology.stop)."""
        kwargs.setdefault("start_new_session", True)
        process = subprocess.Popen(self.command(args), **kwargs)
        self.owner._processes.append(process)
        return process

    def python(self, code: str, *args: str, timeout: float = 30) -> subprocess.CompletedProcess:
        """Run a Python snippet in the namespace (sys.argv[1:] = args)."""
        return self.run([sys.executable, "-c", code, *args], timeout=timeout)

    def __repr__(self) -> str:
        return f"Namespace({self.name!r}, {self.addresses!r})"


class Topology:
    """A "pc" namespace and `cameras` camera namespaces, each joined to the pc by a veth pair.

    Pair k: pc interface zv<k> with 10.231.<k>.1/24, camera k's interface zv0 with 10.231.<k>.2/24.
    """

    def __init__(self, cameras: int = 1, pc_default_route: bool = False, pc_multicast_route: bool = False,
                 camera_multicast_route: bool = True, base: str = "10.231"):
        if cameras < 1 or cameras > 8:
            raise ValueError("between 1 and 8 camera namespaces")
        self.camera_count = cameras
        self.pc_default_route = pc_default_route
        self.pc_multicast_route = pc_multicast_route
        self.camera_multicast_route = camera_multicast_route
        self.base = base
        self.run_id = f"{os.getpid()}-{secrets.token_hex(2)}"
        self.pc = Namespace(f"{PREFIX}{self.run_id}-pc", self)
        self.cameras = [Namespace(f"{PREFIX}{self.run_id}-cam{k}", self) for k in range(cameras)]
        self.tmpdir = ""
        self._processes: list[subprocess.Popen] = []
        self._made: list[str] = []
        self._closed = False

    @property
    def camera(self) -> Namespace:
        return self.cameras[0]

    def __enter__(self) -> "Topology":
        self.setup()
        return self

    def __exit__(self, *_exc) -> None:
        self.close()

    def setup(self) -> "Topology":
        if not e2e_available():
            raise RuntimeError(unavailable_reason())
        _install_handlers()
        with _live_lock:
            _live.append(self)
        remove_stale_namespaces()
        self.tmpdir = tempfile.mkdtemp(prefix=f"{PREFIX}{self.run_id}-")
        try:
            self._build()
        except BaseException:
            self.close()
            raise
        return self

    def _build(self) -> None:
        for namespace in [self.pc, *self.cameras]:
            _ip("netns", "add", namespace.name)
            self._made.append(namespace.name)
            _ip("-n", namespace.name, "link", "set", "lo", "up")
        for k, camera in enumerate(self.cameras):
            pc_if, cam_if = f"zv{k}", "zv0"
            pc_addr, cam_addr = f"{self.base}.{k}.1", f"{self.base}.{k}.2"
            _ip("-n", self.pc.name, "link", "add", pc_if, "type", "veth", "peer", "name", cam_if,
                "netns", camera.name)
            _ip("-n", self.pc.name, "addr", "add", f"{pc_addr}/24", "broadcast", "+", "dev", pc_if)
            _ip("-n", camera.name, "addr", "add", f"{cam_addr}/24", "broadcast", "+", "dev", cam_if)
            _ip("-n", self.pc.name, "link", "set", pc_if, "up")
            _ip("-n", camera.name, "link", "set", cam_if, "up")
            self.pc.addresses.append((pc_if, pc_addr, 24))
            camera.addresses.append((cam_if, cam_addr, 24))
            if self.camera_multicast_route:
                _ip("-n", camera.name, "route", "add", "224.0.0.0/4", "dev", cam_if)
        if self.pc_default_route:
            _ip("-n", self.pc.name, "route", "add", "default", "via", self.cameras[0].addr)
        if self.pc_multicast_route:
            _ip("-n", self.pc.name, "route", "add", "224.0.0.0/4", "dev", self.pc.interfaces[0])
        self._wait_links_up()

    def _wait_links_up(self, timeout: float = 5) -> None:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            states = _ip("-n", self.pc.name, "-o", "link", "show", "type", "veth", check=False).stdout
            if states and "LOWER_UP" in states and states.count("LOWER_UP") >= self.camera_count:
                return
            time.sleep(0.05)

    def stop(self, process: subprocess.Popen, timeout: float = 3) -> int | None:
        """Terminate one background process started by this topology (its process group)."""
        if process.poll() is None:
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                try:
                    os.killpg(process.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                process.wait(timeout)
        return process.returncode

    def close(self) -> None:
        """Stop every background process, delete the namespaces and the run's folder. Idempotent."""
        if self._closed:
            return
        self._closed = True
        for process in reversed(self._processes):
            try:
                self.stop(process)
            except (OSError, subprocess.SubprocessError):
                pass
        for name in reversed(self._made):
            _ip("netns", "del", name, check=False)
        self._made.clear()
        if self.tmpdir and not os.environ.get("ZADARI_E2E_KEEP"):
            shutil.rmtree(self.tmpdir, ignore_errors=True)
        with _live_lock:
            if self in _live:
                _live.remove(self)

    def path(self, name: str) -> str:
        """A file name inside the run's temporary folder (removed on close)."""
        return os.path.join(self.tmpdir, name)

    def start_camsim(self, devices: list | str, camera: int = 0, log: bool = True, http: bool = False,
                     upload_dir: str | None = None, generate: int = 0, extra_args: Iterable[str] = (),
                     ready_timeout: float = 15, name: str | None = None, add_addresses: bool = True) -> "CamSim":
        """Start tests/e2e/camsim.py in camera namespace `camera` and wait until its ports are bound.

        devices: a list of device objects (written to a JSON file) or the path of such a file.
        add_addresses: devices whose IP lies in the camera's subnet get that address on the
        camera's interface, so the pc reaches their HTTP pages at their own address."""
        label = name or f"camsim{camera}-{len(self._processes)}"
        sim = CamSim(self, self.cameras[camera], label)
        if not isinstance(devices, str):
            sim.write_devices(devices, wait=False)
        devices_path = devices if isinstance(devices, str) else sim.devices_path
        args = [sys.executable, CAMSIM, "--devices", devices_path, "--state", sim.state_path]
        if log:
            args += ["--log", sim.log_path]
        if generate:
            args += ["--generate", str(generate)]
        if add_addresses:
            args += ["--add-addresses"]
        if http:
            args += ["--http"]
            sim.upload_dir = upload_dir or self.path(f"{label}-uploads")
            os.makedirs(sim.upload_dir, exist_ok=True)
            args += ["--upload-dir", sim.upload_dir]
        args += list(extra_args)
        sim.devices_path = devices_path
        sim.process = sim.namespace.popen(args, stdout=subprocess.PIPE, stderr=open(sim.stderr_path, "wb"))
        sim.wait_ready(ready_timeout)
        return sim


class CamSim:
    """A running camera simulator: its files, its log and its state."""

    def __init__(self, topology: Topology, namespace: Namespace, label: str):
        self.topology = topology
        self.namespace = namespace
        self.devices_path = topology.path(f"{label}-devices.json")
        self.log_path = topology.path(f"{label}-log.jsonl")
        self.state_path = topology.path(f"{label}-state.json")
        self.stderr_path = topology.path(f"{label}-stderr.txt")
        self.upload_dir: str | None = None
        self.process: subprocess.Popen | None = None

    def wait_ready(self, timeout: float) -> None:
        assert self.process is not None and self.process.stdout is not None
        deadline = time.monotonic() + timeout
        line = b""
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.process.stdout], [], [], 0.1)
            if ready:
                line = self.process.stdout.readline()
                if line.startswith(b"READY"):
                    return
                if not line:
                    break
            if self.process.poll() is not None:
                break
        raise RuntimeError(f"camsim did not start: {self.stderr()}")

    def stderr(self) -> str:
        try:
            with open(self.stderr_path, "r", errors="replace") as handle:
                return handle.read()
        except OSError:
            return ""

    def write_devices(self, devices: list, wait: bool = True, timeout: float = 5) -> None:
        """Replace the device description; with wait, return once the simulator has reloaded it."""
        before = len(self.log(kind="reload")) if wait else 0
        temporary = self.devices_path + ".tmp"
        with open(temporary, "w") as handle:
            json.dump(devices, handle, indent=1)
        os.replace(temporary, self.devices_path)
        # Make sure the modification time moves even on file systems with coarse time stamps.
        stamp = time.time_ns()
        os.utime(self.devices_path, ns=(stamp, stamp))
        if wait:
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline:
                if len(self.log(kind="reload")) > before:
                    return
                time.sleep(0.05)
            raise RuntimeError("camsim did not reload its devices")

    def log(self, port: int | None = None, kind: str | None = None) -> list[dict]:
        """The log lines written so far, optionally only those of one local port and/or kind."""
        entries = []
        try:
            with open(self.log_path, "r") as handle:
                for line in handle:
                    if not line.endswith("\n"):
                        break  # a line still being written
                    entry = json.loads(line)
                    if port is not None and entry.get("port") != port:
                        continue
                    if kind is not None and entry.get("kind") != kind:
                        continue
                    entries.append(entry)
        except FileNotFoundError:
            pass
        return entries

    def received(self, port: int | None = None) -> list[dict]:
        """Received datagrams (kind "rx"): time, port, src, sport, dst, hex, and what they were."""
        return self.log(port=port, kind="rx")

    def state(self) -> list[dict]:
        """The simulated devices as they are now (after applied setting commands)."""
        with open(self.state_path, "r") as handle:
            return json.load(handle)

    def stop(self) -> int | None:
        assert self.process is not None
        return self.topology.stop(self.process)


# --- what the e2e test scripts share ---------------------------------------------------------


class Failure(AssertionError):
    """A check of an e2e case that did not hold."""


def check(condition: bool, message: str) -> None:
    if not condition:
        raise Failure(message)


def mac_key(mac: str) -> str:
    """A MAC as the program keys it: without "-" and ":", blanks as "0", upper case."""
    return mac.replace("-", "").replace(":", "").replace(" ", "0").upper()


def describe(result) -> str:
    """A finished process's exit code and output, for a failure message."""
    return f"exit {result.returncode}\nstdout:\n{result.stdout}\nstderr:\n{result.stderr}"


def _selftest() -> int:
    """Check that broadcast and multicast from the pc reach the camera namespace."""
    skip_unless_available()
    receiver = r"""
import socket, select, sys
a = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); a.bind(("0.0.0.0", 10000))
b = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); b.bind(("0.0.0.0", 8002))
b.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
             socket.inet_aton("239.255.255.250") + socket.inet_aton(sys.argv[1]))
print("ready", flush=True)
got = set()
while len(got) < 2:
    r, _, _ = select.select([a, b], [], [], 5)
    if not r: break
    for s in r:
        data, src = s.recvfrom(2048); got.add(data); print(data.decode(), src[0], flush=True)
"""
    sender = r"""
import socket, struct, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
try:
    s.sendto(b"plain", ("255.255.255.255", 10000)); print("plain broadcast sent")
except OSError as e:
    print("plain broadcast refused:", e.strerror)
index = socket.if_nametoindex("zv0")
s.sendmsg([b"broadcast"], [(socket.IPPROTO_IP, getattr(socket, "IP_PKTINFO", 8),
          struct.pack("@i4s4s", index, bytes(4), bytes(4)))], 0, ("255.255.255.255", 10000))
s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(sys.argv[1]))
s.sendto(b"multicast", ("239.255.255.250", 8002))
"""
    with Topology() as topo:
        listener = topo.camera.popen([sys.executable, "-c", receiver, topo.camera.addr],
                                     stdout=subprocess.PIPE, text=True)
        assert listener.stdout is not None
        listener.stdout.readline()
        print(topo.pc.python(sender, topo.pc.addr).stdout, end="")
        listener.wait(10)
        output = listener.stdout.read()
        print(output, end="")
        return 0 if "broadcast" in output and "multicast" in output else 1


if __name__ == "__main__":
    if "--selftest" in sys.argv:
        sys.exit(_selftest())
    print(__doc__)
