// zadari-cli search: the list after S seconds of searching, as a table, JSON or the export
// file's lines; and the search loop the other commands share.
#include "app/DevInfoJson.h"
#include "app/DeviceList.h"
#include "app/DeviceText.h"
#include "app/SearchEngine.h"
#include "app/Session.h"
#include "cli/CliCommand.h"
#include "net/SearchEndpoints.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace zadari {

bool RunCliSearch(double seconds, bool withSdk, const std::function<void(TSearchEngine&)>& prepare,
                  const std::function<bool(TSearchEngine&)>& done,
                  const std::function<void(TSession&)>& finished,
                  ICredentialsProvider* credentials) {
    // The vendor library, when it sits in 402/ beside the program, takes part in searches that
    // include the SDK search.
    TSessionSetup setup = TSessionSetup::ForProgram(QCoreApplication::applicationDirPath());
    if (!withSdk)
        setup.vendorLibraryDir.clear();
    TPresetCredentials presets;
    TSession session(std::move(setup), credentials ? *credentials : presets);
    TSearchEngine& engine = session.Engine();
    TDeviceList& list = session.List();
    if (prepare)
        prepare(engine);

    QEventLoop loop;
    bool satisfied = false;
    auto check = [&] {
        if (!satisfied && done && done(engine)) {
            satisfied = true;
            loop.quit();
        }
    };
    QObject::connect(&engine, &TSearchEngine::RowAdded, &loop, check);
    QObject::connect(&engine, &TSearchEngine::Ticked, &loop, check);
    QObject::connect(&list, &TDeviceList::RecordReplaced, &loop, check);
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);

    if (!session.Start())
        std::fprintf(stderr, "zadari-cli: warning: the multicast sockets could not be opened; "
                             "HDS devices will not be found\n");
    deadline.start(static_cast<int>(std::llround(seconds * 1000.0)));
    if (withSdk)
        engine.Find();
    else
        engine.RunFirstCycle();
    check();
    if (!satisfied)
        loop.exec();
    if (finished)
        finished(session);
    session.Stop();
    return satisfied;
}

namespace {

int RunSearch(const QStringList& args);

const TCliCommand kSearch{
    "search",
    "search [--seconds S] [--format table|json|tsv] [--output FILE] [--stats] [--sdk] [--trace]",
    "Searches the local network as the window's Find does and prints the devices found.",
    &RunSearch};

void WriteOut(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
}

std::string TableText(const TDeviceList& list) {
    std::vector<std::vector<QString>> cells;
    cells.push_back({QStringLiteral("Mode"), QStringLiteral("Name"), QStringLiteral("IP"),
                     QStringLiteral("Port"), QStringLiteral("MAC"), QStringLiteral("Version")});
    for (int i = 0; i < list.RowCount(); ++i) {
        const TDeviceList::TRow& row = list.Row(i);
        cells.push_back({DecodeDeviceText(row.caption), DecodeDeviceText(row.text1),
                         DecodeDeviceText(row.text2), DecodeDeviceText(row.text3),
                         DecodeDeviceText(row.record.mac), DecodeDeviceText(row.record.version)});
    }
    std::vector<qsizetype> widths(cells.front().size(), 0);
    for (const auto& line : cells) {
        for (std::size_t c = 0; c < line.size(); ++c)
            widths[c] = std::max(widths[c], line[c].size());
    }
    std::string out;
    for (const auto& line : cells) {
        QString text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            if (c + 1 < line.size())
                text += line[c].leftJustified(widths[c]) + QStringLiteral("  ");
            else
                text += line[c];
        }
        out += text.toStdString();
        out += '\n';
    }
    return out;
}

std::string JsonText(const TDeviceList& list) {
    std::vector<const TDevInfo*> records;
    for (int i = 0; i < list.RowCount(); ++i)
        records.push_back(&list.Row(i).record);
    return DevInfoListToJson(records);
}

long PeakRssKb() {
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return -1;
    return usage.ru_maxrss;
}

void PrintStats(const TSearchStats& stats, int rows) {
    std::fprintf(stderr, "received: %llu\n", static_cast<unsigned long long>(stats.received));
    std::fprintf(stderr, "dropped_too_long: %llu\n",
                 static_cast<unsigned long long>(stats.droppedTooLong));
    for (const auto& [family, count] : stats.matchedPerFamily)
        std::fprintf(stderr, "matched_family_%d: %llu\n", family,
                     static_cast<unsigned long long>(count));
    std::fprintf(stderr, "merged: %llu\n", static_cast<unsigned long long>(stats.merged));
    std::fprintf(stderr, "rows: %d\n", rows);
    std::fprintf(stderr, "max_tick_lateness_ms: %lld\n",
                 static_cast<long long>(stats.maxTickLatenessMs));
    std::fprintf(stderr, "ip_echoes: %llu\n", static_cast<unsigned long long>(stats.ipEchoes));
    std::fprintf(stderr, "cycles: %llu\n", static_cast<unsigned long long>(stats.cycles));
    std::fprintf(stderr, "ticks: %llu\n", static_cast<unsigned long long>(stats.ticks));
    std::fprintf(stderr, "step_failures: %llu\n",
                 static_cast<unsigned long long>(stats.stepFailures));
    std::fprintf(stderr, "last_row_added_ms: %lld\n", static_cast<long long>(stats.lastRowAddedMs));
    std::fprintf(stderr, "peak_rss_kb: %ld\n", PeakRssKb());
}

/// After every tick: "tick N rows R" and each row's MAC and age, for tests that follow ageing.
void PrintTrace(TSearchEngine& engine, int tick) {
    const TDeviceList& list = engine.List();
    std::string line = "tick " + std::to_string(tick) + " rows " + std::to_string(list.RowCount());
    for (int i = 0; i < list.RowCount(); ++i) {
        const TDevInfo& record = list.Row(i).record;
        line += " " + DecodeDeviceText(record.mac).toStdString() + "=" + std::to_string(record.age);
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

int RunSearch(const QStringList& args) {
    TCliParser options(kSearch);
    options.AddValue(QStringLiteral("seconds"), QStringLiteral("S"),
                     QStringLiteral("Searches for S seconds, 0 to 86400 (default 3)."));
    options.AddValue(QStringLiteral("format"), QStringLiteral("table|json|tsv"),
                     QStringLiteral("Prints the devices as a table (default), as a JSON array or "
                                    "as the export file's tab-separated lines."));
    options.AddValue(QStringLiteral("output"), QStringLiteral("FILE"),
                     QStringLiteral("Also writes the list to FILE as the window's Export does."));
    options.AddFlag(QStringLiteral("stats"),
                    QStringLiteral("Prints the search's counters on standard error at the end."));
    options.AddFlag(QStringLiteral("sdk"),
                    QStringLiteral("Also searches with the vendor library (folder 402 beside the "
                                   "program), as the window's Find does."));
    options.AddFlag(QStringLiteral("trace"),
                    QStringLiteral("After every one-second tick, prints each row's MAC and age on "
                                   "standard error."));
    if (const std::optional<int> exit = options.Parse(args))
        return *exit;
    double seconds = 3;
    if (options.Has(QStringLiteral("seconds")) &&
        !ParseCliSeconds(options.Value(QStringLiteral("seconds")), seconds))
        return options.UsageError(
            QStringLiteral("--seconds needs a number from 0 to 86400, not '%1'")
                .arg(options.Value(QStringLiteral("seconds"))));
    const QString format = options.Value(QStringLiteral("format"), QStringLiteral("table"));
    if (format != QLatin1String("table") && format != QLatin1String("json") &&
        format != QLatin1String("tsv"))
        return options.UsageError(
            QStringLiteral("--format must be table, json or tsv, not '%1'").arg(format));
    const bool hasOutput = options.Has(QStringLiteral("output"));
    const QString output = options.Value(QStringLiteral("output"));
    if (hasOutput && output.isEmpty())
        return options.UsageError(QStringLiteral("--output needs a file name"));

    int exitCode = kExitDone;
    std::function<void(TSearchEngine&)> prepare;
    if (options.Has(QStringLiteral("trace"))) {
        prepare = [](TSearchEngine& engine) {
            QObject::connect(&engine, &TSearchEngine::Ticked, &engine,
                             [&engine](int tick) { PrintTrace(engine, tick); });
        };
    }
    RunCliSearch(
        seconds, options.Has(QStringLiteral("sdk")), prepare, nullptr, [&](TSession& session) {
            const TSearchEngine& engine = session.Engine();
            const TDeviceList& list = session.List();
            if (format == QLatin1String("json"))
                WriteOut(JsonText(list));
            else if (format == QLatin1String("tsv"))
                WriteOut(list.ExportText());
            else
                WriteOut(TableText(list));
            std::fflush(stdout);
            if (hasOutput) {
                QString error;
                if (!list.ExportToFile(output, &error)) {
                    std::fprintf(stderr, "zadari-cli search: cannot write %s: %s\n",
                                 output.toLocal8Bit().constData(), error.toLocal8Bit().constData());
                    exitCode = kExitFailed;
                }
            }
            if (options.Has(QStringLiteral("stats")))
                PrintStats(engine.Stats(), engine.Rows());
        });
    return exitCode;
}

const TCliRegistration registration{kSearch};

} // namespace
} // namespace zadari
