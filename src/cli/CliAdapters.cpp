// zadari-cli adapters: the computer's own adapters with their IPv4 settings, as the window's
// "Current Computer" group shows them. Reading them sends nothing on the network.
#include "cli/CliCommand.h"
#include "net/Adapters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <cstdio>

namespace zadari {
namespace {

QString NameServersOf(const TNET_CARD& card) {
    if (card.dns2.isEmpty())
        return card.dns1;
    return card.dns1 + QLatin1Char(',') + card.dns2;
}

void PrintTable(const TAdapterList& list) {
    constexpr std::size_t kColumns = 6;
    using TRow = std::array<QString, kColumns>;
    std::vector<TRow> rows;
    rows.push_back({QStringLiteral("NAME"), QStringLiteral("DESCRIPTION"), QStringLiteral("IP"),
                    QStringLiteral("MASK"), QStringLiteral("GATEWAY"), QStringLiteral("DNS")});
    for (const TNET_CARD& card : list)
        rows.push_back(
            {card.name, card.description, card.ip, card.mask, card.gateway, NameServersOf(card)});
    std::array<qsizetype, kColumns> widths{};
    for (const TRow& row : rows) {
        for (std::size_t c = 0; c < kColumns; ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    for (const TRow& row : rows) {
        QString line;
        for (std::size_t c = 0; c < kColumns; ++c) {
            const bool last = c + 1 == kColumns;
            line += last ? row[c] : row[c].leftJustified(widths[c] + 2);
        }
        std::printf("%s\n", line.trimmed().toUtf8().constData());
    }
}

void PrintJson(const TAdapterList& list) {
    QJsonArray adapters;
    for (const TNET_CARD& card : list) {
        adapters.append(QJsonObject{{QStringLiteral("name"), card.name},
                                    {QStringLiteral("description"), card.description},
                                    {QStringLiteral("ip"), card.ip},
                                    {QStringLiteral("mask"), card.mask},
                                    {QStringLiteral("gateway"), card.gateway},
                                    {QStringLiteral("dns1"), card.dns1},
                                    {QStringLiteral("dns2"), card.dns2}});
    }
    std::printf("%s", QJsonDocument(adapters).toJson(QJsonDocument::Indented).constData());
}

int RunAdapters(const QStringList& args);

const TCliCommand kAdapters{
    "adapters", "adapters [--json]",
    "Lists this computer's network adapters with their IPv4 settings, as the window's Current "
    "Computer group shows them. Nothing is sent on the network.",
    &RunAdapters};

int RunAdapters(const QStringList& args) {
    TCliParser options(kAdapters);
    options.AddFlag(QStringLiteral("json"),
                    QStringLiteral("Prints a JSON array instead of a table."));
    if (const std::optional<int> exit = options.Parse(args))
        return *exit;
    TAdapterList list;
    ListAdapters(list);
    if (options.Has(QStringLiteral("json")))
        PrintJson(list);
    else
        PrintTable(list);
    std::fflush(stdout);
    return kExitDone;
}

const TCliRegistration registration{kAdapters};

} // namespace
} // namespace zadari
