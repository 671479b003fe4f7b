"""The ONVIF device management service of the camera simulator's ONVIF cameras (Python 3
standard library only). camsim.py calls handle_device_service for every POST to a device
service path; camera_state is the device's live dict, so what a set call changes is what
WS-Discovery tells next (camsim then raises the MetadataVersion and sends a Hello).

Account and behaviour come from the device's "onvif" object (every key optional):

    user, password        the account ("admin", ""); every call but GetSystemDateAndTime needs a
                          WS-Security UsernameToken with PasswordDigest = Base64(SHA-1(nonce +
                          created + password)); a wrong user or digest, a Created further than
                          skewSeconds (60) from the camera's clock and a nonce seen before are
                          refused with the fault env:Sender / ter:NotAuthorized (HTTP 400)
    clockOffsetSeconds    the camera's clock minus the true time (0)
    hostname              the host name (default: the name in lower case, other characters "-")
    rebootNeeded          SetNetworkInterfaces answers RebootNeeded for a change of address or
                          DHCP (true); the new address is then taken at SystemReboot, which says
                          Bye at the old address first (the Hello at the new one follows)
    nameScopeFixed        the name scope is a fixed one, which SetScopes cannot replace (false)

Operations: GetSystemDateAndTime, GetDeviceInformation, GetNetworkInterfaces,
GetNetworkDefaultGateway, GetDNS, GetHostname, GetNetworkProtocols, GetScopes, SetHostname,
SetScopes, SetNetworkProtocols (the HTTP port), SetDNS, SetNetworkDefaultGateway,
SetNetworkInterfaces, SystemReboot; anything else is ter:ActionNotSupported. A DHCP interface
keeps its address (the simulated DHCP server gives it the same one).

Every call is logged as {"kind": "onvif", "op": ..., "device": macKey, "authorized": bool,
"status": HTTP status, "fault": subcode or null}.
"""

from __future__ import annotations

import base64
import datetime
import hashlib
import ipaddress
import re
import time
import xml.etree.ElementTree as ElementTree
from urllib.parse import quote, unquote

import camsim

NS_ENV = "http://www.w3.org/2003/05/soap-envelope"
NS_TDS = "http://www.onvif.org/ver10/device/wsdl"
NS_TT = "http://www.onvif.org/ver10/schema"
NS_TER = "http://www.onvif.org/ver10/error"
NS_WSSE = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd"
NS_WSU = "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd"
NAME_SCOPE = "onvif://www.onvif.org/name/"
MAX_BODY = 64 * 1024
NONCES_KEPT = 4096
CONTENT_TYPE = "application/soap+xml; charset=utf-8"
UNAUTHENTICATED = {"GetSystemDateAndTime"}

# What lives beside the device's dict but not in the state file: the nonces seen and the
# settings SetNetworkInterfaces left for the restart. Keyed by id() of the live dict.
_nonces: dict[int, dict[bytes, float]] = {}
_pending: dict[int, dict] = {}


class Fault(Exception):
    def __init__(self, subcodes: list[str], reason: str, code: str = "Sender"):
        super().__init__(reason)
        self.subcodes = subcodes
        self.reason = reason
        self.code = code


def q(tag: str, ns: str = NS_TDS) -> str:
    return "{%s}%s" % (ns, tag)


def esc(text) -> str:
    return camsim.xml_text(text)


def envelope(body: str) -> bytes:
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<env:Envelope xmlns:env="{NS_ENV}" xmlns:tds="{NS_TDS}" xmlns:tt="{NS_TT}" '
            f'xmlns:ter="{NS_TER}"><env:Body>{body}</env:Body></env:Envelope>\n').encode()


def fault_answer(fault: Fault) -> tuple[int, dict, bytes]:
    inner = ""
    for subcode in reversed(fault.subcodes):
        inner = f"<env:Subcode><env:Value>ter:{subcode}</env:Value>{inner}</env:Subcode>"
    body = (f"<env:Fault><env:Code><env:Value>env:{fault.code}</env:Value>{inner}</env:Code>"
            f'<env:Reason><env:Text xml:lang="en">{esc(fault.reason)}</env:Text></env:Reason>'
            "</env:Fault>")
    return (400 if fault.code == "Sender" else 500), {"Content-Type": CONTENT_TYPE}, envelope(body)


def config_of(state: dict) -> dict:
    config = state.get("onvif")
    return config if isinstance(config, dict) else {}


def set_config(state: dict, **changes) -> None:
    state["onvif"] = dict(config_of(state), **changes)


def camera_now(state: dict) -> float:
    return time.time() + float(config_of(state).get("clockOffsetSeconds", 0))


def default_hostname(state: dict) -> str:
    return re.sub(r"[^a-z0-9-]+", "-", str(state.get("name", "cam")).lower()).strip("-") or "cam"


def hostname_of(state: dict) -> str:
    return str(config_of(state).get("hostname", default_hostname(state)))


def prefix_of(mask: str) -> int:
    try:
        return ipaddress.IPv4Network(f"0.0.0.0/{mask}").prefixlen
    except ValueError:
        return 24


def flag(value: bool) -> str:
    return "true" if value else "false"


def parse_created(text: str) -> float | None:
    try:
        moment = datetime.datetime.fromisoformat(text.strip().replace("Z", "+00:00"))
    except ValueError:
        return None
    if moment.tzinfo is None:
        moment = moment.replace(tzinfo=datetime.timezone.utc)
    return moment.timestamp()


def password_digest(nonce: bytes, created: str, password: str) -> str:
    return base64.b64encode(hashlib.sha1(nonce + created.encode() + password.encode()).digest()).decode()


def check_account(state: dict, header) -> str | None:
    """None when the request's UsernameToken is right, else why not (for the log)."""
    config = config_of(state)
    token = header.find(f"{q('Security', NS_WSSE)}/{q('UsernameToken', NS_WSSE)}") if header is not None else None
    if token is None:
        return "no UsernameToken"
    user = (token.findtext(q("Username", NS_WSSE)) or "").strip()
    password = token.find(q("Password", NS_WSSE))
    created = (token.findtext(q("Created", NS_WSU)) or "").strip()
    try:
        nonce = base64.b64decode((token.findtext(q("Nonce", NS_WSSE)) or "").strip(), validate=True)
    except ValueError:
        return "a nonce that is not Base64"
    if user != str(config.get("user", "admin")):
        return "another user"
    if password is None or not (password.get("Type") or "").endswith("#PasswordDigest"):
        return "no password digest"
    moment = parse_created(created)
    if moment is None:
        return "no Created"
    skew = float(config.get("skewSeconds", 60))
    if abs(moment - camera_now(state)) > skew:
        return f"Created {created} is more than {skew:g} s from the camera's clock"
    if (password.text or "").strip() != password_digest(nonce, created, str(config.get("password", ""))):
        return "a wrong digest"
    seen = _nonces.setdefault(id(state), {})
    if nonce in seen:
        return "a replayed nonce"
    if len(seen) >= NONCES_KEPT:
        seen.clear()
    seen[nonce] = time.time()
    return None


# ---- answers ------------------------------------------------------------------------------


def date_time(moment: float) -> str:
    t = time.gmtime(moment)
    return (f"<tt:Time><tt:Hour>{t.tm_hour}</tt:Hour><tt:Minute>{t.tm_min}</tt:Minute>"
            f"<tt:Second>{t.tm_sec}</tt:Second></tt:Time><tt:Date><tt:Year>{t.tm_year}</tt:Year>"
            f"<tt:Month>{t.tm_mon}</tt:Month><tt:Day>{t.tm_mday}</tt:Day></tt:Date>")


def scopes_of(state: dict) -> list[tuple[bool, str]]:
    """(fixed, item) of every scope WS-Discovery tells: the name and location are configurable."""
    fixed_name = bool(config_of(state).get("nameScopeFixed", False))
    out = []
    for item in camsim.onvif_profile(state)["scopes"]:
        configurable = item.startswith("onvif://www.onvif.org/location/") or (
            item.startswith(NAME_SCOPE) and not fixed_name)
        out.append((not configurable, item))
    return out


def answer_get(state: dict, op: str) -> str:
    common = camsim.common_fields(state)
    dhcp = camsim.to_int(state.get("ipMode", 2), 2) == 1
    if op == "GetSystemDateAndTime":
        return ("<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime>"
                "<tt:DateTimeType>Manual</tt:DateTimeType><tt:DaylightSavings>false</tt:DaylightSavings>"
                "<tt:TimeZone><tt:TZ>UTC0</tt:TZ></tt:TimeZone>"
                f"<tt:UTCDateTime>{date_time(camera_now(state))}</tt:UTCDateTime>"
                "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>")
    if op == "GetDeviceInformation":
        return ("<tds:GetDeviceInformationResponse>"
                f"<tds:Manufacturer>{esc(common['manufacturer'])}</tds:Manufacturer>"
                f"<tds:Model>{esc(common['model'])}</tds:Model>"
                f"<tds:FirmwareVersion>{esc(common['firmware'])}</tds:FirmwareVersion>"
                f"<tds:SerialNumber>{esc(common['serial'])}</tds:SerialNumber>"
                f"<tds:HardwareId>{esc(common['hardware'])}</tds:HardwareId>"
                "</tds:GetDeviceInformationResponse>")
    if op == "GetNetworkInterfaces":
        address = (f"<tt:Address>{esc(state['ip'])}</tt:Address>"
                   f"<tt:PrefixLength>{prefix_of(str(state.get('mask', '255.255.255.0')))}</tt:PrefixLength>")
        config = f"<tt:FromDHCP>{address}</tt:FromDHCP>" if dhcp else f"<tt:Manual>{address}</tt:Manual>"
        return ("<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token=\"eth0\">"
                "<tt:Enabled>true</tt:Enabled><tt:Info><tt:Name>eth0</tt:Name>"
                f"<tt:HwAddress>{esc(camsim.mac_colons(state['mac']))}</tt:HwAddress><tt:MTU>1500</tt:MTU></tt:Info>"
                f"<tt:IPv4><tt:Enabled>true</tt:Enabled><tt:Config>{config}<tt:DHCP>{flag(dhcp)}</tt:DHCP>"
                "</tt:Config></tt:IPv4></tds:NetworkInterfaces></tds:GetNetworkInterfacesResponse>")
    if op == "GetNetworkDefaultGateway":
        gateway = str(state.get("gateway", "0.0.0.0"))
        inner = "" if gateway in ("", "0.0.0.0") else f"<tt:IPv4Address>{esc(gateway)}</tt:IPv4Address>"
        return ("<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway>" + inner +
                "</tds:NetworkGateway></tds:GetNetworkDefaultGatewayResponse>")
    if op == "GetDNS":
        from_dhcp = camsim.to_int(state.get("dnsAuto", 0), 0) == 1
        element = "DNSFromDHCP" if from_dhcp else "DNSManual"
        servers = "".join(f"<tt:{element}><tt:Type>IPv4</tt:Type><tt:IPv4Address>{esc(s)}</tt:IPv4Address></tt:{element}>"
                          for s in (state.get("dns1"), state.get("dns2")) if s and s != "0.0.0.0")
        return (f"<tds:GetDNSResponse><tds:DNSInformation><tt:FromDHCP>{flag(from_dhcp)}</tt:FromDHCP>"
                f"{servers}</tds:DNSInformation></tds:GetDNSResponse>")
    if op == "GetHostname":
        return ("<tds:GetHostnameResponse><tds:HostnameInformation><tt:FromDHCP>false</tt:FromDHCP>"
                f"<tt:Name>{esc(hostname_of(state))}</tt:Name></tds:HostnameInformation></tds:GetHostnameResponse>")
    if op == "GetNetworkProtocols":
        port = camsim.to_int(state.get("httpPort", 80), 80)
        return ("<tds:GetNetworkProtocolsResponse>"
                f"<tds:NetworkProtocols><tt:Name>HTTP</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>{port}</tt:Port></tds:NetworkProtocols>"
                "<tds:NetworkProtocols><tt:Name>RTSP</tt:Name><tt:Enabled>true</tt:Enabled><tt:Port>554</tt:Port></tds:NetworkProtocols>"
                "</tds:GetNetworkProtocolsResponse>")
    if op == "GetScopes":
        items = "".join(f"<tds:Scopes><tt:ScopeDef>{'Fixed' if fixed else 'Configurable'}</tt:ScopeDef>"
                        f"<tt:ScopeItem>{esc(item)}</tt:ScopeItem></tds:Scopes>" for fixed, item in scopes_of(state))
        return f"<tds:GetScopesResponse>{items}</tds:GetScopesResponse>"
    raise Fault(["ActionNotSupported"], f"{op} is not supported", code="Receiver")


def ipv4(text: str | None, what: str, subcode: str = "InvalidIPv4Address") -> str:
    try:
        address = ipaddress.IPv4Address((text or "").strip())
    except ValueError:
        raise Fault(["InvalidArgVal", subcode], f"{what} {text!r} is not an IPv4 address")
    if address.is_multicast or address.is_unspecified or address.is_loopback:
        raise Fault(["InvalidArgVal", subcode], f"{what} {address} cannot be used")
    return str(address)


def take_pending(state: dict) -> bool:
    pending = _pending.pop(id(state), None)
    if not pending:
        return False
    state.update(pending)
    return True


def answer_set(state: dict, op: str, element) -> str:
    if op == "SetHostname":
        name = (element.findtext(q("Name")) or "").strip()
        if not re.fullmatch(r"(?=.{1,253}$)([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)(\.[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*", name):
            raise Fault(["InvalidArgVal", "InvalidHostname"], f"{name!r} is not a host name")
        set_config(state, hostname=name)
        return "<tds:SetHostnameResponse/>"
    if op == "SetScopes":
        items = [(e.text or "").strip() for e in element.findall(q("Scopes"))]
        names = [unquote(item[len(NAME_SCOPE):]) for item in items if item.startswith(NAME_SCOPE)]
        if names and config_of(state).get("nameScopeFixed"):
            raise Fault(["OperationProhibited", "ScopeOverwrite"], "the name scope is fixed")
        if names:
            state["name"] = names[-1]
        locations = [item for item in items if item.startswith("onvif://www.onvif.org/location/")]
        if locations:
            state["location"] = locations[0][len("onvif://www.onvif.org/location/"):]
        return "<tds:SetScopesResponse/>"
    if op == "SetNetworkProtocols":
        for protocol in element.findall(q("NetworkProtocols")):
            if (protocol.findtext(q("Name", NS_TT)) or "").strip() == "HTTP":
                ports = [camsim.to_int(p.text, 0) for p in protocol.findall(q("Port", NS_TT))]
                if not ports or not 0 < ports[0] < 65536:
                    raise Fault(["InvalidArgVal"], "no valid HTTP port")
                state["httpPort"] = ports[0]
        return "<tds:SetNetworkProtocolsResponse/>"
    if op == "SetDNS":
        from_dhcp = (element.findtext(q("FromDHCP")) or "").strip() in ("true", "1")
        state["dnsAuto"] = 1 if from_dhcp else 0
        if not from_dhcp:
            servers = [ipv4(e.findtext(q("IPv4Address", NS_TT)), "the name server")
                       for e in element.findall(q("DNSManual"))]
            state["dns1"] = servers[0] if servers else "0.0.0.0"
            state["dns2"] = servers[1] if len(servers) > 1 else "0.0.0.0"
        return "<tds:SetDNSResponse/>"
    if op == "SetNetworkDefaultGateway":
        addresses = [e.text for e in element.findall(q("IPv4Address"))]
        state["gateway"] = ipv4(addresses[0], "the gateway", "InvalidGatewayAddress") if addresses else "0.0.0.0"
        return "<tds:SetNetworkDefaultGatewayResponse/>"
    if op == "SetNetworkInterfaces":
        if (element.findtext(q("InterfaceToken")) or "").strip() != "eth0":
            raise Fault(["InvalidArgVal", "InvalidNetworkInterface"], "no such interface")
        ipv4_element = element.find(f"{q('NetworkInterface')}/{q('IPv4', NS_TT)}")
        if ipv4_element is None:
            return "<tds:SetNetworkInterfacesResponse><tds:RebootNeeded>false</tds:RebootNeeded></tds:SetNetworkInterfacesResponse>"
        dhcp = (ipv4_element.findtext(q("DHCP", NS_TT)) or "").strip() in ("true", "1")
        wanted = {"ipMode": 1 if dhcp else 2}
        manual = ipv4_element.find(q("Manual", NS_TT))
        if not dhcp:
            if manual is None:
                raise Fault(["InvalidArgVal"], "a fixed address needs Manual")
            ip = ipv4(manual.findtext(q("Address", NS_TT)), "the address")
            prefix = camsim.to_int(manual.findtext(q("PrefixLength", NS_TT)), -1)
            if not 1 <= prefix <= 32:
                raise Fault(["InvalidArgVal", "InvalidIPv4Address"], "no valid prefix length")
            wanted.update(ip=ip, mask=str(ipaddress.IPv4Network(f"0.0.0.0/{prefix}").netmask))
        changes = {k: v for k, v in wanted.items() if str(state.get(k)) != str(v)}
        reboot = bool(changes) and bool(config_of(state).get("rebootNeeded", True))
        if changes:
            _pending[id(state)] = changes
            if not reboot:
                take_pending(state)
        return ("<tds:SetNetworkInterfacesResponse>"
                f"<tds:RebootNeeded>{flag(reboot)}</tds:RebootNeeded></tds:SetNetworkInterfacesResponse>")
    if op == "SystemReboot":
        if id(state) in _pending:
            # The camera leaves at its old address and comes back at its new one: the Bye goes
            # now, the Hello when the simulator sees the new address.
            camsim.bye(state)
            take_pending(state)
        return "<tds:SystemRebootResponse><tds:Message>Rebooting</tds:Message></tds:SystemRebootResponse>"
    raise Fault(["ActionNotSupported"], f"{op} is not supported", code="Receiver")


def log(state: dict, op: str, authorized: bool, status: int, fault: str | None, reason: str | None = None) -> None:
    simulator = camsim.SIMULATOR
    if simulator is None:
        return
    entry = {"kind": "onvif", "t": time.time(), "op": op, "device": camsim.mac_key(state.get("mac", "")),
             "authorized": authorized, "status": status, "fault": fault}
    if reason:
        entry["reason"] = reason
    simulator.log(entry)


def handle_device_service(camera_state: dict, path: str, headers: dict, body: bytes):
    """(status, headers, body) of one POST to the device service."""
    if len(body) > MAX_BODY or b"<!DOCTYPE" in body or b"<!ENTITY" in body:
        return fault_answer(Fault(["InvalidArgVal"], "refused request"))
    try:
        root = ElementTree.fromstring(body)
    except ElementTree.ParseError as error:
        return fault_answer(Fault(["WellFormed"], f"not well-formed: {error}"))
    request = root.find(f"{q('Body', NS_ENV)}/*") if root.tag == q("Envelope", NS_ENV) else None
    if request is None:
        return fault_answer(Fault(["InvalidArgVal"], "no SOAP 1.2 Body"))
    ns, _, op = request.tag[1:].partition("}")
    if ns != NS_TDS:
        answer = fault_answer(Fault(["ActionNotSupported"], f"{request.tag} is not supported", "Receiver"))
        log(camera_state, op, False, answer[0], "ActionNotSupported")
        return answer
    if op not in UNAUTHENTICATED:
        why = check_account(camera_state, root.find(q("Header", NS_ENV)))
        if why is not None:
            answer = fault_answer(Fault(["NotAuthorized"], "Sender not Authorized"))
            log(camera_state, op, False, answer[0], "NotAuthorized", why)
            return answer
    try:
        content = answer_get(camera_state, op) if op.startswith("Get") else answer_set(camera_state, op, request)
    except Fault as fault:
        answer = fault_answer(fault)
        log(camera_state, op, True, answer[0], fault.subcodes[-1] if fault.subcodes else None, fault.reason)
        return answer
    log(camera_state, op, True, 200, None)
    return 200, {"Content-Type": CONTENT_TYPE}, envelope(content)


def scope_name(name: str) -> str:
    """The name scope camsim announces for a name (for tests)."""
    return NAME_SCOPE + quote(name, safe="")
