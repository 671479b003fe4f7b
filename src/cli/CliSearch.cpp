// zadari-cli search: the list after S seconds of searching, as a table, JSON or the export
// file's lines; and the search loop the other commands share.
#include "app/DevInfoJson.h"
#include "app/DeviceList.h"
#include "app/DeviceText.h"
#include "app/SearchEngine.h"
#include "app/Session.h"
#include "app/StopSignals.h"
#include "cli/CliCommand.h"
#include "net/SearchEndpoints.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zadari {

bool RunCliSearch(const TCliSearchSetup& setup) {
    // The vendor library, when it sits in 402/ beside the program, takes part in searches that
    // include the SDK search.
    TSessionSetup parts =
        TSessionSetup::ForProgram(QCoreApplication::applicationDirPath(), setup.onlyInterface);
    if (!setup.withSdk)
        parts.vendorLibraryDir.clear();
    TPresetCredentials presets;
    TSession session(std::move(parts), setup.credentials ? *setup.credentials : presets);
    TSearchEngine& engine = session.Engine();
    TDeviceList& list = session.List();
    if (setup.prepare)
        setup.prepare(session);

    QEventLoop loop;
    bool satisfied = false;
    auto check = [&] {
        if (!satisfied && setup.done && setup.done(session)) {
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
    std::optional<TStopSignals> stop;
    if (setup.stopOnSignal) {
        stop.emplace();
        QObject::connect(&*stop, &TStopSignals::Arrived, &loop, &QEventLoop::quit);
    }

    if (!session.Start())
        std::fprintf(stderr, "zadari-cli: warning: the multicast sockets could not be opened; "
                             "HDS devices will not be found\n");
    if (setup.seconds)
        deadline.start(static_cast<int>(std::llround(*setup.seconds * 1000.0)));
    if (setup.withSdk)
        engine.Find();
    else
        engine.RunFirstCycle();
    check();
    if (!satisfied)
        loop.exec();
    if (setup.finished)
        setup.finished(session);
    session.Stop();
    return satisfied;
}

namespace {

int RunSearch(const QStringList& args);

const TCliCommand kSearch{
    "search",
    "search [--seconds S] [--format table|json|tsv] [--output FILE] [--watch] [--stats] [--sdk] "
    "[--interface NAME] [--trace]",
    "Searches the local network as the window's Find does and prints the devices found; with "
    "--watch it goes on searching and prints every change of the list as it happens.",
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

/// Follows the list while a watching search runs: one JSON line on standard output for every
/// row that is added, changed or removed, flushed at once so a reader sees it as it happens.
class TListWatch {
public:
    explicit TListWatch(TDeviceList& list) : list_(list) {
        QObject::connect(&list, &QAbstractItemModel::rowsInserted, &context_,
                         [this](const QModelIndex&, int first, int last) {
                             for (int row = first; row <= last; ++row)
                                 Added(list_.Row(row).record);
                         });
        QObject::connect(&list, &TDeviceList::RecordReplaced, &context_,
                         [this](const QString& mac) { Changed(mac.toLatin1().toStdString()); });
        QObject::connect(&list, &QAbstractItemModel::rowsRemoved, &context_,
                         [this] { RemovedRows(); });
    }

private:
    static void Print(const std::string& line) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    void Added(const TDevInfo& record) {
        rows_[record.mac] = record;
        Print(DeviceEventJson(TDeviceEvent::kAdded, record));
    }

    void Changed(const std::string& mac) {
        const TDevInfo* now = list_.FindRowByMac(mac);
        const auto known = rows_.find(mac);
        if (now == nullptr || known == rows_.end())
            return;
        Print(DeviceEventJson(TDeviceEvent::kChanged, *now, &known->second));
        known->second = *now;
    }

    /// The rows that left are the known ones the list no longer has (however many went in one
    /// removal, and in whatever order the list took them out).
    void RemovedRows() {
        for (auto it = rows_.begin(); it != rows_.end();) {
            if (list_.RowOfMac(it->first) >= 0) {
                ++it;
                continue;
            }
            Print(DeviceEventJson(TDeviceEvent::kRemoved, it->second));
            it = rows_.erase(it);
        }
    }

    TDeviceList& list_;
    QObject context_; ///< the connections end with the watch
    std::map<std::string, TDevInfo> rows_;
};

int RunSearch(const QStringList& args) {
    TCliParser options(kSearch);
    options.AddValue(QStringLiteral("seconds"), QStringLiteral("S"),
                     QStringLiteral("Searches for S seconds, 0 to 86400 (default 3; with --watch "
                                    "until interrupted)."));
    options.AddValue(QStringLiteral("format"), QStringLiteral("table|json|tsv"),
                     QStringLiteral("Prints the devices as a table (default), as a JSON array or "
                                    "as the export file's tab-separated lines."));
    options.AddValue(QStringLiteral("output"), QStringLiteral("FILE"),
                     QStringLiteral("Also writes the list to FILE as the window's Export does."));
    options.AddFlag(QStringLiteral("watch"),
                    QStringLiteral("Searches until SIGINT or SIGTERM (exit 0) and prints one JSON "
                                   "object per line for every change of the list: "
                                   "{\"event\": \"added\"|\"changed\"|\"removed\", ...} with the "
                                   "row's fields under \"device\"; \"changed\" also names the "
                                   "fields that changed and gives their values before under "
                                   "\"previous\"."));
    options.AddFlag(QStringLiteral("stats"),
                    QStringLiteral("Prints the search's counters on standard error at the end."));
    options.AddFlag(QStringLiteral("sdk"),
                    QStringLiteral("Also searches with the vendor library (folder 402 beside the "
                                   "program), as the window's Find does."));
    AddInterfaceOption(options);
    options.AddFlag(QStringLiteral("trace"),
                    QStringLiteral("After every one-second tick, prints each row's MAC and age on "
                                   "standard error."));
    if (const std::optional<int> exit = options.Parse(args))
        return *exit;
    const bool watch = options.Has(QStringLiteral("watch"));
    TCliSearchSetup search;
    search.seconds = watch ? std::nullopt : std::optional<double>(3.0);
    search.stopOnSignal = watch;
    double seconds = 3;
    if (options.Has(QStringLiteral("seconds"))) {
        if (!ParseCliSeconds(options.Value(QStringLiteral("seconds")), seconds))
            return options.UsageError(
                QStringLiteral("--seconds needs a number from 0 to 86400, not '%1'")
                    .arg(options.Value(QStringLiteral("seconds"))));
        search.seconds = seconds;
    }
    const QString format = options.Value(QStringLiteral("format"), QStringLiteral("table"));
    if (format != QLatin1String("table") && format != QLatin1String("json") &&
        format != QLatin1String("tsv"))
        return options.UsageError(
            QStringLiteral("--format must be table, json or tsv, not '%1'").arg(format));
    const bool hasOutput = options.Has(QStringLiteral("output"));
    const QString output = options.Value(QStringLiteral("output"));
    if (hasOutput && output.isEmpty())
        return options.UsageError(QStringLiteral("--output needs a file name"));
    if (watch && (options.Has(QStringLiteral("format")) || hasOutput))
        return options.UsageError(
            QStringLiteral("--watch prints JSON lines; --format and --output do not go with it"));
    if (const std::optional<int> exit = ReadInterfaceOption(options, search.onlyInterface))
        return *exit;
    search.withSdk = options.Has(QStringLiteral("sdk"));
    if (search.withSdk && !search.onlyInterface.isEmpty())
        return options.UsageError(QStringLiteral(
            "--sdk does not go with --interface: the vendor library picks its adapters itself"));

    int exitCode = kExitDone;
    const bool trace = options.Has(QStringLiteral("trace"));
    std::optional<TListWatch> watching;
    search.prepare = [&](TSession& session) {
        if (trace) {
            TSearchEngine& engine = session.Engine();
            QObject::connect(&engine, &TSearchEngine::Ticked, &engine,
                             [&engine](int tick) { PrintTrace(engine, tick); });
        }
        if (watch)
            watching.emplace(session.List());
    };
    search.finished = [&](TSession& session) {
        const TSearchEngine& engine = session.Engine();
        const TDeviceList& list = session.List();
        if (watch) {
            // The session clears its list when it stops: that is no change to report.
            watching.reset();
        } else {
            if (format == QLatin1String("json"))
                WriteOut(JsonText(list));
            else if (format == QLatin1String("tsv"))
                WriteOut(list.ExportText());
            else
                WriteOut(TableText(list));
            std::fflush(stdout);
        }
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
    };
    RunCliSearch(search);
    return exitCode;
}

const TCliRegistration registration{kSearch};

} // namespace
} // namespace zadari
