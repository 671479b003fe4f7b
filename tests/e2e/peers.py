"""Real peers of the standard discovery protocols, run inside the harness's namespaces.

Debian-packaged programs that play devices and clients next to the simulator:

    with harness.Topology(cameras=3) as topo:
        avahi = peers.AvahiPublisher(topo, topo.cameras[0], services=[
            {"name": "Avahi Camera", "type": "_axis-video._tcp", "port": 80,
             "txt": {"macaddress": "00408C123456"}}]).start()
        light = peers.UpnpLight(topo, topo.cameras[1], name="Zadari Light").start()
        computer = peers.Wsdd(topo, topo.cameras[2], hostname="ZADARI-PC").start()
        browser = peers.AvahiBrowser(topo, topo.pc).start()
        browser.browse()        # [{"name", "type", "host", "address", "port", "txt"}, ...]

- AvahiPublisher: avahi-daemon publishing static services (.service files in a private folder),
  with its own configuration file and no D-Bus. Ready once every service is established.
- AvahiBrowser: avahi-daemon with a private D-Bus (dbus-daemon with its own configuration and
  socket), publishing nothing, and browse() running avahi-browse against it.
- UpnpLight: gupnp-tools' network light (a real UPnP DimmableLight root device) under a private
  Xvfb. Ready once it serves its description; `port` is the description's HTTP port.
- Wsdd: Debian's wsdd announcing a computer (WS-Discovery types wsdp:Device pub:Computer).

Each peer runs in a private mount namespace where needed (avahi-daemon's PID file and services
folder are fixed paths: a tmpfs on /run and a bind mount of the private folder over
/etc/avahi/services keep concurrent runs apart and leave the host untouched). start() waits for
readiness and raises PeerError with the peer's log when it does not come; stop() (or the
topology's close) ends every process of the peer. `Peer.unavailable()` names a missing program,
so a test can skip. Logs: `peer.log()`, kept in the run's folder.
"""

from __future__ import annotations

import os
import re
import select
import shutil
import subprocess
import time


class PeerError(RuntimeError):
    pass


class Peer:
    """One real program (or a few) started in a namespace of a harness.Topology."""

    programs: tuple[str, ...] = ()

    def __init__(self, topology, namespace, label: str, interface: str | None = None):
        self.topology = topology
        self.namespace = namespace
        self.interface = interface or namespace.interfaces[0]
        self.folder = topology.path(f"{label}-{len(topology._processes)}")
        os.makedirs(self.folder, exist_ok=True)
        self.log_path = os.path.join(self.folder, "log.txt")
        self.processes: list[subprocess.Popen] = []

    @classmethod
    def unavailable(cls) -> str:
        """Why the peer cannot run here ("" when it can)."""
        missing = [program for program in cls.programs if shutil.which(program) is None]
        return f"not installed: {', '.join(missing)}" if missing else ""

    def spawn(self, args, env: dict | None = None, log: str | None = None, **kwargs) -> subprocess.Popen:
        output = open(log or self.log_path, "ab")
        try:
            process = self.namespace.popen(list(args), env=env, stdout=output, stderr=subprocess.STDOUT,
                                           stdin=subprocess.DEVNULL, **kwargs)
        finally:
            output.close()
        self.processes.append(process)
        return process

    def log(self) -> str:
        try:
            with open(self.log_path, "r", errors="replace") as handle:
                return handle.read()
        except OSError:
            return ""

    def wait_for(self, ready, timeout: float, what: str) -> None:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if ready():
                return
            for process in self.processes:
                if process.poll() is not None:
                    raise PeerError(f"{type(self).__name__}: exited with {process.returncode} before {what}:\n"
                                    f"{self.log()[-3000:]}")
            time.sleep(0.05)
        raise PeerError(f"{type(self).__name__}: no {what} within {timeout} s:\n{self.log()[-3000:]}")

    def start(self, timeout: float = 20) -> "Peer":
        reason = self.unavailable()
        if reason:
            raise PeerError(f"{type(self).__name__}: {reason}")
        try:
            self.launch(timeout)
        except BaseException:
            self.stop()
            raise
        return self

    def launch(self, timeout: float) -> None:
        raise NotImplementedError

    def stop(self) -> None:
        for process in reversed(self.processes):
            self.topology.stop(process)
        self.processes.clear()

    def __enter__(self) -> "Peer":
        return self.start()

    def __exit__(self, *_exc) -> None:
        self.stop()


def private_mounts(*commands: str) -> list[str]:
    """A shell command line run in a mount namespace of its own (mounts stay inside it)."""
    return ["unshare", "--mount", "--propagation", "private", "sh", "-c", " && ".join(commands)]


AVAHI_CONF = """[server]
host-name={host}
domain-name=local
use-ipv4=yes
use-ipv6=no
allow-interfaces={interface}
enable-dbus={dbus}
ratelimit-interval-usec=1000000
ratelimit-burst=1000

[wide-area]
enable-wide-area=no

[publish]
disable-publishing={no_publishing}
publish-hinfo=no
publish-workstation=no

[reflector]

[rlimits]
"""


def xml_text(text) -> str:
    return str(text).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


class AvahiDaemon(Peer):
    programs = ("avahi-daemon", "unshare")

    def __init__(self, topology, namespace, label: str, host: str, dbus: bool, publishing: bool,
                 interface: str | None = None):
        super().__init__(topology, namespace, label, interface)
        self.host = host
        self.services_folder = os.path.join(self.folder, "services")
        os.makedirs(self.services_folder, exist_ok=True)
        self.config_path = os.path.join(self.folder, "avahi-daemon.conf")
        with open(self.config_path, "w") as handle:
            handle.write(AVAHI_CONF.format(host=host, interface=self.interface, dbus="yes" if dbus else "no",
                                           no_publishing="no" if publishing else "yes"))

    def start_daemon(self, env: dict | None = None) -> None:
        self.spawn(private_mounts("mount -t tmpfs tmpfs /run",
                                  f"mount --bind '{self.services_folder}' /etc/avahi/services",
                                  f"exec avahi-daemon -f '{self.config_path}' --no-drop-root --no-chroot "
                                  "--no-rlimits --no-proc-title"), env=env)


class AvahiPublisher(AvahiDaemon):
    """avahi-daemon publishing static services, without D-Bus.

    services: [{"name": instance, "type": "_axis-video._tcp", "port": 80, "txt": {k: v} or [text],
    "host": optional host name the SRV points at}]."""

    def __init__(self, topology, namespace, services: list[dict], host: str = "zadari-avahi",
                 interface: str | None = None):
        super().__init__(topology, namespace, "avahi-publisher", host, dbus=False, publishing=True,
                         interface=interface)
        self.services = services
        for index, service in enumerate(services):
            txt = service.get("txt", {})
            items = [f"{k}={v}" for k, v in txt.items()] if isinstance(txt, dict) else list(txt)
            records = "".join(f"<txt-record>{xml_text(item)}</txt-record>" for item in items)
            host_name = f"<host-name>{xml_text(service['host'])}</host-name>" if service.get("host") else ""
            with open(os.path.join(self.services_folder, f"s{index}.service"), "w") as handle:
                handle.write('<?xml version="1.0" standalone="no"?>\n<service-group>'
                             f"<name>{xml_text(service['name'])}</name><service>"
                             f"<type>{xml_text(service['type'])}</type><port>{int(service.get('port', 80))}</port>"
                             f"{host_name}{records}</service></service-group>\n")

    def launch(self, timeout: float) -> None:
        self.start_daemon()
        names = [service["name"] for service in self.services]

        def ready() -> bool:
            text = self.log()
            if not names:
                return "Server startup complete" in text
            return all(f'Service "{name}" (' in text and "successfully established" in text for name in names) and \
                text.count("successfully established") >= len(names)

        self.wait_for(ready, timeout, "established services")


DBUS_CONF = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
"""


class AvahiBrowser(AvahiDaemon):
    """avahi-daemon as a browser on a private D-Bus, with avahi-browse as its client."""

    programs = ("avahi-daemon", "avahi-browse", "dbus-daemon", "unshare")

    def __init__(self, topology, namespace, host: str = "zadari-browser", interface: str | None = None):
        super().__init__(topology, namespace, "avahi-browser", host, dbus=True, publishing=False, interface=interface)
        self.socket = os.path.join(self.folder, "bus")
        self.env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=f"unix:path={self.socket}")
        with open(os.path.join(self.folder, "bus.conf"), "w") as handle:
            handle.write(DBUS_CONF.format(socket=self.socket))

    def launch(self, timeout: float) -> None:
        self.spawn(["dbus-daemon", "--config-file", os.path.join(self.folder, "bus.conf"), "--nofork",
                    "--nopidfile"], env=self.env, log=os.path.join(self.folder, "dbus.txt"))
        self.wait_for(lambda: os.path.exists(self.socket), timeout, "D-Bus socket")
        self.start_daemon(self.env)
        self.wait_for(lambda: "Server startup complete" in self.log(), timeout, "avahi start-up")

    def browse(self, timeout: float = 15) -> list[dict]:
        """Every service avahi-browse finds and resolves (-a -r -t -k -p)."""
        result = self.namespace.run(["avahi-browse", "--all", "--resolve", "--terminate", "--no-db-lookup",
                                     "--parsable"], env=self.env, timeout=timeout)
        if result.returncode != 0:
            raise PeerError(f"avahi-browse failed: {result.stderr}")
        found = []
        for line in result.stdout.splitlines():
            fields = line.split(";")
            if fields[0] != "=" or len(fields) < 10:
                continue
            txt = re.findall(r'"((?:[^"\\]|\\.)*)"', ";".join(fields[9:]))
            found.append({"interface": fields[1], "protocol": fields[2], "name": avahi_unescape(fields[3]),
                          "type": fields[4], "domain": fields[5], "host": fields[6], "address": fields[7],
                          "port": int(fields[8]), "txt": [avahi_unescape(item) for item in txt]})
        return found


def avahi_unescape(text: str) -> str:
    """avahi-browse --parsable writes unusual characters as a backslash and three decimal digits."""
    raw = re.sub(r"\\(\d{3})", lambda match: chr(int(match.group(1))), text)
    return raw.encode("latin-1", "replace").decode("utf-8", "replace")


class UpnpLight(Peer):
    """gupnp-tools' network light, a real UPnP root device, under a private Xvfb."""

    programs = ("gupnp-network-light", "Xvfb")

    def __init__(self, topology, namespace, name: str = "Zadari Light", interface: str | None = None):
        super().__init__(topology, namespace, "upnp-light", interface)
        self.name = name
        self.port = 0
        self.display = ""

    def launch(self, timeout: float) -> None:
        reader, writer = os.pipe()
        try:
            self.spawn(["Xvfb", "-displayfd", str(writer), "-nolisten", "tcp", "-screen", "0", "640x480x24"],
                       log=os.path.join(self.folder, "xvfb.txt"), pass_fds=(writer,))
            os.close(writer)
            writer = -1
            # Xvfb writes the number and then a newline: read up to the newline, or Xvfb's second
            # write hits a closed pipe and the server gives up.
            deadline = time.monotonic() + timeout
            text = b""
            while not text.endswith(b"\n") and time.monotonic() < deadline:
                ready, _, _ = select.select([reader], [], [], max(0.0, deadline - time.monotonic()))
                chunk = os.read(reader, 32) if ready else b""
                if not chunk:
                    break
                text += chunk
            self.display = text.decode().strip() if text.endswith(b"\n") else ""
        finally:
            os.close(reader)
            if writer >= 0:
                os.close(writer)
        if not self.display:
            raise PeerError(f"UpnpLight: Xvfb gave no display number within {timeout} s")
        env = dict(os.environ, DISPLAY=":" + self.display, NO_AT_BRIDGE="1", GDK_BACKEND="x11")
        self.spawn(["gupnp-network-light", "--interface", self.interface, "--v4", "--no-v6", "--name", self.name],
                   env=env)
        pattern = re.compile(rf"Attaching to IP/Host {re.escape(self.namespace.addr)} on port (\d+)")

        def ready() -> bool:
            match = pattern.search(self.log())
            if match:
                self.port = int(match.group(1))
            return bool(match)

        self.wait_for(ready, timeout, "UPnP context")


class Wsdd(Peer):
    """Debian's wsdd: a computer announcing itself by WS-Discovery (wsdp:Device pub:Computer)."""

    programs = ("wsdd",)

    def __init__(self, topology, namespace, hostname: str = "ZADARI-PC", interface: str | None = None):
        super().__init__(topology, namespace, "wsdd", interface)
        self.hostname = hostname

    def launch(self, timeout: float) -> None:
        self.spawn(["wsdd", "--interface", self.interface, "--ipv4only", "--hostname", self.hostname,
                    "--verbose", "--shortlog"])
        self.wait_for(lambda: "joined multicast group" in self.log() and "Hello" in self.log(), timeout,
                      "multicast membership")
