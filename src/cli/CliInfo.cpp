// zadari-cli info: searches until the device is listed, then prints what it says about itself and
// its network settings as JSON. A device that only ONVIF found is asked through its device
// service with the account; any other device's settings are those its answer carried.
#include "access/OnvifSettings.h"
#include "app/ApplyFlow.h"
#include "app/Credentials.h"
#include "app/DevInfoJson.h"
#include "app/DeviceList.h"
#include "app/DeviceText.h"
#include "app/OnvifCarrier.h"
#include "app/Session.h"
#include "cli/CliCommand.h"
#include "i18n/LanguageStore.h"
#include "i18n/StrRes.h"
#include "protocols/Encoding.h"
#include "standards/StandardsMac.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <optional>
#include <string>

namespace zadari {
namespace {

int RunInfo(const QStringList& args);

const TCliCommand kInfo{
    "info",
    "info --mac MAC [--user U] [--password PW | --password-file FILE] [--seconds S] "
    "[--interface NAME]",
    "Searches until the device with the MAC answers, then prints its device information and "
    "network settings as one JSON object. A device that only ONVIF found is asked through its "
    "device service with the account (default: the family's preset account); any other "
    "device's fields are those of its answer. The password may also come from the environment "
    "variable ZADARI_PASSWORD.",
    &RunInfo};

/// The listed row of the device the argument names: its exact mac, else its macKey.
const TDevInfo* FindDevice(const TDeviceList& list, const std::string& mac) {
    if (const TDevInfo* exact = list.FindRowByMac(mac))
        return exact;
    const std::string key = MacKeyOf(mac);
    for (int i = 0; i < list.RowCount(); ++i) {
        const TDevInfo& record = list.Row(i).record;
        if (!record.macKey.empty() && record.macKey == key)
            return &record;
    }
    return nullptr;
}

void Print(const QJsonObject& object) {
    std::fputs(QJsonDocument(object).toJson(QJsonDocument::Indented).constData(), stdout);
    std::fflush(stdout);
}

int RunInfo(const QStringList& args) {
    TCliParser options(kInfo);
    options.AddValue(QStringLiteral("mac"), QStringLiteral("MAC"),
                     QStringLiteral("The device's MAC address (required)."));
    options.AddValue(QStringLiteral("user"), QStringLiteral("U"),
                     QStringLiteral("The device account's user name (default: the family's "
                                    "preset user)."));
    AddPasswordOptions(options, QStringLiteral("PW"),
                       QStringLiteral("The device account's password (default: the family's "
                                      "preset password)."));
    options.AddValue(
        QStringLiteral("seconds"), QStringLiteral("S"),
        QStringLiteral("Searches for the device for at most S seconds, 0 to 86400 (default 3)."));
    AddInterfaceOption(options);
    if (const std::optional<int> exit = options.Parse(args))
        return *exit;

    const QString macText = options.Value(QStringLiteral("mac")).trimmed();
    if (macText.isEmpty())
        return options.UsageError(QStringLiteral("--mac MAC is required"));
    if (NormalisedMac(macText.toStdString()).empty())
        return options.UsageError(
            QStringLiteral("--mac needs a MAC address, not '%1'").arg(macText));
    std::optional<QString> password;
    if (const std::optional<int> exit = ReadPassword(options, password))
        return *exit;
    double seconds = 3;
    if (options.Has(QStringLiteral("seconds")) &&
        !ParseCliSeconds(options.Value(QStringLiteral("seconds")), seconds))
        return options.UsageError(
            QStringLiteral("--seconds needs a number from 0 to 86400, not '%1'")
                .arg(options.Value(QStringLiteral("seconds"))));
    QString onlyInterface;
    if (const std::optional<int> exit = ReadInterfaceOption(options, onlyInterface))
        return *exit;

    // The messages come from the language files, as in the window.
    TLanguageStore languages;
    TPresetCredentials credentials(
        options.Has(QStringLiteral("user"))
            ? std::optional<std::string>(options.Value(QStringLiteral("user")).toStdString())
            : std::nullopt,
        password ? std::optional<std::string>(password->toStdString()) : std::nullopt);

    const std::string mac = macText.toStdString();
    bool found = false;
    int exitCode = kExitDone;
    TCliSearchSetup search;
    search.seconds = seconds;
    search.withSdk = onlyInterface.isEmpty();
    search.onlyInterface = onlyInterface;
    search.credentials = &credentials;
    search.done = [&](TSession& session) { return FindDevice(session.List(), mac) != nullptr; };
    search.finished = [&](TSession& session) {
        const TDevInfo* row = FindDevice(session.List(), mac);
        if (row == nullptr)
            return;
        found = true;
        const TDevInfo listed = *row;
        QJsonObject out;
        out[QStringLiteral("mac")] = DecodeDeviceText(listed.mac);
        out[QStringLiteral("family")] = listed.family;
        out[QStringLiteral("letters")] = QString::fromStdString(FamilyLetters(listed.family));
        out[QStringLiteral("ip")] = QString::fromStdString(listed.ip);
        TOnvifCarrier* onvif = session.OnvifClient();
        if (onvif == nullptr || !session.ApplyFlow().ReadsSettings(listed)) {
            out[QStringLiteral("record")] =
                QJsonDocument::fromJson(QByteArray::fromStdString(DevInfoToJson(listed))).object();
            Print(out);
            return;
        }
        const TCredentials presets = CredentialPresets(listed.family).value_or(TCredentials{});
        const TCredentials account =
            credentials.AskCredentials(listed.family, presets).value_or(presets);
        std::string xaddr;
        const TOnvifResult<TOnvifNetworkSettings> read = onvif->Read(account, listed, &xaddr);
        if (!read.Ok()) {
            std::printf("not read: family %d (%s) %s: %s (%s): %s\n", listed.family,
                        FamilyLetters(listed.family).c_str(),
                        DecodeDeviceText(listed.mac).toLocal8Bit().constData(),
                        GetStrRes(read.messageKey).toLocal8Bit().constData(),
                        read.messageKey.c_str(), read.detail.c_str());
            std::fflush(stdout);
            exitCode = kExitFailed;
            return;
        }
        const QJsonObject settings = OnvifSettingsJson(read.value, xaddr);
        for (auto it = settings.begin(); it != settings.end(); ++it)
            out[it.key()] = it.value();
        Print(out);
    };
    RunCliSearch(search);
    if (!found) {
        std::printf("not found: no device with MAC %s answered within %g seconds\n",
                    macText.toLocal8Bit().constData(), seconds);
        return kExitNotFound;
    }
    return exitCode;
}

const TCliRegistration registration{kInfo};

} // namespace
} // namespace zadari
