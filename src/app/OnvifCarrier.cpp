#include "app/OnvifCarrier.h"

#include <QUrl>

#include <utility>

namespace zadari {

namespace {

bool IsHttp(const QUrl& url) {
    return url.isValid() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) &&
           !url.host().isEmpty();
}

std::string StepsText(const std::vector<TOnvifStep>& steps) {
    std::string text;
    for (const TOnvifStep step : steps)
        text += (text.empty() ? "" : ", ") + std::string(OnvifStepName(step));
    return text.empty() ? "nothing" : text;
}

} // namespace

std::string OnvifServiceAddress(const TDevInfo& listed) {
    if (!listed.standards->onvif)
        return {};
    const QString ip = QString::fromStdString(listed.ip);
    std::optional<QUrl> first;
    for (const std::string& xaddr : listed.standards->onvif->xaddrs) {
        const QUrl url(QString::fromStdString(xaddr), QUrl::StrictMode);
        if (!IsHttp(url))
            continue;
        if (url.host() == ip)
            return url.toString(QUrl::FullyEncoded).toStdString();
        if (!first)
            first = url;
    }
    if (!first)
        return {};
    if (!ip.isEmpty())
        first->setHost(ip);
    return first->toString(QUrl::FullyEncoded).toStdString();
}

TOnvifCarrier::TOnvifCarrier(std::unique_ptr<IOnvifTransport> transport)
    : transport_(std::move(transport)) {}

TOnvifCarrier::~TOnvifCarrier() = default;

TOnvifClient TOnvifCarrier::Client(const std::string& xaddr, const TCredentials& account) const {
    TOnvifClient client(*transport_, xaddr);
    client.timeoutMs = timeoutMs;
    client.SetAccount(account.user, account.password);
    return client;
}

bool TOnvifCarrier::Fail(const TOnvifStatus& status) {
    note_.messageKey =
        status.messageKey.empty() ? OnvifMessageKey(TOnvifError::kFault) : status.messageKey;
    note_.detail = status.detail;
    last_.reset();
    return false;
}

TOnvifResult<TOnvifNetworkSettings>
TOnvifCarrier::Read(const TCredentials& account, const TDevInfo& listed, std::string* xaddrOut) {
    note_ = {};
    last_.reset();
    const std::string xaddr = OnvifServiceAddress(listed);
    if (xaddrOut != nullptr)
        *xaddrOut = xaddr;
    TOnvifClient client = Client(xaddr, account);
    TOnvifResult<TOnvifNetworkSettings> read = ReadOnvifSettings(client, listed.ip);
    if (!read.Ok()) {
        Fail(read);
        return read;
    }
    last_ = TLastRead{listed.mac,          xaddr,     account, client.ClockOffsetMs(),
                      client.ClockKnown(), read.value};
    return read;
}

bool TOnvifCarrier::ReadSettings(const TCredentials& account, const TDevInfo& listed,
                                 TDevInfo& current) {
    const TOnvifResult<TOnvifNetworkSettings> read = Read(account, listed);
    if (!read.Ok())
        return false;
    current = listed;
    OnvifSettingsToRecord(read.value, current);
    note_.detail = "read the settings from " + last_->xaddr;
    return true;
}

bool TOnvifCarrier::SendSettings(const TCredentials& account, const TDevInfo& listed,
                                 const TDevInfo& edited) {
    const std::string xaddr = OnvifServiceAddress(listed);
    // The settings to compare with: the read the apply flow made just before, else a fresh one.
    std::optional<TLastRead> last = std::move(last_);
    last_.reset();
    note_ = {};
    if (!last || last->mac != listed.mac || last->xaddr != xaddr || !(last->account == account)) {
        if (!Read(account, listed).Ok())
            return false;
        last = std::move(last_);
        last_.reset();
    }
    TOnvifClient client = Client(xaddr, account);
    if (last->clockKnown)
        client.SetClockOffsetMs(last->clockOffsetMs);

    TOnvifNetworkSettings target;
    TOnvifStatus refused;
    if (!OnvifSettingsFromRecord(last->settings, edited, target, &refused))
        return Fail(refused);
    const TOnvifApplyReport report = ApplyOnvifSettings(client, last->settings, target);
    if (!report.Ok()) {
        TOnvifStatus status = report;
        status.detail += "; done before: " + StepsText(report.done);
        return Fail(status);
    }
    if (!report.Changed()) {
        note_ = {"IDS_ONVIF_UNCHANGED", "the device has these settings already"};
        return false;
    }
    note_.detail = "the device took: " + StepsText(report.done);
    if (report.rebootNeeded)
        note_.messageKey = "IDS_ONVIF_REBOOTING";
    return true;
}

} // namespace zadari
