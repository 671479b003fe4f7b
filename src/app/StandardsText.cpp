#include "app/StandardsText.h"

#include "standards/UpnpDescription.h"

#include <QStringList>

#include <algorithm>
#include <initializer_list>
#include <string_view>

namespace zadari {

namespace {

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

/// The value of the first TXT string whose key is one of `keys` (without regard to case).
std::string TxtValue(const TMdnsInfo& info, std::initializer_list<std::string_view> keys) {
    for (const std::string& entry : info.txt) {
        const std::size_t equals = entry.find('=');
        if (equals == std::string::npos)
            continue;
        const QString key = Utf8(entry.substr(0, equals)).toLower();
        for (const std::string_view wanted : keys) {
            if (key == QLatin1String(wanted.data(), static_cast<qsizetype>(wanted.size())))
                return entry.substr(equals + 1);
        }
    }
    return {};
}

void AddDistinct(QStringList& list, const std::string& text) {
    const QString value = Utf8(text).trimmed();
    if (!value.isEmpty() && !list.contains(value))
        list.push_back(value);
}

} // namespace

bool XAddrsNameAnotherAddress(const TOnvifInfo& info, const std::string& ip) {
    if (info.xaddrs.empty())
        return false;
    return std::none_of(info.xaddrs.begin(), info.xaddrs.end(),
                        [&](const std::string& xaddr) { return HttpUrlHost(xaddr) == ip; });
}

std::string OtherXAddrHosts(const TOnvifInfo& info, const std::string& ip) {
    std::string out;
    for (const std::string& xaddr : info.xaddrs) {
        const std::string host = HttpUrlHost(xaddr);
        if (host.empty() || host == ip || out.find(host) != std::string::npos)
            continue;
        out += out.empty() ? "" : ", ";
        out += host;
    }
    return out;
}

std::vector<TStandardsLine> StandardsLines(const TDevInfo& record) {
    std::vector<TStandardsLine> lines;
    if (record.standards.Empty())
        return lines;
    const TStandardsInfo& info = record.standards.Get();
    const TOnvifInfo* onvif = info.onvif ? &*info.onvif : nullptr;
    const TUpnpInfo* upnp = info.upnp ? &*info.upnp : nullptr;
    const TMdnsInfo* mdns = info.mdns ? &*info.mdns : nullptr;

    const auto add = [&](const char* key, const QStringList& values) {
        if (!values.isEmpty())
            lines.push_back({key, values.join(QStringLiteral(", "))});
    };
    QStringList values;
    const auto take = [&] {
        QStringList out;
        out.swap(values);
        return out;
    };

    if (upnp)
        AddDistinct(values, upnp->manufacturer);
    if (mdns)
        AddDistinct(values, TxtValue(*mdns, {"manufacturer", "vendor", "mf"}));
    add("IDS_STDMANUFACTURER", take());
    if (upnp)
        AddDistinct(values, upnp->modelName);
    if (mdns)
        AddDistinct(values, TxtValue(*mdns, {"model", "md"}));
    add("IDS_STDMODEL", take());
    if (upnp)
        AddDistinct(values, upnp->modelNumber);
    add("IDS_STDMODELNUMBER", take());
    if (mdns)
        AddDistinct(values,
                    TxtValue(*mdns, {"firmware", "fw", "fwver", "fwversion", "fw_version"}));
    add("IDS_STDFIRMWARE", take());
    if (onvif)
        AddDistinct(values, onvif->serial);
    if (upnp)
        AddDistinct(values, upnp->serialNumber);
    if (mdns)
        AddDistinct(values, TxtValue(*mdns, {"serial", "serialnumber", "sn"}));
    add("IDS_STDSERIAL", take());
    if (onvif)
        AddDistinct(values, onvif->hardware);
    add("IDS_STDHARDWARE", take());
    if (onvif)
        AddDistinct(values, onvif->location);
    add("IDS_STDLOCATION", take());
    if (onvif)
        AddDistinct(values, onvif->endpoint);
    if (upnp)
        AddDistinct(values, upnp->udn);
    add("IDS_STDUUID", take());
    if (onvif) {
        for (const std::string& xaddr : onvif->xaddrs)
            AddDistinct(values, xaddr);
    }
    if (upnp) {
        AddDistinct(values, upnp->presentationUrl);
        AddDistinct(values, upnp->location);
    }
    if (mdns && !mdns->host.empty() && mdns->port != 0)
        AddDistinct(values, mdns->host + ":" + std::to_string(mdns->port));
    add("IDS_STDSERVICES", take());
    if (onvif)
        values.push_back(QStringLiteral("ONVIF WS-Discovery"));
    if (upnp)
        values.push_back(QStringLiteral("UPnP SSDP"));
    if (mdns) {
        QStringList types;
        for (const std::string& type : mdns->serviceTypes)
            AddDistinct(types, type);
        values.push_back(QStringLiteral("mDNS (") + types.join(QStringLiteral(" ")) +
                         QLatin1Char(')'));
    }
    add("IDS_STDSEENVIA", take());
    if (onvif && XAddrsNameAnotherAddress(*onvif, record.ip))
        AddDistinct(values, OtherXAddrHosts(*onvif, record.ip));
    add("IDS_STDMISMATCH", take());
    return lines;
}

QString StandardsPageUrl(const TDevInfo& record) {
    const TStandardsInfo& info = record.standards.Get();
    if (info.upnp && !info.upnp->presentationUrl.empty())
        return Utf8(info.upnp->presentationUrl);
    return {};
}

} // namespace zadari
