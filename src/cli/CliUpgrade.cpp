// zadari-cli upgrade: finds the camera by its MAC, checks the file as the upgrade dialog does and
// uploads it (family 2 by its own POST, families 3 and 9 through the family-9 client), with a
// progress bar on standard error when that is a terminal.
#include "access/SR_517.h"
#include "app/ApplyFlow.h"
#include "app/DeviceList.h"
#include "app/SearchEngine.h"
#include "app/Session.h"
#include "cli/CliCommand.h"
#include "protocols/Encoding.h"
#include "upgrade/UploadJob.h"

#include <QEventLoop>
#include <QFile>

#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>

namespace zadari {

namespace {

int RunUpgrade(const QStringList& args);

const TCliCommand kUpgrade{
    "upgrade",
    "upgrade --mac MAC --file F [--web-ui] [--user U] [--password P | --password-file FILE] "
    "[--seconds S] [--interface NAME]",
    "Searches until the device with the MAC answers, checks the file as the window's upgrade "
    "dialog does and uploads it (families 2, 3 and 9). A progress bar goes to standard error "
    "when that is a terminal. The password may also come from the environment variable "
    "ZADARI_PASSWORD.",
    &RunUpgrade};

const TDevInfo* FindByMac(const TDeviceList& list, const std::string& key) {
    for (int i = 0; i < list.RowCount(); ++i) {
        const TDevInfo& record = list.Row(i).record;
        const std::string rowKey = record.macKey.empty() ? MacKeyOf(record.mac) : record.macKey;
        if (!key.empty() && rowKey == key)
            return &record;
    }
    return nullptr;
}

class TProgressBar {
public:
    TProgressBar() : enabled_(::isatty(STDERR_FILENO) == 1) {}

    void Show(qint64 sent, qint64 total) {
        if (!enabled_ || total <= 0)
            return;
        const int percent = static_cast<int>(sent * 100 / total);
        if (percent == lastPercent_)
            return;
        lastPercent_ = percent;
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%  %.1f / %.1f MiB",
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(), percent,
                     static_cast<double>(sent) / 1048576.0, static_cast<double>(total) / 1048576.0);
        std::fflush(stderr);
        shown_ = true;
    }
    void End() {
        if (shown_)
            std::fprintf(stderr, "\n");
        shown_ = false;
    }

private:
    bool enabled_;
    bool shown_ = false;
    int lastPercent_ = -1;
};

int RunUpgrade(const QStringList& args) {
    TCliParser options(kUpgrade);
    options.AddValue(QStringLiteral("mac"), QStringLiteral("MAC"),
                     QStringLiteral("The device's MAC address (required)."));
    options.AddValue(QStringLiteral("file"), QStringLiteral("F"),
                     QStringLiteral("The firmware file to upload (required)."));
    options.AddFlag(QStringLiteral("web-ui"),
                    QStringLiteral("The file is a web user interface, not system firmware."));
    options.AddValue(QStringLiteral("user"), QStringLiteral("U"),
                     QStringLiteral("The device account's user name (default admin)."));
    AddPasswordOptions(options, QStringLiteral("P"),
                       QStringLiteral("The device account's password (default empty)."));
    options.AddValue(QStringLiteral("seconds"), QStringLiteral("S"),
                     QStringLiteral("Searches for the device for at most S seconds, 0 to 86400 "
                                    "(default 3)."));
    AddInterfaceOption(options);
    if (const std::optional<int> exit = options.Parse(args))
        return *exit;
    const std::string macKey = MacKeyOf(options.Value(QStringLiteral("mac")).toStdString());
    if (macKey.empty())
        return options.UsageError(QStringLiteral("--mac MAC is required"));
    const QString file = options.Value(QStringLiteral("file"));
    if (file.isEmpty())
        return options.UsageError(QStringLiteral("--file F is required"));
    double seconds = 3;
    if (options.Has(QStringLiteral("seconds")) &&
        !ParseCliSeconds(options.Value(QStringLiteral("seconds")), seconds))
        return options.UsageError(
            QStringLiteral("--seconds needs a number from 0 to 86400, not '%1'")
                .arg(options.Value(QStringLiteral("seconds"))));
    const TFirmwareKind kind = options.Has(QStringLiteral("web-ui"))
                                   ? TFirmwareKind::WebUi
                                   : TFirmwareKind::SystemFirmware;
    // The credential dialog's preset account, trimmed as the dialog trims its fields.
    const std::string user =
        options.Value(QStringLiteral("user"), QStringLiteral("admin")).trimmed().toStdString();
    std::optional<QString> password;
    if (const std::optional<int> exit = ReadPassword(options, password))
        return *exit;
    TCliSearchSetup search;
    search.seconds = seconds;
    if (const std::optional<int> exit = ReadInterfaceOption(options, search.onlyInterface))
        return *exit;

    // Every family wants a readable file of at least four bytes; no need to search without one.
    if (!CheckUpgradeFile(file, kFamilyDh, kind)) {
        std::fprintf(stderr, "%s\n", UpgradeMessageEnglish(TUpgradeResult::BadFile));
        return kExitUsage;
    }

    // The search (with its family-9 step) is the shared one; this client only uploads.
    TT517Series client;
    std::optional<TDevInfo> device;
    search.done = [&](TSession& session) { return FindByMac(session.List(), macKey) != nullptr; };
    search.finished = [&](TSession& session) {
        if (const TDevInfo* found = FindByMac(session.List(), macKey))
            device = *found;
    };
    RunCliSearch(search);
    if (!device) {
        std::fprintf(stderr, "zadari-cli upgrade: no device with MAC %s answered\n",
                     options.Value(QStringLiteral("mac")).toLocal8Bit().constData());
        return kExitNotFound;
    }
    if (!HasUpgrade(device->family)) {
        std::fprintf(stderr,
                     "zadari-cli upgrade: the device is of family %d; firmware upgrades are for "
                     "families 2, 3 and 9\n",
                     device->family);
        return kExitUsage;
    }

    TUpgradeTarget target;
    target.family = device->family;
    target.host = device->ip;
    target.port = device->httpPort;
    target.user = user;
    target.password = password.value_or(QString()).trimmed().toStdString();

    TProgressBar bar;
    QEventLoop loop;
    int result = static_cast<int>(TUpgradeResult::Failed);
    TUploadJob* job = TUploadJob::ForUpgrade(client, target, kind, file, &loop);
    QObject::connect(job, &TUploadJob::Progress, &loop,
                     [&bar](qint64 sent, qint64 total) { bar.Show(sent, total); });
    QObject::connect(job, &TUploadJob::Finished, &loop, [&](int r) {
        result = r;
        loop.quit();
    });
    job->Start();
    loop.exec();
    bar.End();

    const auto outcome = static_cast<TUpgradeResult>(result);
    std::fprintf(outcome == TUpgradeResult::Success ? stdout : stderr, "%s\n",
                 UpgradeMessageEnglish(outcome));
    switch (outcome) {
    case TUpgradeResult::Success:
        return kExitDone;
    case TUpgradeResult::BadFile:
        return kExitUsage;
    case TUpgradeResult::Failed:
        break;
    }
    return kExitFailed;
}

const TCliRegistration registration{kUpgrade};

} // namespace
} // namespace zadari
