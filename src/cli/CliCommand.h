#pragma once
// The commands of zadari-cli. Each command lives in its own source file of src/cli and registers
// itself there with a static TCliRegistration, so adding one needs no edit of main.cpp:
//
//     static int RunApply(const QStringList& args);
//     static const zadari::TCliRegistration registration{
//         {"apply", "apply --mac MAC [--name N] ...", &RunApply}};
//
// `args` are the words after the command name. A command returns the process exit code
// (0 done, 1 not applied or failed, 2 usage or validation error, 3 device not found).
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace zadari {

class ICredentialsProvider;
class TSearchEngine;
class TSession;

struct TCliCommand {
    const char* name;
    const char* usage; ///< one line, without the program name
    int (*run)(const QStringList& args);
};

class TCliRegistration {
public:
    explicit TCliRegistration(const TCliCommand& command) { Commands().push_back(command); }

    /// Every registered command (registration order differs between builds; sort to print).
    static std::vector<TCliCommand>& Commands() {
        // A function-local list is ready whatever order the static registrations run in.
        static std::vector<TCliCommand> commands;
        return commands;
    }
};

/// Exit codes shared by the commands.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNotFound = 3;

/// A minimal option reader: "--name value" for the value options, "--name" for the flags, each
/// at most once; anything else is a usage error described in one line.
class TCliOptions {
public:
    TCliOptions(std::set<QString> valueOptions, std::set<QString> flagOptions)
        : valueOptions_(std::move(valueOptions)), flagOptions_(std::move(flagOptions)) {}

    /// False with Error() set on an unknown option, a missing value or a repeated option.
    bool Parse(const QStringList& args) {
        for (qsizetype i = 0; i < args.size(); ++i) {
            const QString& word = args[i];
            if (values_.count(word) || flags_.count(word))
                return Fail(QStringLiteral("option %1 given twice").arg(word));
            if (valueOptions_.count(word)) {
                if (i + 1 >= args.size())
                    return Fail(QStringLiteral("option %1 needs a value").arg(word));
                values_[word] = args[++i];
            } else if (flagOptions_.count(word)) {
                flags_.insert(word);
            } else if (word.startsWith(QLatin1String("-"))) {
                return Fail(QStringLiteral("unknown option %1").arg(word));
            } else {
                return Fail(QStringLiteral("unexpected argument %1").arg(word));
            }
        }
        return true;
    }

    bool Has(const QString& option) const {
        return values_.count(option) != 0 || flags_.count(option) != 0;
    }
    QString Value(const QString& option, const QString& fallback = QString()) const {
        const auto it = values_.find(option);
        return it == values_.end() ? fallback : it->second;
    }
    const QString& Error() const { return error_; }

private:
    bool Fail(const QString& message) {
        error_ = message;
        return false;
    }

    std::set<QString> valueOptions_;
    std::set<QString> flagOptions_;
    std::map<QString, QString> values_;
    std::set<QString> flags_;
    QString error_;
};

/// Prints "zadari-cli <command>: <message>" on standard error and returns kExitUsage.
int CliUsageError(const char* command, const QString& message);

/// Reads "--seconds": a finite number >= 0 (fractions allowed). False for anything else.
bool ParseCliSeconds(const QString& text, double& seconds);

/// Runs a search as the window does, in a session of the program's own parts (sockets, the
/// family-9 client, the vendor library when `withSdk`): the first cycle at once (with the SDK
/// search when `withSdk`), then the timer's cycle and age pass every second, until `seconds`
/// have passed or `done` (asked after every merge that changed the list and every tick) returns
/// true. `prepare` may connect to the engine before it starts; `credentials` answers the apply
/// flow (null: the presets). Returns false when `done` never held. The session is stopped (and
/// its list cleared) after `finished` has seen it.
bool RunCliSearch(double seconds, bool withSdk, const std::function<void(TSearchEngine&)>& prepare,
                  const std::function<bool(TSearchEngine&)>& done,
                  const std::function<void(TSession&)>& finished,
                  ICredentialsProvider* credentials = nullptr);

} // namespace zadari
