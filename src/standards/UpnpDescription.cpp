#include "standards/UpnpDescription.h"

#include "standards/XmlWalk.h"

#include <QString>
#include <QUrl>

namespace zadari {

namespace {

constexpr QStringView kDeviceNamespace = u"urn:schemas-upnp-org:device-1-0";

// Descriptions in the wild sometimes leave out the namespace; their elements have none.
bool IsDeviceNamespace(QStringView ns) {
    return ns == kDeviceNamespace || ns.isEmpty();
}

QUrl HttpUrl(std::string_view text) {
    QUrl url(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return {};
    const QString scheme = url.scheme();
    if (scheme != u"http" && scheme != u"https")
        return {};
    return url;
}

class TDescriptionReader : public TXmlVisitor {
public:
    explicit TDescriptionReader(TUpnpInfo& info) : info_(info) {}

    bool Valid() const { return root_ && device_; }
    const std::string& UrlBase() const { return urlBase_; }
    const std::string& Presentation() const { return presentation_; }

    void Start(int depth, QStringView ns, QStringView name) override {
        if (depth == 0)
            root_ = IsDeviceNamespace(ns) && name == u"root";
        else if (depth == 1 && root_ && IsDeviceNamespace(ns) && name == u"device")
            inDevice_ = !device_; // the first device only
    }

    void End(int depth, QStringView ns, QStringView name, const QString& text) override {
        if (!root_ || !IsDeviceNamespace(ns))
            return;
        if (depth == 1) {
            if (name == u"URLBase")
                urlBase_ = TrimmedUtf8(text);
            else if (name == u"device" && inDevice_) {
                inDevice_ = false;
                device_ = true;
            }
            return;
        }
        // Fields of embedded devices (deviceList/device/...) lie deeper and are not the root's.
        if (depth != 2 || !inDevice_)
            return;
        if (name == u"friendlyName")
            info_.friendlyName = TrimmedUtf8(text);
        else if (name == u"manufacturer")
            info_.manufacturer = TrimmedUtf8(text);
        else if (name == u"modelName")
            info_.modelName = TrimmedUtf8(text);
        else if (name == u"modelNumber")
            info_.modelNumber = TrimmedUtf8(text);
        else if (name == u"serialNumber")
            info_.serialNumber = TrimmedUtf8(text);
        else if (name == u"UDN")
            info_.udn = TrimmedUtf8(text);
        else if (name == u"deviceType")
            info_.deviceType = TrimmedUtf8(text);
        else if (name == u"presentationURL")
            presentation_ = TrimmedUtf8(text);
    }

private:
    TUpnpInfo& info_;
    std::string urlBase_;
    std::string presentation_;
    bool root_ = false;
    bool inDevice_ = false;
    bool device_ = false;
};

} // namespace

std::string ResolvedHttpUrl(std::string_view base, std::string_view reference) {
    if (reference.empty())
        return {};
    const QUrl relative(
        QString::fromUtf8(reference.data(), static_cast<qsizetype>(reference.size())),
        QUrl::StrictMode);
    if (!relative.isValid())
        return {};
    QUrl resolved;
    if (!relative.isRelative()) {
        resolved = relative;
    } else {
        const QUrl baseUrl = HttpUrl(base);
        if (baseUrl.isEmpty())
            return {};
        resolved = baseUrl.resolved(relative);
    }
    const QUrl checked = HttpUrl(resolved.toString(QUrl::FullyEncoded).toStdString());
    return checked.isEmpty() ? std::string() : checked.toString(QUrl::FullyEncoded).toStdString();
}

std::string HttpUrlHost(std::string_view url) {
    const QUrl parsed = HttpUrl(url);
    return parsed.isEmpty() ? std::string() : parsed.host().toStdString();
}

bool ParseUpnpDescription(std::string_view xml, std::string_view location, TUpnpInfo& info) {
    if (xml.size() > kUpnpDescriptionMax)
        return false;
    TUpnpInfo filled = info;
    filled.friendlyName.clear();
    filled.manufacturer.clear();
    filled.modelName.clear();
    filled.modelNumber.clear();
    filled.serialNumber.clear();
    filled.udn.clear();
    filled.presentationUrl.clear();
    filled.deviceType.clear();

    TXmlLimits limits;
    limits.maxBytes = kUpnpDescriptionMax;
    TXmlWalk walk(limits);
    TDescriptionReader reader(filled);
    if (!walk.Run(xml, reader) || !reader.Valid())
        return false;
    // A URLBase that is no http URL of its own (empty, or of another scheme) is passed over.
    const bool ownBase = !HttpUrl(reader.UrlBase()).isEmpty();
    filled.presentationUrl = ResolvedHttpUrl(
        ownBase ? std::string_view(reader.UrlBase()) : location, reader.Presentation());
    info = std::move(filled);
    return true;
}

} // namespace zadari
