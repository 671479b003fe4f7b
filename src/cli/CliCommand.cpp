#include "cli/CliCommand.h"

#include "net/Adapters.h"

#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstdlib>

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

void TCliParser::AddRepeatable(const QString& name, const QString& valueName,
                               const QString& description) {
    AddValue(name, valueName, description);
    repeatable_.append(name);
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
        if (seen.contains(canonical) && !repeatable_.contains(canonical))
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

void AddInterfaceOption(TCliParser& options) {
    options.AddValue(QStringLiteral("interface"), QStringLiteral("NAME"),
                     QStringLiteral("Sends only through this adapter (a name that 'zadari-cli "
                                    "adapters' lists) and hears only the devices behind it; "
                                    "without it every adapter is used. The vendor library, "
                                    "which picks its adapters itself, is then left out."));
}

std::optional<int> ReadInterfaceOption(const TCliParser& options, QString& name) {
    name.clear();
    if (!options.Has(QStringLiteral("interface")))
        return std::nullopt;
    const QString wanted = options.Value(QStringLiteral("interface"));
    TAdapterList adapters;
    ListAdapters(adapters);
    QStringList names;
    for (const TNET_CARD& adapter : adapters)
        names.append(adapter.name);
    if (!wanted.isEmpty() && names.contains(wanted)) {
        name = wanted;
        return std::nullopt;
    }
    if (names.isEmpty())
        return options.UsageError(
            QStringLiteral("unknown adapter '%1'; this computer has no adapter with an IPv4 "
                           "address")
                .arg(wanted));
    return options.UsageError(QStringLiteral("unknown adapter '%1'; the adapters are: %2")
                                  .arg(wanted, names.join(QStringLiteral(", "))));
}

void AddPasswordOptions(TCliParser& options, const QString& valueName, const QString& description) {
    options.AddValue(QStringLiteral("password"), valueName,
                     description +
                         QStringLiteral(" Other users can read it in the process list: "
                                        "--password-file or ZADARI_PASSWORD keep it out."));
    options.AddValue(QStringLiteral("password-file"), QStringLiteral("FILE"),
                     QStringLiteral("Reads the password from the first line of FILE ('-': from "
                                    "standard input). Without --password and --password-file "
                                    "the environment variable ZADARI_PASSWORD is used when set."));
}

namespace {

/// The first line of the file (standard input for "-") without its line end; false with the
/// reason when it cannot be read.
bool ReadFirstLine(const QString& path, QString& line, QString& error) {
    QByteArray bytes;
    if (path == QLatin1String("-")) {
        for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
            bytes.append(static_cast<char>(c));
        if (std::ferror(stdin)) {
            error = QStringLiteral("standard input cannot be read");
            return false;
        }
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            error = file.errorString();
            return false;
        }
        bytes = file.readLine();
        if (bytes.endsWith('\n'))
            bytes.chop(1);
    }
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    line = QString::fromUtf8(bytes);
    return true;
}

} // namespace

std::optional<int> ReadPassword(const TCliParser& options, std::optional<QString>& password) {
    password.reset();
    const bool given = options.Has(QStringLiteral("password"));
    const bool fromFile = options.Has(QStringLiteral("password-file"));
    if (given && fromFile)
        return options.UsageError(
            QStringLiteral("give the password once: --password or --password-file"));
    if (given) {
        password = options.Value(QStringLiteral("password"));
    } else if (fromFile) {
        const QString path = options.Value(QStringLiteral("password-file"));
        QString line;
        QString error;
        if (path.isEmpty() || !ReadFirstLine(path, line, error))
            return options.UsageError(
                QStringLiteral("cannot read the password from '%1': %2")
                    .arg(path, path.isEmpty() ? QStringLiteral("no file named") : error));
        password = line;
    } else if (const char* environment = std::getenv("ZADARI_PASSWORD")) {
        password = QString::fromLocal8Bit(environment);
    }
    return std::nullopt;
}

} // namespace zadari
