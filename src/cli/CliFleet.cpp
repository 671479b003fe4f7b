// zadari-cli plan and apply --plan: re-addressing many cameras. `plan` hands out an address
// range over the cameras found and writes the plan; `apply --plan` checks a plan against the
// cameras found, sends each camera its family's command once, and verifies every change by
// finding the camera at its new address.
#include "cli/CliFleet.h"
#include "app/AtomicFile.h"
#include "app/Credentials.h"
#include "app/FleetPlan.h"
#include "app/FleetRun.h"
#include "app/SearchEngine.h"
#include "app/Session.h"
#include "cli/CliCommand.h"
#include "standards/StandardsMac.h"

#include <QEventLoop>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <set>

namespace zadari {
namespace {

int RunPlan(const QStringList& args);

const TCliCommand kPlan{
    "plan",
    "plan --range FIRST-LAST [--mask M] [--gateway G] [--seconds S] [--output FILE] "
    "[--interface NAME]",
    "Searches, then writes a re-addressing plan (CSV: mac,ip,mask,gateway,name) that hands out "
    "the addresses FIRST to LAST over the cameras found that can be re-addressed, in list order, "
    "skipping every address in use. An empty mask or gateway keeps the camera's own.",
    &RunPlan};

const TCliCommand kApplyPlan{
    "apply",
    "apply --plan FILE [--dry-run] [--report FILE] [--verify-seconds S] [--user U] "
    "[--password PW | --password-file FILE] [--seconds S] [--interface NAME]",
    "Searches until every camera of the plan answers (or S seconds pass), checks the plan, then "
    "sends each camera its family's command once, in an order that frees an address before it "
    "is taken, and verifies each change by finding the camera at its new address. Exit 0 when "
    "every camera was verified, 1 otherwise, 2 for a plan with problems (nothing is sent).",
    nullptr};

void PrintProblems(const std::vector<TPlanProblem>& problems) {
    for (const TPlanProblem& problem : problems)
        std::fprintf(stderr, "zadari-cli: plan: %s\n", problem.text.c_str());
}

bool WriteOrPrint(const QString& path, const std::string& text) {
    if (path.isEmpty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return true;
    }
    QString error;
    if (WriteFileAtomically(path, text, &error))
        return true;
    std::fprintf(stderr, "zadari-cli: cannot write %s: %s\n", path.toLocal8Bit().constData(),
                 error.toLocal8Bit().constData());
    return false;
}

int RunPlan(const QStringList& args) {
    TCliParser options(kPlan);
    options.AddValue(QStringLiteral("range"), QStringLiteral("FIRST-LAST"),
                     QStringLiteral("The addresses to hand out (required)."));
    options.AddValue(QStringLiteral("mask"), QStringLiteral("M"),
                     QStringLiteral("The subnet mask every camera gets (default: its own)."));
    options.AddValue(QStringLiteral("gateway"), QStringLiteral("G"),
                     QStringLiteral("The gateway every camera gets (default: its own)."));
    options.AddValue(QStringLiteral("seconds"), QStringLiteral("S"),
                     QStringLiteral("Searches for S seconds, 0 to 86400 (default 3)."));
    options.AddValue(QStringLiteral("output"), QStringLiteral("FILE"),
                     QStringLiteral("Writes the plan to FILE (default: standard output)."));
    AddInterfaceOption(options);
    if (const std::optional<int> exit = options.Parse(args))
        return *exit;
    TCliSearchSetup search;
    search.withSdk = true;
    if (const std::optional<int> exit = ReadInterfaceOption(options, search.onlyInterface))
        return *exit;
    const QStringList range = options.Value(QStringLiteral("range")).split(QLatin1Char('-'));
    const std::optional<std::uint32_t> first =
        range.size() == 2 ? ParseIpv4(range[0].trimmed().toStdString()) : std::nullopt;
    const std::optional<std::uint32_t> last =
        range.size() == 2 ? ParseIpv4(range[1].trimmed().toStdString()) : std::nullopt;
    if (!first || !last || *last < *first)
        return options.UsageError(QStringLiteral("--range needs FIRST-LAST, two dotted IPv4 "
                                                 "addresses with FIRST not above LAST"));
    const std::string mask = options.Value(QStringLiteral("mask")).toStdString();
    if (!mask.empty() && (!ParseIpv4(mask) || !IsSubnetMask(*ParseIpv4(mask))))
        return options.UsageError(QStringLiteral("--mask needs a subnet mask, not '%1'")
                                      .arg(QString::fromStdString(mask)));
    const std::string gateway = options.Value(QStringLiteral("gateway")).toStdString();
    if (!gateway.empty() && !ParseIpv4(gateway))
        return options.UsageError(QStringLiteral("--gateway needs a dotted IPv4 address, not '%1'")
                                      .arg(QString::fromStdString(gateway)));
    double seconds = 3;
    if (options.Has(QStringLiteral("seconds")) &&
        !ParseCliSeconds(options.Value(QStringLiteral("seconds")), seconds))
        return options.UsageError(QStringLiteral("--seconds needs a number from 0 to 86400"));

    int exitCode = kExitDone;
    search.seconds = seconds;
    search.finished = [&](TSession& session) {
        std::vector<TDevInfo> cameras;
        std::vector<std::string> inUse;
        for (const TDevInfo& record : ListedCameras(session.List())) {
            inUse.push_back(record.ip);
            if (const std::optional<std::string> why = session.ApplyFlow().WhyNoCommand(record))
                std::fprintf(stderr, "zadari-cli: plan: skipped %s (%s): %s\n", record.mac.c_str(),
                             record.ip.c_str(), why->c_str());
            else
                cameras.push_back(record);
        }
        std::vector<TPlanProblem> problems;
        const std::vector<TPlanEntry> entries =
            PlanRange(cameras, *first, *last, mask, gateway, inUse, &problems);
        PrintProblems(problems);
        if (!WriteOrPrint(options.Value(QStringLiteral("output")), WritePlanCsv(entries)) ||
            !problems.empty())
            exitCode = kExitFailed;
    };
    RunCliSearch(search);
    return exitCode;
}

const TCliRegistration registration{kPlan};

} // namespace

bool IsApplyPlan(const QStringList& args) {
    for (const QString& arg : args) {
        if (arg == QLatin1String("--plan") || arg.startsWith(QLatin1String("--plan=")))
            return true;
    }
    return false;
}

int RunApplyPlan(const QStringList& args) {
    TCliParser options(kApplyPlan);
    options.AddValue(QStringLiteral("plan"), QStringLiteral("FILE"),
                     QStringLiteral("The plan: a header line, then mac,ip,mask,gateway,name per "
                                    "camera; an empty field keeps the camera's value."));
    options.AddFlag(
        QStringLiteral("dry-run"),
        QStringLiteral("Checks the plan and prints what would be sent; sends nothing."));
    options.AddValue(QStringLiteral("report"), QStringLiteral("FILE"),
                     QStringLiteral("Writes the report (a JSON array: mac, ip, status, detail)."));
    options.AddValue(QStringLiteral("verify-seconds"), QStringLiteral("S"),
                     QStringLiteral("How long each camera has to answer at its new address "
                                    "(default 20)."));
    options.AddValue(QStringLiteral("user"), QStringLiteral("U"),
                     QStringLiteral("The cameras' account user name (default: each family's "
                                    "preset)."));
    AddPasswordOptions(options, QStringLiteral("PW"),
                       QStringLiteral("The cameras' account password (default: each family's "
                                      "preset; also from ZADARI_PASSWORD)."));
    options.AddValue(QStringLiteral("seconds"), QStringLiteral("S"),
                     QStringLiteral("Searches for the plan's cameras for at most S seconds "
                                    "(default 3)."));
    AddInterfaceOption(options);
    if (const std::optional<int> exit = options.Parse(args))
        return *exit;
    TCliSearchSetup search;
    search.withSdk = true;
    if (const std::optional<int> exit = ReadInterfaceOption(options, search.onlyInterface))
        return *exit;
    std::optional<QString> givenPassword;
    if (const std::optional<int> exit = ReadPassword(options, givenPassword))
        return *exit;
    double seconds = 3;
    if (options.Has(QStringLiteral("seconds")) &&
        !ParseCliSeconds(options.Value(QStringLiteral("seconds")), seconds))
        return options.UsageError(QStringLiteral("--seconds needs a number from 0 to 86400"));
    double verifySeconds = 20;
    if (options.Has(QStringLiteral("verify-seconds")) &&
        !ParseCliSeconds(options.Value(QStringLiteral("verify-seconds")), verifySeconds))
        return options.UsageError(
            QStringLiteral("--verify-seconds needs a number from 0 to 86400"));

    QFile file(options.Value(QStringLiteral("plan")));
    if (!file.open(QIODevice::ReadOnly) || file.size() > 16 * 1024 * 1024) {
        std::fprintf(stderr, "zadari-cli apply: cannot read the plan %s: %s\n",
                     file.fileName().toLocal8Bit().constData(),
                     file.errorString().toLocal8Bit().constData());
        return kExitUsage;
    }
    const QByteArray bytes = file.readAll();
    const TPlanReading reading = ReadPlanCsv(std::string_view(bytes.constData(), bytes.size()));
    if (!reading.problems.empty()) {
        PrintProblems(reading.problems);
        return kExitUsage;
    }
    std::set<std::string> wanted;
    for (const TPlanEntry& entry : reading.entries)
        wanted.insert(entry.mac);

    std::optional<std::string> user;
    std::optional<std::string> password;
    if (options.Has(QStringLiteral("user")))
        user = options.Value(QStringLiteral("user")).toStdString();
    if (givenPassword)
        password = givenPassword->toStdString();
    TPresetCredentials credentials(user, password);

    int exitCode = kExitFailed;
    search.seconds = seconds;
    search.credentials = &credentials;
    search.done = [&](TSession& session) {
        std::size_t listed = 0;
        for (const TDevInfo& record : ListedCameras(session.List()))
            listed += wanted.count(NormalisedMac(record.mac));
        return listed >= wanted.size();
    };
    search.finished = [&](TSession& session) {
        const TCheckedPlan plan = CheckPlanAgainst(session, reading.entries);
        if (!plan.Valid()) {
            PrintProblems(plan.problems);
            exitCode = kExitUsage;
            return;
        }
        if (options.Has(QStringLiteral("dry-run"))) {
            for (const TPlanStep& step : plan.steps)
                std::printf("would set %s (family %d) from %s to %s mask %s gateway %s\n",
                            step.listed.mac.c_str(), step.listed.family, step.listed.ip.c_str(),
                            step.NewIp().c_str(), step.NewMask().c_str(),
                            step.NewGateway().c_str());
            for (const TPlanEntry& entry : plan.notFound)
                std::printf("not found: %s\n", entry.mac.c_str());
            exitCode = plan.notFound.empty() ? kExitDone : kExitFailed;
            return;
        }
        TFleetRun run(session, credentials, plan,
                      static_cast<int>(std::llround(verifySeconds * 1000.0)));
        QEventLoop loop;
        QObject::connect(&run, &TFleetRun::Finished, &loop, &QEventLoop::quit);
        QObject::connect(&run, &TFleetRun::CameraChanged, &loop, [&run](int index) {
            const TFleetCamera& camera = run.Cameras()[static_cast<std::size_t>(index)];
            std::fprintf(stderr, "%s %s: %s %s\n", FleetStatusWord(camera.status),
                         camera.entry.mac.c_str(), camera.newIp.c_str(), camera.detail.c_str());
        });
        run.Start();
        if (!run.Done())
            loop.exec();
        for (const TFleetCamera& camera : run.Cameras())
            std::printf("%s %s %s\n", FleetStatusWord(camera.status), camera.entry.mac.c_str(),
                        camera.newIp.c_str());
        std::fflush(stdout);
        const bool written =
            !options.Has(QStringLiteral("report")) ||
            WriteOrPrint(options.Value(QStringLiteral("report")), run.ReportJson());
        exitCode = run.AllVerified() && written ? kExitDone : kExitFailed;
    };
    RunCliSearch(search);
    return exitCode;
}

} // namespace zadari
