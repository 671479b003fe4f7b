#include "standards/WsDiscovery.h"

#include "standards/XmlWalk.h"

#include <QString>

#include <algorithm>
#include <cctype>

namespace zadari {

namespace {

constexpr std::size_t kTypesMax = 16;
constexpr std::size_t kScopesMax = 64;
constexpr std::size_t kXAddrsMax = 16;

constexpr std::string_view kSoap12Namespace = "http://www.w3.org/2003/05/soap-envelope";
constexpr std::string_view kSoap11Namespace = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr std::string_view kAddressingNamespace =
    "http://schemas.xmlsoap.org/ws/2004/08/addressing";
// WS-Discovery 1.1 and its addressing, which a few devices answer with.
constexpr std::string_view kWsd11Namespace =
    "http://docs.oasis-open.org/ws-dd/ns/discovery/2009/01";
constexpr std::string_view kAddressing10Namespace = "http://www.w3.org/2005/08/addressing";
constexpr std::string_view kOnvifScopePrefix = "onvif://www.onvif.org/";

bool Is(QStringView a, std::string_view b) {
    return a == QLatin1StringView(b.data(), static_cast<qsizetype>(b.size()));
}
bool IsSoap(QStringView ns) {
    return Is(ns, kSoap12Namespace) || Is(ns, kSoap11Namespace);
}
bool IsDiscovery(QStringView ns) {
    return Is(ns, kWsdNamespace) || Is(ns, kWsd11Namespace);
}
bool IsAddressing(QStringView ns) {
    return Is(ns, kAddressingNamespace) || Is(ns, kAddressing10Namespace);
}

std::string XmlEscaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Fills the named fields from the ONVIF scopes: onvif://www.onvif.org/<key>/<value>.
void ReadOnvifScopes(TOnvifInfo& info) {
    for (const auto& scope : info.scopes) {
        if (scope.size() <= kOnvifScopePrefix.size() ||
            !EqualsNoCase(std::string_view(scope).substr(0, kOnvifScopePrefix.size()),
                          kOnvifScopePrefix))
            continue;
        const std::string_view rest = std::string_view(scope).substr(kOnvifScopePrefix.size());
        const auto slash = rest.find('/');
        if (slash == std::string_view::npos)
            continue;
        const std::string_view key = rest.substr(0, slash);
        const std::string value = UrlDecoded(rest.substr(slash + 1));
        if (value.empty())
            continue;
        if (EqualsNoCase(key, "name")) {
            if (info.name.empty())
                info.name = value;
        } else if (EqualsNoCase(key, "hardware")) {
            if (info.hardware.empty())
                info.hardware = value;
        } else if (EqualsNoCase(key, "location")) {
            if (!info.location.empty())
                info.location += ", ";
            info.location += value;
        } else if (EqualsNoCase(key, "mac") || EqualsNoCase(key, "macaddress")) {
            if (info.mac.empty())
                info.mac = value;
        } else if (EqualsNoCase(key, "serial") || EqualsNoCase(key, "serialnumber")) {
            if (info.serial.empty())
                info.serial = value;
        }
    }
}

class TWsdReader : public TXmlVisitor {
public:
    TWsdReader(TXmlWalk& walk, TWsdMessage& message) : walk_(walk), message_(message) {}

    bool Valid() const { return envelope_ && body_ && !message_.endpoints.empty(); }

    void Start(int depth, QStringView ns, QStringView name) override {
        if (depth == 0) {
            envelope_ = IsSoap(ns) && name == u"Envelope";
            return;
        }
        if (!envelope_)
            return;
        if (depth == 1) {
            inHeader_ = IsSoap(ns) && name == u"Header";
            inBody_ = IsSoap(ns) && name == u"Body";
            return;
        }
        if (inBody_ && depth == 2 && IsDiscovery(ns)) {
            if (name == u"ProbeMatches") {
                body_ = true;
                message_.kind = TWsdKind::ProbeMatches;
            } else if (name == u"Hello" || name == u"Bye") {
                body_ = true;
                message_.kind = name == u"Hello" ? TWsdKind::Hello : TWsdKind::Bye;
                Open(depth);
            }
            return;
        }
        if (inBody_ && depth == 3 && body_ && message_.kind == TWsdKind::ProbeMatches &&
            IsDiscovery(ns) && name == u"ProbeMatch" &&
            message_.endpoints.size() < kWsdMatchesMax) {
            Open(depth);
            return;
        }
        if (matchDepth_ >= 0 && depth == matchDepth_ + 1)
            inReference_ = IsAddressing(ns) && name == u"EndpointReference";
    }

    void End(int depth, QStringView ns, QStringView name, const QString& text) override {
        if (!envelope_ || depth < 2)
            return;
        if (inHeader_ && depth == 2 && IsAddressing(ns)) {
            if (name == u"MessageID")
                message_.messageId = TrimmedUtf8(text);
            else if (name == u"RelatesTo")
                message_.relatesTo = TrimmedUtf8(text);
            return;
        }
        if (matchDepth_ < 0)
            return;
        if (depth == matchDepth_) {
            Close();
            return;
        }
        TOnvifInfo& info = current_;
        if (depth == matchDepth_ + 2 && inReference_ && IsAddressing(ns) && name == u"Address") {
            info.endpoint = TrimmedUtf8(text);
        } else if (depth == matchDepth_ + 1 && IsDiscovery(ns)) {
            if (name == u"Types")
                ReadTypes(text, info);
            else if (name == u"Scopes")
                info.scopes = SplitXmlList(text, kScopesMax);
            else if (name == u"XAddrs")
                info.xaddrs = SplitXmlList(text, kXAddrsMax);
            else if (name == u"MetadataVersion")
                info.metadataVersion = ReadUnsigned(text);
        }
    }

private:
    void Open(int depth) {
        matchDepth_ = depth;
        current_ = {};
        inReference_ = false;
    }

    void Close() {
        matchDepth_ = -1;
        if (current_.endpoint.empty())
            return;
        ReadOnvifScopes(current_);
        message_.endpoints.push_back(std::move(current_));
        current_ = {};
    }

    // Each QName of the list resolved against the namespaces declared where it stands; a prefix
    // that nothing declares keeps its QName text.
    void ReadTypes(const QString& text, TOnvifInfo& info) {
        for (const auto& item : SplitXmlList(text, kTypesMax)) {
            const QString qname =
                QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size()));
            const auto colon = qname.indexOf(u':');
            const QStringView prefix = colon < 0 ? QStringView() : QStringView(qname).left(colon);
            const QStringView local =
                colon < 0 ? QStringView(qname) : QStringView(qname).mid(colon + 1);
            const QString ns = walk_.NamespaceOf(prefix);
            if (ns.isEmpty() && !prefix.isEmpty())
                info.types.push_back(item);
            else
                info.types.push_back((u'{' + ns + u'}' + local.toString()).toUtf8().toStdString());
        }
    }

    static std::uint32_t ReadUnsigned(const QString& text) {
        bool ok = false;
        const auto value = QStringView(text).trimmed().toUInt(&ok);
        return ok ? value : 0;
    }

    TXmlWalk& walk_;
    TWsdMessage& message_;
    TOnvifInfo current_;
    bool envelope_ = false;
    bool inHeader_ = false;
    bool inBody_ = false;
    bool body_ = false;
    bool inReference_ = false;
    int matchDepth_ = -1;
};

} // namespace

std::string BuildWsdProbe(TWsdProbeType type, std::string_view messageId) {
    const bool nvt = type == TWsdProbeType::NetworkVideoTransmitter;
    std::string xml;
    xml.reserve(1024);
    xml += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
           " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"";
    xml += nvt ? " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\">"
               : " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\">";
    xml += "<s:Header>"
           "<a:Action s:mustUnderstand=\"1\">"
           "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>"
           "<a:MessageID>";
    xml += XmlEscaped(messageId);
    xml += "</a:MessageID>"
           "<a:ReplyTo><a:Address>"
           "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous"
           "</a:Address></a:ReplyTo>"
           "<a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
           "</s:Header>"
           "<s:Body><d:Probe><d:Types>";
    xml += nvt ? "dn:NetworkVideoTransmitter" : "tds:Device";
    xml += "</d:Types></d:Probe></s:Body></s:Envelope>";
    return xml;
}

bool ParseWsdMessage(std::string_view datagram, TWsdMessage& message) {
    message = {};
    if (datagram.size() > kWsdDatagramMax)
        return false;
    TXmlLimits limits;
    limits.maxBytes = kWsdDatagramMax;
    limits.maxElements = 1000;
    TXmlWalk walk(limits);
    TWsdReader reader(walk, message);
    if (walk.Run(datagram, reader) && reader.Valid())
        return true;
    message = {};
    return false;
}

bool IsOnvifDevice(const TOnvifInfo& info) {
    const std::string nvt = "{" + std::string(kOnvifNetworkNamespace) + "}NetworkVideoTransmitter";
    const std::string device = "{" + std::string(kOnvifDeviceNamespace) + "}Device";
    bool conventional = false;
    for (const auto& type : info.types) {
        if (type == nvt || type == device)
            return true;
        if (type == "dn:NetworkVideoTransmitter" || type == "tds:Device")
            conventional = true;
    }
    if (!conventional)
        return false;
    return std::any_of(info.scopes.begin(), info.scopes.end(), [](const std::string& scope) {
        return scope.size() > kOnvifScopePrefix.size() &&
               EqualsNoCase(std::string_view(scope).substr(0, kOnvifScopePrefix.size()),
                            kOnvifScopePrefix);
    });
}

std::string UrlDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                c = static_cast<char>(high * 16 + low);
                i += 2;
            }
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            continue;
        out.push_back(c);
    }
    return out;
}

} // namespace zadari
