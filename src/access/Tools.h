#pragma once
// General helpers shared by the whole program: one blocking HTTP GET, folders and paths of the
// program, GUID text and text splitting. Every method works on its arguments only, so they may be
// called from any thread.
#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace zadari {

/// Shell folder codes the program asks for (their Windows numbers, mapped to XDG folders).
enum TSpecialFolder : int {
    kCsidlDesktop = 0,
    kCsidlPersonal = 5,
    kCsidlDesktopDirectory = 16,
    kCsidlAppData = 26,
    kCsidlLocalAppData = 28,
};

/// Full path of the running program's file ("" when the system cannot tell).
QString ModuleFileName();

class TTools {
public:
    TTools() = delete;

    /// Largest reply HttpGet hands back; longer bodies are cut here.
    static constexpr std::size_t kMaxReply = 512000;

    /// One GET of `url` with User-Agent "DoDO", never answered from a cache. timeoutMs bounds the
    /// connection, the wait for the reply and every silence while the body arrives. True when a
    /// reply came back, whatever its status: `reply` is its body up to the first NUL and at most
    /// kMaxReply bytes. False with an empty reply on any failure.
    static bool HttpGet(const std::string& url, std::string& reply, int timeoutMs);

    /// This process's private temporary folder (mode 0700, removed at exit when empty), with a
    /// trailing "/". Made on first use inside $XDG_RUNTIME_DIR, else $TMPDIR, else /tmp.
    static QString GetTempDir();

    /// Creates `path` and every missing folder above it; true when it exists as a folder after.
    static bool ForceDir(const QString& path);

    /// Deletes everything inside `path` and, with removeSelf, the folder too. Symbolic links are
    /// removed as links: nothing outside the folder is ever touched. Entries that cannot be
    /// deleted stay. Always true.
    static bool ClearDir(const QString& path, bool removeSelf);

    /// A fresh random GUID as 36 upper-case characters 8-4-4-4-12, without braces.
    static std::string NewGuidText();

    /// Folder of the program's file, with a trailing "/".
    static QString GetAppDir();

    /// The folder for a TSpecialFolder code with a trailing "/", created when force is set; ""
    /// for a code this platform has no folder for.
    static QString GetSpecialDir(int csidl, bool force);

    /// The special folder followed by the program's name and "/" (a ".exe"-style extension of
    /// the program file is dropped), created when force is set; "" when there is no such folder.
    static QString GetAppDataDir(int csidl, bool force);
    /// The name GetAppDataDir builds from a special folder and a program file path.
    static QString AppDataDirOf(const QString& specialDir, const QString& moduleFile);

    /// Appends the pieces of `text` between occurrences of `separator` to `list`.
    static void SplitText(std::string_view text, std::string_view separator,
                          std::vector<std::string>& list);
};

} // namespace zadari
