// zadari-cli apply: searches until the device is listed, then applies the given settings to it
// with its family's command, as the window's Apply button does.
#include "app/ApplyFlow.h"
#include "app/Credentials.h"
#include "app/DeviceList.h"
#include "app/DeviceText.h"
#include "app/SearchEngine.h"
#include "app/Session.h"
#include "cli/CliCommand.h"
#include "cli/CliFleet.h"
#include "i18n/LanguageStore.h"
#include "i18n/StrRes.h"
#include "protocols/Encoding.h"
#include "protocols/Moi.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <string>

namespace zadari {
namespace {

int RunApply(const QStringList& args);

const TCliCommand kApply{
    "apply",
    "apply --mac MAC [--name N] [--port P] [--mode pppoe|dynamic|fixed] [--ip A] [--mask M] "
    "[--gateway G] [--user U] [--password PW | --password-file FILE] [--seconds S] "
    "[--interface NAME]\n"
    "  zadari-cli apply --plan FILE [--dry-run] [--report FILE] [--verify-seconds S] [--user U] "
    "[--password PW | --password-file FILE] [--seconds S] [--interface NAME]",
    "Searches until the device with the MAC answers, then applies the given settings to it with "
    "its family's command, as the window's Apply button does. Settings not given stay as the "
    "device reported them. The password may also come from the environment variable "
    "ZADARI_PASSWORD.",
    &RunApply};

/// What the credential dialog and the name field let a user type.
constexpr qsizetype kMaxAccountLength = 13;
constexpr qsizetype kMaxNameLength = 15;

/// What the command line asks of one apply.
struct TApplyOptions {
    QString mac;
    std::optional<QString> name;
    std::optional<int> port;
    std::optional<int> mode;
    std::optional<std::string> ip, mask, gateway;
    std::optional<std::string> user, password;
    double seconds = 3;
    QString onlyInterface;
};

bool ParsePort(const QString& text, int& port) {
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (const QChar c : text) {
        if (!c.isDigit() || c.unicode() > '9')
            return false;
    }
    port = text.toInt();
    return port >= 1 && port <= 65535;
}

/// Reads the options; on a usage error prints it and returns the exit code in `exitCode`.
bool ReadOptions(const QStringList& args, TApplyOptions& out, int& exitCode) {
    TCliParser options(kApply);
    struct TValueOption {
        const char* name;
        const char* valueName;
        const char* description;
    };
    const TValueOption values[] = {
        {"mac", "MAC", "The device's MAC address (required)."},
        {"name", "N", "The new device name, at most 15 characters."},
        {"port", "P", "The new HTTP port, 1 to 65535."},
        {"mode", "pppoe|dynamic|fixed", "The new connection type."},
        {"ip", "A", "The new IPv4 address (fixed mode)."},
        {"mask", "M", "The new subnet mask (fixed mode)."},
        {"gateway", "G", "The new gateway (fixed mode)."},
        {"user", "U",
         "The device account's user name, at most 13 characters (default: the family's preset "
         "user)."},
    };
    for (const TValueOption& option : values)
        options.AddValue(QString::fromUtf8(option.name), QString::fromUtf8(option.valueName),
                         QString::fromUtf8(option.description));
    AddPasswordOptions(options, QStringLiteral("PW"),
                       QStringLiteral("The device account's password, at most 13 characters "
                                      "(default: the family's preset password)."));
    options.AddValue(
        QStringLiteral("seconds"), QStringLiteral("S"),
        QStringLiteral("Searches for the device for at most S seconds, 0 to 86400 (default 3)."));
    AddInterfaceOption(options);
    auto fail = [&](const QString& message) {
        exitCode = options.UsageError(message);
        return false;
    };
    if (const std::optional<int> exit = options.Parse(args)) {
        exitCode = *exit;
        return false;
    }
    out.mac = options.Value(QStringLiteral("mac")).trimmed();
    if (out.mac.isEmpty())
        return fail(QStringLiteral("--mac MAC is required"));
    if (MacKeyOf(out.mac.toStdString()).empty())
        return fail(QStringLiteral("--mac needs a MAC address, not '%1'").arg(out.mac));

    if (options.Has(QStringLiteral("name"))) {
        const QString name = options.Value(QStringLiteral("name"));
        if (name.size() > kMaxNameLength)
            return fail(QStringLiteral("--name takes at most %1 characters").arg(kMaxNameLength));
        out.name = name;
    }
    if (options.Has(QStringLiteral("port"))) {
        int port = 0;
        if (!ParsePort(options.Value(QStringLiteral("port")), port))
            return fail(QStringLiteral("--port needs a number from 1 to 65535, not '%1'")
                            .arg(options.Value(QStringLiteral("port"))));
        out.port = port;
    }
    if (options.Has(QStringLiteral("mode"))) {
        const QString mode = options.Value(QStringLiteral("mode"));
        if (mode == QLatin1String("pppoe"))
            out.mode = 0;
        else if (mode == QLatin1String("dynamic"))
            out.mode = 1;
        else if (mode == QLatin1String("fixed"))
            out.mode = 2;
        else
            return fail(
                QStringLiteral("--mode must be pppoe, dynamic or fixed, not '%1'").arg(mode));
    }
    const std::pair<const char*, std::optional<std::string>*> addresses[] = {
        {"ip", &out.ip}, {"mask", &out.mask}, {"gateway", &out.gateway}};
    for (const auto& [option, target] : addresses) {
        const QString name = QString::fromLatin1(option);
        if (!options.Has(name))
            continue;
        const std::string text = options.Value(name).toStdString();
        if (!IsDottedAddress(text))
            return fail(QStringLiteral("--%1 needs a dotted IPv4 address, not '%2'")
                            .arg(name, options.Value(name)));
        *target = text;
    }
    std::optional<QString> password;
    if (const std::optional<int> exit = ReadPassword(options, password)) {
        exitCode = *exit;
        return false;
    }
    // Too long a password is named by where it came from.
    QString passwordFrom = QStringLiteral("ZADARI_PASSWORD");
    if (options.Has(QStringLiteral("password")))
        passwordFrom = QStringLiteral("--password");
    else if (options.Has(QStringLiteral("password-file")))
        passwordFrom = QStringLiteral("--password-file");
    const std::pair<QString, std::optional<QString>> account[] = {
        {QStringLiteral("--user"),
         options.Has(QStringLiteral("user"))
             ? std::optional<QString>(options.Value(QStringLiteral("user")))
             : std::nullopt},
        {passwordFrom, password}};
    std::optional<std::string>* const targets[] = {&out.user, &out.password};
    for (std::size_t i = 0; i < std::size(account); ++i) {
        const auto& [name, text] = account[i];
        if (!text)
            continue;
        if (text->size() > kMaxAccountLength)
            return fail(
                QStringLiteral("%1 takes at most %2 characters").arg(name).arg(kMaxAccountLength));
        *targets[i] = text->toStdString();
    }
    if (options.Has(QStringLiteral("seconds")) &&
        !ParseCliSeconds(options.Value(QStringLiteral("seconds")), out.seconds))
        return fail(QStringLiteral("--seconds needs a number from 0 to 86400, not '%1'")
                        .arg(options.Value(QStringLiteral("seconds"))));
    if (const std::optional<int> exit = ReadInterfaceOption(options, out.onlyInterface)) {
        exitCode = *exit;
        return false;
    }
    return true;
}

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

/// Checks the options against what the panel lets one change for this device.
bool FitsDevice(const TApplyOptions& options, const TDevInfo& listed, int& exitCode) {
    auto fail = [&](const QString& message) {
        exitCode = CliUsageError("apply", message);
        return false;
    };
    if (options.name && !NameEditable(listed.family))
        return fail(
            QStringLiteral("the name of a family-%1 device cannot be changed").arg(listed.family));
    if (options.port && !PortFitsCommand(listed.family, listed.httpPort, *options.port))
        return fail(QStringLiteral("--port %1 has five digits; a family-%2 device takes an HTTP "
                                   "port from 1 to 9999")
                        .arg(*options.port)
                        .arg(listed.family));
    if (options.mode && !IpModeShown(listed.family))
        return fail(QStringLiteral("a family-%1 device has no connection type to change")
                        .arg(listed.family));
    const int mode = options.mode.value_or(listed.ipMode);
    if ((options.ip || options.mask || options.gateway) && mode != 2)
        return fail(
            QStringLiteral("--ip, --mask and --gateway need the fixed mode (--mode fixed)"));
    return true;
}

std::string Printable(const TBytes& bytes) {
    bool text = true;
    for (const std::uint8_t b : bytes)
        text = text && ((b >= 0x20 && b < 0x7F) || b == '\r' || b == '\n');
    if (!text)
        return BytesToHex(TByteView(bytes.data(), bytes.size()));
    std::string out;
    for (const std::uint8_t b : bytes)
        out += b == '\r'   ? std::string("\\r")
               : b == '\n' ? std::string("\\n")
                           : std::string(1, char(b));
    return out;
}

void PrintResult(const TApplyResult& result, const TDevInfo& listed) {
    const std::string device = "family " + std::to_string(listed.family) + " (" +
                               FamilyLetters(listed.family) + ") " +
                               DecodeDeviceText(listed.mac).toStdString();
    // A message the window would show (the device refused the account, it restarts, ...) is
    // printed before the English detail.
    const QString note =
        result.message.key.empty() || result.outcome == TApplyOutcome::kValidationError
            ? QString()
            : GetStrRes(result.message.key);
    const std::string message =
        note.isEmpty() ? std::string()
                       : note.toLocal8Bit().toStdString() + " (" + result.message.key + "): ";
    switch (result.outcome) {
    case TApplyOutcome::kApplied:
        std::printf("applied: %s: %s%s\n", device.c_str(), message.c_str(), result.detail.c_str());
        break;
    case TApplyOutcome::kNotApplied:
        std::printf("not applied: %s: %s%s\n", device.c_str(), message.c_str(),
                    result.detail.c_str());
        break;
    case TApplyOutcome::kValidationError: {
        const QString message =
            result.messageKey.empty() ? QString() : GetStrRes(result.messageKey);
        if (message.isEmpty())
            std::printf("not applied: %s: %s\n", device.c_str(), result.detail.c_str());
        else
            std::printf("not applied: %s: %s (%s)\n", device.c_str(),
                        message.toLocal8Bit().constData(), result.messageKey.c_str());
        break;
    }
    }
    for (const TSentDatagram& datagram : result.sent)
        std::printf("sent %s:%u %zu bytes: %s\n", datagram.address.c_str(),
                    static_cast<unsigned>(datagram.port), datagram.bytes.size(),
                    Printable(datagram.bytes).c_str());
    if (!result.carriedBy.empty())
        std::printf("sent through %s\n", result.carriedBy.c_str());
    else if (result.sent.empty())
        std::printf("nothing sent\n");
    std::fflush(stdout);
}

int RunApply(const QStringList& args) {
    if (IsApplyPlan(args))
        return RunApplyPlan(args);
    TApplyOptions options;
    int exitCode = kExitUsage;
    if (!ReadOptions(args, options, exitCode))
        return exitCode;

    // The messages of the flow come from the language files, as in the window.
    TLanguageStore languages;
    TPresetCredentials credentials(options.user, options.password);

    const std::string mac = options.mac.toStdString();
    bool found = false;
    // A search with the SDK search, as the window's Find: family-4 devices are found and
    // configured through the vendor library when it is there (and no adapter is named: the
    // library picks its adapters itself).
    TCliSearchSetup search;
    search.seconds = options.seconds;
    search.withSdk = options.onlyInterface.isEmpty();
    search.onlyInterface = options.onlyInterface;
    search.credentials = &credentials;
    search.done = [&](TSession& session) { return FindDevice(session.List(), mac) != nullptr; };
    search.finished = [&](TSession& session) {
        const TDevInfo* row = FindDevice(session.List(), mac);
        if (row == nullptr)
            return;
        found = true;
        TDevInfo listed = *row;
        if (session.ApplyFlow().ReadsSettings(listed)) {
            // What the device reported is read from the device itself (with the account):
            // discovery alone did not say it.
            TApplyResult read;
            TDevInfo current;
            if (!session.ApplyFlow().ReadSettings(listed, current, read)) {
                PrintResult(read, listed);
                exitCode = kExitFailed;
                return;
            }
            listed = current;
        }
        if (!FitsDevice(options, listed, exitCode))
            return;

        TEditedValues values = TEditedValues::FromRecord(listed);
        if (options.name)
            values.name = EncodeLikeDevice(*options.name, listed.name);
        if (options.port)
            values.portText = std::to_string(*options.port);
        if (options.mode)
            values.ipMode = *options.mode;
        if (options.ip)
            values.ip = *options.ip;
        if (options.mask)
            values.mask = *options.mask;
        if (options.gateway)
            values.gateway = *options.gateway;

        const TApplyResult result = session.ApplyFlow().Apply(listed, values);
        PrintResult(result, listed);
        switch (result.outcome) {
        case TApplyOutcome::kApplied:
            exitCode = kExitDone;
            break;
        case TApplyOutcome::kNotApplied:
            exitCode = kExitFailed;
            break;
        case TApplyOutcome::kValidationError:
            exitCode = kExitUsage;
            break;
        }
    };
    RunCliSearch(search);
    if (!found) {
        std::printf("not found: no device with MAC %s answered within %g seconds\n",
                    options.mac.toLocal8Bit().constData(), options.seconds);
        return kExitNotFound;
    }
    return exitCode;
}

const TCliRegistration registration{kApply};

} // namespace
} // namespace zadari
