// zadari-cli: the discovery engine without a window. Each command registers itself in its own
// source file (CliCommand.h); this only picks the command by its name.
#include "ZadariVersion.h"
#include "cli/CliCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::vector<zadari::TCliCommand> SortedCommands() {
    std::vector<zadari::TCliCommand> commands = zadari::TCliRegistration::Commands();
    std::sort(commands.begin(), commands.end(),
              [](const auto& a, const auto& b) { return std::strcmp(a.name, b.name) < 0; });
    return commands;
}

/// The commands' usage lines; with `full` also the options and exit codes (--help).
void PrintUsage(std::FILE* to, bool full) {
    std::fprintf(to, "usage: zadari-cli <command> [options]\n");
    if (full)
        std::fprintf(to, "       zadari-cli <command> --help\n"
                         "       zadari-cli --version\n"
                         "Finds IP cameras on the local network, lists them and changes their "
                         "network settings.\n\n");
    std::fprintf(to, "commands:\n");
    for (const zadari::TCliCommand& command : SortedCommands())
        std::fprintf(to, "  zadari-cli %s\n", command.usage);
    if (!full)
        return;
    std::fprintf(to, "\noptions:\n"
                     "  -h, --help     Shows this help and exits.\n"
                     "  -v, --version  Shows the version and exits.\n"
                     "\nexit codes:\n"
                     "  0  done\n"
                     "  1  not applied, or failed\n"
                     "  2  usage or validation error\n"
                     "  3  device not found\n"
                     "\nenvironment:\n"
                     "  ZADARI_PASSWORD  the device account's password for apply and upgrade "
                     "when\n"
                     "                   neither --password nor --password-file is given\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zadari-cli"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(zadari::kVersion));

    // Only the options before the command are the program's; the rest belong to the command.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and exits."));
    parser.addOption(help);
    parser.addOption(version);
    const QStringList args = QCoreApplication::arguments();
    if (!parser.parse(args)) {
        const QStringList unknown = parser.unknownOptionNames();
        const QString problem =
            unknown.isEmpty()
                ? parser.errorText()
                : QStringLiteral("unknown option %1%2")
                      .arg(unknown.front().size() == 1 ? QLatin1String("-") : QLatin1String("--"),
                           unknown.front());
        std::fprintf(stderr, "zadari-cli: %s\n", problem.toLocal8Bit().constData());
        PrintUsage(stderr, false);
        return zadari::kExitUsage;
    }
    if (parser.isSet(version)) {
        std::printf("zadari-cli %s\n", zadari::kVersion);
        return zadari::kExitDone;
    }
    const QStringList words = parser.positionalArguments();
    if (parser.isSet(help) || (!words.isEmpty() && words[0] == QLatin1String("help"))) {
        // "help <command>" is "<command> --help".
        const QString about = words.size() > 1 ? words[1] : QString();
        for (const zadari::TCliCommand& command : SortedCommands()) {
            if (about == QLatin1String(command.name))
                return command.run({QStringLiteral("--help")});
        }
        if (!about.isEmpty()) {
            std::fprintf(stderr, "zadari-cli: unknown command %s\n",
                         about.toLocal8Bit().constData());
            PrintUsage(stderr, false);
            return zadari::kExitUsage;
        }
        PrintUsage(stdout, true);
        return zadari::kExitDone;
    }
    if (words.isEmpty()) {
        PrintUsage(stderr, false);
        return zadari::kExitUsage;
    }
    const QString& name = words[0];
    for (const zadari::TCliCommand& command : SortedCommands()) {
        if (name == QLatin1String(command.name))
            return command.run(words.mid(1));
    }
    std::fprintf(stderr, "zadari-cli: unknown command %s\n", name.toLocal8Bit().constData());
    PrintUsage(stderr, false);
    return zadari::kExitUsage;
}
