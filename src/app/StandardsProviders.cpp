#include "app/StandardsProviders.h"

#include "protocols/Encoding.h"
#include "standards/DnsSd.h"
#include "standards/Ssdp.h"
#include "standards/StandardsMac.h"
#include "standards/UpnpDescription.h"
#include "standards/WsDiscovery.h"

#include <QTimer>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <random>

namespace zadari {

namespace {

// Devices a provider keeps track of at most; past that the oldest are forgotten.
constexpr std::size_t kDevicesMax = 8192;
// A device not heard of for so many rounds is forgotten by its provider (its row ages anyway).
constexpr std::uint64_t kForgetRounds = 40;

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), Lower);
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && Lowered(text.substr(0, prefix.size())) == prefix;
}

TByteView View(const std::string& text) {
    return TByteView(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::string TextOf(TByteView bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::string NewMessageId() {
    return "urn:uuid:" + QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

} // namespace

std::string FormatMac(std::string_view hex12) {
    std::string out;
    for (std::size_t i = 0; i < hex12.size(); ++i) {
        if (i > 0 && i % 2 == 0)
            out.push_back(':');
        out.push_back(hex12[i]);
    }
    return out;
}

std::string UuidKey(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (StartsWithNoCase(text, "urn:"))
        text.remove_prefix(4);
    if (StartsWithNoCase(text, "uuid:"))
        text.remove_prefix(5);
    if (text.empty())
        return {};
    return "uuid:" + Lowered(text);
}

std::uint16_t HttpPortOn(std::string_view url, std::string_view host) {
    const QUrl parsed(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())),
                      QUrl::StrictMode);
    if (!parsed.isValid() || parsed.scheme() != QStringLiteral("http"))
        return 0;
    if (parsed.host().toStdString() != host)
        return 0;
    return static_cast<std::uint16_t>(parsed.port(80));
}

// ---- the common part ----------------------------------------------------------------------

TStandardsProvider::TStandardsProvider(IStandardsNet& net, TStandardsPacing pacing)
    : net_(net), pacing_(pacing) {}

TStandardsProvider::~TStandardsProvider() = default;

bool TStandardsProvider::Start(IDeviceSink& sink) {
    sink_ = &sink;
    alive_ = std::make_shared<bool>(true);
    timers_ = std::make_unique<QObject>();
    if (!Open()) {
        Stop();
        return false;
    }
    return true;
}

void TStandardsProvider::Stop() {
    if (alive_)
        *alive_ = false;
    timers_.reset();
    Close();
    keys_.clear();
    sink_ = nullptr;
}

bool TStandardsProvider::Search(const TSearchCycle& cycle) {
    if (sink_ == nullptr)
        return true;
    const int every = std::max(1, pacing_.everyTicks);
    if (!cycle.find && cycle.tick % every != 0)
        return true;
    Prune();
    const bool sent = SendQueries(false);
    // The first search and the Find button's go out twice, so that one lost datagram does not
    // keep a device out of the list; later ones repeat anyway every few ticks, long before a
    // row ages out.
    const bool first = cycle.find || cycle.tick == 0;
    if (first && pacing_.repeatMs > 0 && timers_) {
        QTimer::singleShot(pacing_.repeatMs, timers_.get(), [this] {
            if (sink_ != nullptr)
                SendQueries(true);
        });
    }
    return sent;
}

IStandardsNet::THandler TStandardsProvider::Handler() {
    return [this, alive = alive_](const TStandardsDatagram& datagram) {
        if (*alive && sink_ != nullptr)
            Handle(datagram);
    };
}

std::string TStandardsProvider::KeyOf(const std::string& ownMac, const std::string& ip,
                                      const std::string& fallback) {
    std::string hardware = ownMac;
    if (hardware.empty() && !ip.empty())
        hardware = NormalisedMac(net_.NeighbourMac(ip));
    return hardware.empty() ? fallback : FormatMac(hardware);
}

void TStandardsProvider::Enter(TDevInfo& record, const std::string& identity,
                               const std::string& key) {
    if (key.empty() || sink_ == nullptr)
        return;
    auto [entry, added] = keys_.try_emplace(identity, key);
    if (!added && entry->second != key) {
        sink_->StandardGone(entry->second, record.family);
        entry->second = key;
    }
    if (added && keys_.size() > kDevicesMax) {
        keys_.clear();
        keys_.emplace(identity, key);
    }
    record.mac = key;
    record.macKey = MacKeyOf(key);
    sink_->MergeFound(record);
}

void TStandardsProvider::Leave(const std::string& identity, std::int32_t family,
                               const std::string& fallbackKey) {
    std::string key = fallbackKey;
    if (const auto found = keys_.find(identity); found != keys_.end()) {
        key = found->second;
        keys_.erase(found);
    }
    if (!key.empty() && sink_ != nullptr)
        sink_->StandardGone(key, family);
}

// ---- WS-Discovery -------------------------------------------------------------------------

bool TWsdProvider::Open() {
    TStandardsSocketSetup setup;
    setup.name = "wsd-probe";
    setup.maxDatagram = kWsdDatagramMax;
    setup.ttl = 1;
    probe_ = net_.Open(setup, Handler());
    if (!probe_)
        return false;
    setup.name = "wsd-listen";
    setup.port = kWsdPort;
    setup.group = kWsdMulticastAddress;
    // Without it Hello and Bye are not heard; the Probes still find every camera.
    listen_ = net_.Open(setup, Handler());
    return true;
}

void TWsdProvider::Close() {
    probe_.reset();
    listen_.reset();
}

bool TWsdProvider::SendQueries(bool repeat) {
    if (!probe_)
        return false;
    if (!repeat) {
        if (listen_)
            listen_->Refresh();
        // A fresh MessageID per cycle; the repeat carries the same one (a device that saw both
        // answers once).
        probeBytes_[0] = BuildWsdProbe(TWsdProbeType::NetworkVideoTransmitter, NewMessageId());
        probeBytes_[1] = BuildWsdProbe(TWsdProbeType::Device, NewMessageId());
    }
    bool sent = false;
    for (const std::string& probe : probeBytes_)
        sent = probe_->SendToGroup(View(probe), kWsdMulticastAddress, kWsdPort) || sent;
    return sent;
}

void TWsdProvider::Handle(const TStandardsDatagram& datagram) {
    if (datagram.bytes.size() > kWsdDatagramMax)
        return;
    TWsdMessage message;
    const std::string text = TextOf(datagram.bytes);
    if (!ParseWsdMessage(text, message))
        return;
    for (const TOnvifInfo& info : message.endpoints) {
        const std::string identity = UuidKey(info.endpoint);
        if (identity.empty())
            continue;
        if (message.kind == TWsdKind::Bye) {
            Leave(identity, kFamilyOnvif, identity);
            continue;
        }
        if (!IsOnvifDevice(info))
            continue;
        TDevInfo record;
        record.family = kFamilyOnvif;
        record.ip = datagram.senderIp;
        record.seenOnInterface = datagram.interfaceIndex;
        record.name = info.name.empty() ? info.hardware : info.name;
        record.httpPort = 80;
        for (const std::string& xaddr : info.xaddrs) {
            if (const std::uint16_t port = HttpPortOn(xaddr, record.ip)) {
                record.httpPort = port;
                break;
            }
        }
        TStandardsInfo standards;
        standards.onvif = info;
        record.standards = TStandardsRef(std::move(standards));
        Enter(record, identity, KeyOf(MacOfOnvif(info), record.ip, identity));
    }
}

// ---- SSDP/UPnP ----------------------------------------------------------------------------

struct TSsdpProvider::TDevice {
    TUpnpInfo info;
    std::string ip;
    int interfaceIndex = 0;
    std::string rootUuid;
    bool fetchStarted = false;
    std::uint64_t lastRound = 0;
};

bool TSsdpProvider::Open() {
    TStandardsSocketSetup setup;
    setup.name = "ssdp-search";
    setup.maxDatagram = kSsdpDatagramMax;
    setup.ttl = 2;
    search_ = net_.Open(setup, Handler());
    if (!search_)
        return false;
    setup.name = "ssdp-listen";
    setup.port = kSsdpPort;
    setup.group = kSsdpMulticastAddress;
    listen_ = net_.Open(setup, Handler());
    return true;
}

void TSsdpProvider::Close() {
    net_.CancelFetches();
    search_.reset();
    listen_.reset();
    devices_.clear();
    locationOfUuid_.clear();
}

bool TSsdpProvider::SendQueries(bool repeat) {
    if (!search_)
        return false;
    if (!repeat && listen_)
        listen_->Refresh();
    static const std::string search = BuildSsdpSearch("ssdp:all", 1);
    return search_->SendToGroup(View(search), kSsdpMulticastAddress, kSsdpPort);
}

void TSsdpProvider::Prune() {
    ++round_;
    for (auto it = devices_.begin(); it != devices_.end();) {
        if (round_ - it->second->lastRound > kForgetRounds)
            it = devices_.erase(it);
        else
            ++it;
    }
    if (locationOfUuid_.size() > kDevicesMax)
        locationOfUuid_.clear();
}

void TSsdpProvider::Handle(const TStandardsDatagram& datagram) {
    TSsdpMessage message;
    if (datagram.bytes.size() > kSsdpDatagramMax ||
        !ParseSsdpMessage(TextOf(datagram.bytes), message))
        return;
    const std::string& usn = message.info.usn;
    const std::size_t separator = usn.find("::");
    const std::string uuid = UuidKey(std::string_view(usn).substr(0, separator));
    if (!StartsWithNoCase(usn, "uuid:") || uuid.empty())
        return;
    if (message.kind == TSsdpKind::ByeBye) {
        const auto where = locationOfUuid_.find(uuid);
        if (where == locationOfUuid_.end()) {
            Leave(uuid, kFamilyUpnp, uuid);
            return;
        }
        const std::string location = where->second;
        const auto device = devices_.find(location);
        if (device != devices_.end()) {
            Leave(location, kFamilyUpnp, std::string());
            devices_.erase(device);
        }
        locationOfUuid_.erase(where);
        return;
    }
    const std::string& location = message.info.location;
    if (location.empty())
        return;
    auto found = devices_.find(location);
    if (found == devices_.end()) {
        if (devices_.size() >= kDevicesMax)
            return;
        found = devices_.emplace(location, std::make_shared<TDevice>()).first;
    }
    TDevice& device = *found->second;
    device.lastRound = round_;
    device.ip = datagram.senderIp;
    device.interfaceIndex = datagram.interfaceIndex;
    device.info.location = location;
    if (!message.info.server.empty())
        device.info.server = message.info.server;
    if (message.info.maxAge != 0)
        device.info.maxAge = message.info.maxAge;
    const bool root =
        usn.size() >= 17 && Lowered(usn.substr(usn.size() - 17)) == "::upnp:rootdevice";
    if (root || device.info.usn.empty()) {
        device.info.usn = usn;
        device.info.st = message.info.st;
    }
    if (root)
        device.rootUuid = uuid;
    locationOfUuid_[uuid] = location;
    // The description is fetched only from the device that answered: a LOCATION naming another
    // host would make us send requests wherever a datagram says.
    if (!device.fetchStarted && HttpUrlHost(location) == datagram.senderIp) {
        device.fetchStarted = true;
        std::weak_ptr<TDevice> weak = found->second;
        net_.Fetch(location, kUpnpDescriptionMax,
                   [this, weak, location](bool ok, const std::string& body) {
                       const auto fetched = weak.lock();
                       if (!ok || !fetched || sink_ == nullptr)
                           return;
                       if (ParseUpnpDescription(body, location, fetched->info))
                           Publish(location);
                   });
    }
    Publish(location);
}

void TSsdpProvider::Publish(const std::string& location) {
    const auto found = devices_.find(location);
    if (found == devices_.end())
        return;
    const TDevice& device = *found->second;
    const std::string identity =
        !device.info.udn.empty() ? UuidKey(device.info.udn) : device.rootUuid;
    const std::string key = KeyOf(MacOfUpnp(device.info), device.ip, identity);
    if (key.empty())
        return; // not yet told which device this is
    TDevInfo record;
    record.family = kFamilyUpnp;
    record.ip = device.ip;
    record.seenOnInterface = device.interfaceIndex;
    record.name = device.info.friendlyName;
    record.httpPort = 80;
    if (const std::uint16_t port = HttpPortOn(device.info.presentationUrl, device.ip))
        record.httpPort = port;
    TStandardsInfo standards;
    standards.upnp = device.info;
    record.standards = TStandardsRef(std::move(standards));
    Enter(record, location, key);
}

// ---- mDNS/DNS-SD --------------------------------------------------------------------------

struct TMdnsProvider::THost {
    TMdnsInfo info;
    std::uint64_t lastRound = 0;
};

namespace {

/// Whether a service type ("_axis-video._tcp", with or without ".local") is one cameras use.
bool IsCameraServiceType(std::string_view type) {
    for (const std::string_view wanted : kMdnsCameraServiceTypes) {
        const std::string_view bare = wanted.substr(0, wanted.size() - 6); // without ".local"
        if (type.size() >= bare.size() && Lowered(type.substr(0, bare.size())) == bare &&
            (type.size() == bare.size() || type.substr(bare.size()) == ".local"))
            return true;
    }
    return false;
}

} // namespace

bool TMdnsProvider::Open() {
    TStandardsSocketSetup setup;
    setup.name = "mdns-query";
    setup.maxDatagram = kMdnsDatagramMax;
    // Multicast DNS is link-local; receivers may check for 255 (RFC 6762 section 11).
    setup.ttl = 255;
    socket_ = net_.Open(setup, Handler());
    std::random_device seed;
    id_ = static_cast<std::uint16_t>(seed());
    return socket_ != nullptr;
}

void TMdnsProvider::Close() {
    socket_.reset();
    hosts_.clear();
}

bool TMdnsProvider::SendQueries(bool repeat) {
    if (!socket_)
        return false;
    if (!repeat)
        ++id_;
    std::vector<std::string_view> names = {kMdnsServiceEnumeration};
    names.insert(names.end(), kMdnsCameraServiceTypes.begin(), kMdnsCameraServiceTypes.end());
    const TBytes query = BuildMdnsQuery(id_, names);
    return socket_->SendToGroup(query, kMdnsMulticastAddress, kMdnsPort);
}

void TMdnsProvider::Prune() {
    ++round_;
    for (auto it = hosts_.begin(); it != hosts_.end();) {
        if (round_ - it->second->lastRound > kForgetRounds)
            it = hosts_.erase(it);
        else
            ++it;
    }
}

void TMdnsProvider::Handle(const TStandardsDatagram& datagram) {
    TMdnsAnswer answer;
    if (!ParseMdnsAnswer(datagram.bytes, answer))
        return;
    for (const TMdnsInfo& instance : answer.instances) {
        if (std::none_of(instance.serviceTypes.begin(), instance.serviceTypes.end(),
                         [](const std::string& type) { return IsCameraServiceType(type); }))
            continue;
        // One row per host: its instances of several types are one device.
        const std::string hostKey =
            "mdns:" + Lowered(instance.host.empty() ? instance.instance : instance.host);
        auto found = hosts_.find(hostKey);
        if (found == hosts_.end()) {
            if (hosts_.size() >= kDevicesMax)
                continue;
            auto host = std::make_shared<THost>();
            host->info = instance;
            found = hosts_.emplace(hostKey, std::move(host)).first;
        }
        THost& host = *found->second;
        host.lastRound = round_;
        TMdnsInfo& info = host.info;
        for (const std::string& type : instance.serviceTypes) {
            if (std::find(info.serviceTypes.begin(), info.serviceTypes.end(), type) ==
                info.serviceTypes.end())
                info.serviceTypes.push_back(type);
        }
        if (!instance.host.empty()) {
            info.host = instance.host;
            if (info.port == 0 ||
                std::any_of(instance.serviceTypes.begin(), instance.serviceTypes.end(),
                            [](const auto& t) { return StartsWithNoCase(t, "_http."); }))
                info.port = instance.port;
        }
        if (!instance.addresses.empty())
            info.addresses = instance.addresses;
        if (!instance.txt.empty() && MacOfMdns(info).empty())
            info.txt = instance.txt;

        TDevInfo record;
        record.family = kFamilyMdns;
        record.ip = info.addresses.empty() ? datagram.senderIp : info.addresses.front();
        record.seenOnInterface = datagram.interfaceIndex;
        record.name = info.instance;
        record.httpPort = 80;
        for (const std::string& type : info.serviceTypes) {
            if (StartsWithNoCase(type, "_http.") && info.port != 0)
                record.httpPort = info.port;
        }
        TStandardsInfo standards;
        standards.mdns = info;
        record.standards = TStandardsRef(std::move(standards));
        Enter(record, hostKey, KeyOf(MacOfMdns(info), record.ip, hostKey));
    }
}

} // namespace zadari
