#pragma once
// The commands of zadari-cli. Each command lives in its own source file of src/cli and registers
// itself there with a static TCliRegistration, so adding one needs no edit of main.cpp:
//
//     static int RunApply(const QStringList& args);
//     static const zadari::TCliRegistration registration{
//         {"apply", "apply --mac MAC [--name N] ...", "Changes a device's settings.", &RunApply}};
//
// `args` are the words after the command name; the command reads them with a TCliParser. A
// command returns the process exit code (0 done, 1 not applied or failed, 2 usage or validation
// error, 3 device not found).
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace zadari {

class ICredentialsProvider;
class TSearchEngine;
class TSession;

struct TCliCommand {
    const char* name;
    const char* usage;   ///< one line, without the program name
    const char* summary; ///< what the command does, for its --help
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

/// The options of one command: "--name value" (or "--name=value") for the value options,
/// "--name" for the flags, each at most once unless added as repeatable, and --help (-h) for the
/// command's help. Options are
/// named without their dashes.
class TCliParser {
public:
    explicit TCliParser(const TCliCommand& command);

    void AddValue(const QString& name, const QString& valueName, const QString& description);
    /// A value option that may be given several times (Values() gives them in order).
    void AddRepeatable(const QString& name, const QString& valueName, const QString& description);
    void AddFlag(const QString& name, const QString& description);

    /// Reads the words after the command name. When the command ends here it returns its exit
    /// code: kExitDone after printing the help, kExitUsage after a one-line usage error.
    std::optional<int> Parse(const QStringList& args);

    bool Has(const QString& name) const { return parser_.isSet(name); }
    QString Value(const QString& name, const QString& fallback = QString()) const {
        return parser_.isSet(name) ? parser_.value(name) : fallback;
    }
    QStringList Values(const QString& name) const { return parser_.values(name); }
    /// The usage line, the summary and every option with its description.
    QString HelpText() const;
    /// Prints the message as the command's usage error and returns kExitUsage.
    int UsageError(const QString& message) const;

private:
    QString ParseError(const QStringList& args) const;

    const TCliCommand& command_;
    QCommandLineParser parser_;
    QStringList valueOptions_;
    QStringList repeatable_;
};

/// Prints "zadari-cli <command>: <message>" on standard error and returns kExitUsage.
int CliUsageError(const char* command, const QString& message);

/// Reads "--seconds": a finite number >= 0 (fractions allowed). False for anything else.
bool ParseCliSeconds(const QString& text, double& seconds);

/// What a command's search is made of.
struct TCliSearchSetup {
    /// How long it searches at most; none: until `done` holds or a stop signal comes.
    std::optional<double> seconds = 3.0;
    /// SIGINT and SIGTERM end the search as the deadline does (the session is stopped and
    /// `finished` called) instead of ending the process.
    bool stopOnSignal = false;
    /// Includes the vendor library's search (when the library sits in 402/ beside the program).
    bool withSdk = false;
    /// The one adapter to send on (--interface); empty for every adapter.
    QString onlyInterface;
    /// May connect to the session before it starts.
    std::function<void(TSession&)> prepare;
    /// Asked after every merge that changed the list and every tick; true ends the search.
    std::function<bool(TSession&)> done;
    /// Sees the session once the search ended, before it is stopped (and its list cleared).
    std::function<void(TSession&)> finished;
    /// Answers the apply flow (null: the presets).
    ICredentialsProvider* credentials = nullptr;
};

/// Runs a search as the window does, in a session of the program's own parts (sockets, the
/// family-9 client, the vendor library when `withSdk`): the first cycle at once (with the SDK
/// search when `withSdk`), then the timer's cycle and age pass every second, until the seconds
/// have passed, `done` holds or a stop signal came. Returns false when `done` never held.
bool RunCliSearch(const TCliSearchSetup& setup);

/// Adds --interface NAME, for the commands that send.
void AddInterfaceOption(TCliParser& options);
/// Reads --interface into `name` (empty when not given). An adapter this computer does not have
/// is a usage error naming the ones it has; the exit code is returned then.
std::optional<int> ReadInterfaceOption(const TCliParser& options, QString& name);

/// Adds --password VALUE_NAME and --password-file FILE.
void AddPasswordOptions(TCliParser& options, const QString& valueName, const QString& description);
/// The password from --password, --password-file (its first line; "-" reads standard input) or
/// the environment's ZADARI_PASSWORD, in that order; none when neither is given. Both options
/// at once, or a file that cannot be read, is a usage error; the exit code is returned then.
std::optional<int> ReadPassword(const TCliParser& options, std::optional<QString>& password);

} // namespace zadari
