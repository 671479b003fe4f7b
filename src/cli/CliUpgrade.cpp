// zadari-cli upgrade: finds the camera by its MAC, checks the file as the upgrade dialog does and
// uploads it (family 2 by its own POST, families 3 and 9 through the family-9 client), with a
// progress bar on standard error when that is a terminal. With several --mac (or --parallel,
// --report, --family-file, --back-seconds) it upgrades the cameras as a fleet: at most N uploads
// at once, each camera followed until it answers again after its restart, and a JSON report.
#include "access/SR_517.h"
#include "app/ApplyFlow.h"
#include "app/AtomicFile.h"
#include "app/Credentials.h"
#include "app/DeviceList.h"
#include "app/FleetUpgrade.h"
#include "app/ReportText.h"
#include "app/SearchEngine.h"
#include "app/Session.h"
#include "app/StopSignals.h"
#include "cli/CliCommand.h"
#include "protocols/Encoding.h"
#include "standards/StandardsMac.h"
#include "upgrade/UploadJob.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>

namespace zadari {

namespace {

int RunUpgrade(const QStringList& args);

const TCliCommand kUpgrade{
    "upgrade",
    "upgrade --mac MAC [--mac MAC ...] --file F [--family-file FAMILY=F ...] [--web-ui] "
    "[--parallel N] [--report FILE] [--back-seconds S] [--user U] "
    "[--password P | --password-file FILE] [--seconds S] [--interface NAME]",
    "Searches until the device with the MAC answers, checks the file as the window's upgrade "
    "dialog does and uploads it (families 2, 3 and 9). A progress bar goes to standard error "
    "when that is a terminal. The password may also come from the environment variable "
    "ZADARI_PASSWORD. With several --mac, or any of --parallel, --report, --family-file and "
    "--back-seconds, the cameras are upgraded as a fleet: at most N uploads at once, each "
    "camera in its family's own exchange and then followed until it answers again after its "
    "restart; one line per camera on standard error when that is a terminal, the stages "
    "otherwise; exit 0 when every camera is done, 1 otherwise.",
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

bool IsFleet(const TCliParser& options) {
    return options.Values(QStringLiteral("mac")).size() > 1 ||
           options.Has(QStringLiteral("parallel")) || options.Has(QStringLiteral("report")) ||
           options.Has(QStringLiteral("family-file")) ||
           options.Has(QStringLiteral("back-seconds"));
}

/// One line per camera on a terminal, redrawn in place; on anything else one line per change of
/// stage (no percentages).
class TFleetLines {
public:
    explicit TFleetLines(const TFleetUpgrade& upgrade)
        : upgrade_(upgrade), terminal_(::isatty(STDERR_FILENO) == 1) {
        sinceDrawn_.start();
    }

    void Changed(int index) {
        const TUpgradeCamera& camera = upgrade_.Cameras()[static_cast<std::size_t>(index)];
        if (!terminal_) {
            if (lastStage_.size() < upgrade_.Cameras().size())
                lastStage_.resize(upgrade_.Cameras().size(), TUpgradeStage::kWaiting);
            // A camera that fell silent keeps its stage; the detail says so.
            if (camera.stage == lastStage_[static_cast<std::size_t>(index)] &&
                camera.stage != TUpgradeStage::kRebooting)
                return;
            lastStage_[static_cast<std::size_t>(index)] = camera.stage;
            std::fprintf(stderr, "%s %s: %s\n", UpgradeStageWord(camera.stage),
                         ColonMac(camera.mac).c_str(), camera.detail.c_str());
            return;
        }
        if (sinceDrawn_.elapsed() >= 200 || camera.Final())
            Draw();
    }

    /// The last picture (terminal only).
    void End() {
        if (terminal_)
            Draw();
    }

private:
    void Draw() {
        sinceDrawn_.restart();
        std::string text;
        if (drawnLines_ > 0)
            text += "\x1b[" + std::to_string(drawnLines_) + "A";
        for (const TUpgradeCamera& camera : upgrade_.Cameras()) {
            text += "\r\x1b[2K" + ColonMac(camera.mac) + "  " + camera.listed.ip;
            text +=
                std::string(camera.listed.ip.size() < 16 ? 16 - camera.listed.ip.size() : 1, ' ');
            text += UpgradeStageWord(camera.stage);
            if (camera.stage == TUpgradeStage::kUploading) {
                constexpr int kWidth = 20;
                const int filled = camera.percent * kWidth / 100;
                text += " [" + std::string(static_cast<std::size_t>(filled), '#') +
                        std::string(static_cast<std::size_t>(kWidth - filled), '.') + "] " +
                        std::to_string(camera.percent) + "%";
            } else if (!camera.detail.empty()) {
                text += "  " + camera.detail;
            }
            text += "\n";
        }
        drawnLines_ = static_cast<int>(upgrade_.Cameras().size());
        std::fputs(text.c_str(), stderr);
        std::fflush(stderr);
    }

    const TFleetUpgrade& upgrade_;
    bool terminal_;
    int drawnLines_ = 0;
    QElapsedTimer sinceDrawn_;
    std::vector<TUpgradeStage> lastStage_;
};

int RunFleetUpgrade(const TCliParser& options) {
    std::vector<std::string> macs;
    for (const QString& text : options.Values(QStringLiteral("mac"))) {
        const std::string key = NormalisedMac(text.toStdString());
        if (key.empty())
            return options.UsageError(
                QStringLiteral("--mac needs a MAC address, not '%1'").arg(text));
        if (std::find(macs.begin(), macs.end(), key) != macs.end())
            return options.UsageError(QStringLiteral("--mac %1 given twice").arg(text));
        macs.push_back(key);
    }
    if (macs.empty())
        return options.UsageError(QStringLiteral("--mac MAC is required"));
    const TFirmwareKind kind = options.Has(QStringLiteral("web-ui"))
                                   ? TFirmwareKind::WebUi
                                   : TFirmwareKind::SystemFirmware;
    TFleetUpgradeSetup setup;
    setup.kind = kind;
    setup.file = options.Value(QStringLiteral("file"));
    for (const QString& given : options.Values(QStringLiteral("family-file"))) {
        const qsizetype equals = given.indexOf(QLatin1Char('='));
        bool number = false;
        const int family = equals > 0 ? given.left(equals).trimmed().toInt(&number) : 0;
        if (!number || !HasUpgrade(family) || equals + 1 >= given.size())
            return options.UsageError(
                QStringLiteral("--family-file needs FAMILY=F with FAMILY 2, 3 or 9, not '%1'")
                    .arg(given));
        if (setup.familyFiles.count(family) != 0)
            return options.UsageError(
                QStringLiteral("--family-file for family %1 given twice").arg(family));
        setup.familyFiles[family] = given.mid(equals + 1);
    }
    if (setup.file.isEmpty() && setup.familyFiles.empty())
        return options.UsageError(QStringLiteral("--file F is required"));
    if (options.Has(QStringLiteral("parallel"))) {
        bool ok = false;
        setup.parallel = options.Value(QStringLiteral("parallel")).toInt(&ok);
        if (!ok || setup.parallel < 1 || setup.parallel > 64)
            return options.UsageError(QStringLiteral("--parallel needs a number from 1 to 64, "
                                                     "not '%1'")
                                          .arg(options.Value(QStringLiteral("parallel"))));
    }
    double backSeconds = 300;
    if (options.Has(QStringLiteral("back-seconds")) &&
        !ParseCliSeconds(options.Value(QStringLiteral("back-seconds")), backSeconds))
        return options.UsageError(
            QStringLiteral("--back-seconds needs a number from 0 to 86400, not '%1'")
                .arg(options.Value(QStringLiteral("back-seconds"))));
    setup.backMs = static_cast<int>(std::llround(backSeconds * 1000.0));
    double seconds = 3;
    if (options.Has(QStringLiteral("seconds")) &&
        !ParseCliSeconds(options.Value(QStringLiteral("seconds")), seconds))
        return options.UsageError(
            QStringLiteral("--seconds needs a number from 0 to 86400, not '%1'")
                .arg(options.Value(QStringLiteral("seconds"))));
    std::optional<std::string> user;
    if (options.Has(QStringLiteral("user")))
        user = options.Value(QStringLiteral("user")).trimmed().toStdString();
    std::optional<QString> givenPassword;
    if (const std::optional<int> exit = ReadPassword(options, givenPassword))
        return *exit;
    std::optional<std::string> password;
    if (givenPassword)
        password = givenPassword->trimmed().toStdString();
    TCliSearchSetup search;
    search.seconds = seconds;
    if (const std::optional<int> exit = ReadInterfaceOption(options, search.onlyInterface))
        return *exit;
    // Every family wants a readable file of at least four bytes; no need to search without one.
    std::vector<QString> files(1, setup.file);
    for (const auto& [family, path] : setup.familyFiles)
        files.push_back(path);
    for (const QString& path : files) {
        if (!path.isEmpty() && !CheckUpgradeFile(path, kFamilyDh, kind)) {
            std::fprintf(stderr, "%s (%s)\n", UpgradeMessageEnglish(TUpgradeResult::BadFile),
                         path.toLocal8Bit().constData());
            return kExitUsage;
        }
    }

    TPresetCredentials credentials(user, password);
    int exitCode = kExitFailed;
    search.done = [&](TSession& session) {
        for (const std::string& key : macs) {
            if (FindByMac(session.List(), key) == nullptr)
                return false;
        }
        return true;
    };
    search.finished = [&](TSession& session) {
        std::vector<TDevInfo> found;
        std::vector<std::string> notFound;
        for (const std::string& key : macs) {
            if (const TDevInfo* record = FindByMac(session.List(), key))
                found.push_back(*record);
            else
                notFound.push_back(key);
        }
        TFleetUpgrade upgrade(session, credentials, std::move(found), std::move(notFound), setup);
        TFleetLines lines(upgrade);
        QEventLoop loop;
        QObject::connect(&upgrade, &TFleetUpgrade::Finished, &loop, &QEventLoop::quit);
        QObject::connect(&upgrade, &TFleetUpgrade::CameraChanged, &loop,
                         [&lines](int index) { lines.Changed(index); });
        // The first stop signal cancels (no further upload starts, running ones finish); the
        // second leaves at once and breaks off the running uploads.
        TStopSignals stop;
        QObject::connect(&stop, &TStopSignals::Arrived, &loop, [&] {
            if (upgrade.Cancelled()) {
                loop.quit();
                return;
            }
            std::fprintf(stderr, "zadari-cli upgrade: cancelled; the running uploads finish\n");
            upgrade.Cancel();
        });
        upgrade.Start();
        if (!upgrade.Done())
            loop.exec();
        lines.End();
        const QString reportPath = options.Value(QStringLiteral("report"));
        if (reportPath != QLatin1String("-")) {
            for (const TUpgradeCamera& camera : upgrade.Cameras())
                std::printf("%s %s %s\n", UpgradeStageWord(camera.stage),
                            ColonMac(camera.mac).c_str(), camera.versionAfter.c_str());
            std::fflush(stdout);
        }
        bool written = true;
        if (options.Has(QStringLiteral("report"))) {
            const QString& path = reportPath;
            const std::string report = upgrade.ReportJson();
            QString error;
            if (path == QLatin1String("-")) {
                std::fwrite(report.data(), 1, report.size(), stdout);
                std::fflush(stdout);
            } else if (!WriteFileAtomically(path, report, &error)) {
                std::fprintf(stderr, "zadari-cli upgrade: cannot write %s: %s\n",
                             path.toLocal8Bit().constData(), error.toLocal8Bit().constData());
                written = false;
            }
        }
        exitCode = upgrade.AllDone() && upgrade.Done() && written ? kExitDone : kExitFailed;
    };
    RunCliSearch(search);
    return exitCode;
}

int RunUpgrade(const QStringList& args) {
    TCliParser options(kUpgrade);
    options.AddRepeatable(QStringLiteral("mac"), QStringLiteral("MAC"),
                          QStringLiteral("The device's MAC address (required); given several "
                                         "times, the devices are upgraded as a fleet."));
    options.AddValue(QStringLiteral("file"), QStringLiteral("F"),
                     QStringLiteral("The firmware file to upload (required, except in a fleet "
                                    "whose families all have a --family-file)."));
    options.AddRepeatable(QStringLiteral("family-file"), QStringLiteral("FAMILY=F"),
                          QStringLiteral("In a fleet, the file for the devices of family FAMILY "
                                         "(2, 3 or 9); --file is for the other families. May be "
                                         "given once per family."));
    options.AddFlag(QStringLiteral("web-ui"),
                    QStringLiteral("The file is a web user interface, not system firmware."));
    options.AddValue(QStringLiteral("parallel"), QStringLiteral("N"),
                     QStringLiteral("In a fleet, uploads at once, 1 to 64 (default 4)."));
    options.AddValue(QStringLiteral("report"), QStringLiteral("FILE"),
                     QStringLiteral("Writes the fleet's report to FILE ('-': standard output): "
                                    "a JSON array with mac, ip, family, status (done, failed, "
                                    "not-back, not-found, cancelled), versionBefore, "
                                    "versionAfter, uploadSeconds and detail per device."));
    options.AddValue(QStringLiteral("back-seconds"), QStringLiteral("S"),
                     QStringLiteral("In a fleet, how long each device has to answer again after "
                                    "its upload (default 300)."));
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
    if (IsFleet(options))
        return RunFleetUpgrade(options);
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
