// zadari-cli: the discovery engine without a window. Each command registers itself in its own
// source file (CliCommand.h); this only picks the command by its name.
#include "cli/CliCommand.h"

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

void PrintUsage(std::FILE* to) {
    std::fprintf(to, "usage: zadari-cli <command> [options]\ncommands:\n");
    for (const zadari::TCliCommand& command : SortedCommands())
        std::fprintf(to, "  zadari-cli %s\n", command.usage);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zadari-cli"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        PrintUsage(stderr);
        return zadari::kExitUsage;
    }
    const QString& name = args[1];
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        PrintUsage(stdout);
        return zadari::kExitDone;
    }
    for (const zadari::TCliCommand& command : SortedCommands()) {
        if (name != QLatin1String(command.name))
            continue;
        const QStringList rest = args.mid(2);
        if (rest.size() == 1 &&
            (rest[0] == QLatin1String("--help") || rest[0] == QLatin1String("-h"))) {
            std::printf("usage: zadari-cli %s\n", command.usage);
            return zadari::kExitDone;
        }
        return command.run(rest);
    }
    std::fprintf(stderr, "zadari-cli: unknown command %s\n", name.toLocal8Bit().constData());
    PrintUsage(stderr);
    return zadari::kExitUsage;
}
