#include "cli/CliCommand.h"

#include <cmath>
#include <cstdio>

namespace zadari {

int CliUsageError(const char* command, const QString& message) {
    std::fprintf(stderr, "zadari-cli %s: %s\n", command, message.toLocal8Bit().constData());
    return kExitUsage;
}

bool ParseCliSeconds(const QString& text, double& seconds) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    // A day is far more than any search needs and keeps the timer's milliseconds in range.
    if (!ok || !std::isfinite(value) || value < 0 || value > 86400)
        return false;
    seconds = value;
    return true;
}

namespace {

/// The text in lines of at most 79 characters, broken between words.
QString Wrapped(const QString& text) {
    constexpr qsizetype kWidth = 79;
    QString out;
    qsizetype lineLength = 0;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (lineLength > 0 && lineLength + 1 + word.size() > kWidth) {
            out += QLatin1Char('\n');
            lineLength = 0;
        } else if (lineLength > 0) {
            out += QLatin1Char(' ');
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
    }
    return out;
}

} // namespace

TCliParser::TCliParser(const TCliCommand& command) : command_(command) {
    // "-name" reads as "--name", never as the flags n, a, m and e.
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser_.setApplicationDescription(Wrapped(QString::fromUtf8(command.summary)));
    parser_.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                         QStringLiteral("Shows this help and exits.")));
}

void TCliParser::AddValue(const QString& name, const QString& valueName,
                          const QString& description) {
    parser_.addOption(QCommandLineOption(name, description, valueName));
    valueOptions_.append(name);
}

void TCliParser::AddFlag(const QString& name, const QString& description) {
    parser_.addOption(QCommandLineOption(name, description));
}

QString TCliParser::HelpText() const {
    // Qt's own first line names the program by its path and not the command: ours replaces it.
    QString text = parser_.helpText();
    text = text.mid(text.indexOf(QLatin1Char('\n')) + 1);
    return QStringLiteral("usage: zadari-cli %1\n").arg(QString::fromUtf8(command_.usage)) + text;
}

int TCliParser::UsageError(const QString& message) const {
    return CliUsageError(command_.name, message);
}

std::optional<int> TCliParser::Parse(const QStringList& args) {
    // QCommandLineParser wants the program's name first.
    const bool parsed = parser_.parse(QStringList{QStringLiteral("zadari-cli")} + args);
    if (parsed && parser_.isSet(QStringLiteral("help"))) {
        std::printf("%s", HelpText().toLocal8Bit().constData());
        return kExitDone;
    }
    const QString error = parsed ? QString() : ParseError(args);
    if (!error.isEmpty())
        return UsageError(error);
    // A flag or value given twice is a mistake (which one was meant?), not a list.
    QStringList seen;
    for (const QString& name : parser_.optionNames()) {
        const QString canonical = name == QLatin1String("h") ? QStringLiteral("help") : name;
        if (seen.contains(canonical))
            return UsageError(QStringLiteral("option --%1 given twice").arg(canonical));
        seen.append(canonical);
    }
    if (!parser_.positionalArguments().isEmpty())
        return UsageError(
            QStringLiteral("unexpected argument %1").arg(parser_.positionalArguments().front()));
    return std::nullopt;
}

QString TCliParser::ParseError(const QStringList& args) const {
    // Qt's messages name the option without the dashes the user typed; these name the word.
    auto wordOf = [&](const QString& name) {
        for (const QString& word : args) {
            const QString bare = word.startsWith(QLatin1String("--")) ? word.mid(2) : word.mid(1);
            if (word.startsWith(QLatin1Char('-')) && bare.section(QLatin1Char('='), 0, 0) == name)
                return word;
        }
        return QStringLiteral("--") + name;
    };
    if (!parser_.unknownOptionNames().isEmpty())
        return QStringLiteral("unknown option %1")
            .arg(wordOf(parser_.unknownOptionNames().front()));
    // A value option as the last word is the only way a value can be missing.
    const QString last = args.isEmpty() ? QString() : args.back();
    for (const QString& name : valueOptions_) {
        if (last == QLatin1String("--") + name || last == QLatin1String("-") + name)
            return QStringLiteral("option %1 needs a value").arg(last);
    }
    for (const QString& word : args) {
        const qsizetype equals = word.indexOf(QLatin1Char('='));
        const QString option = word.left(equals);
        if (word.startsWith(QLatin1Char('-')) && equals > 0 &&
            !valueOptions_.contains(option.mid(option.startsWith(QLatin1String("--")) ? 2 : 1)))
            return QStringLiteral("option %1 takes no value").arg(option);
    }
    return parser_.errorText();
}

} // namespace zadari
