#include "access/Tools.h"

#include "access/CurlSession.h"
#include "protocols/Encoding.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace zadari {

namespace {

// ---- HttpGet --------------------------------------------------------------------------------

struct TGetState {
    std::string body;
    bool cut = false; // the body reached kMaxReply; the rest is not wanted
    TSilenceWatch silence;
    CURL* handle = nullptr;
};

size_t CollectBody(char* data, size_t size, size_t count, void* user) {
    auto* state = static_cast<TGetState*>(user);
    const size_t n = size * count;
    const size_t room = TTools::kMaxReply - state->body.size();
    if (n >= room) {
        state->body.append(data, room);
        state->cut = true;
        return 0; // stops the transfer; what we have is the reply
    }
    state->body.append(data, n);
    return n;
}

int WatchGet(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
    auto* state = static_cast<TGetState*>(user);
    return state->silence.Expired(state->handle, received, sent) ? 1 : 0;
}

// ---- folders --------------------------------------------------------------------------------

QString WithSlash(QString path) {
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

bool IsFolder(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// An owner who cannot write or search a folder could not empty it; the owner may always change
// that, as deleting a read-only file is allowed elsewhere.
void MakeEmptiable(int dirFd) {
    struct stat st {};
    if (::fstat(dirFd, &st) == 0 && (st.st_mode & S_IRWXU) != S_IRWXU)
        ::fchmod(dirFd, (st.st_mode & 07777) | S_IRWXU);
}

// Empties the folder open at dirFd (which it closes). Entries are reached only relative to their
// own folder's descriptor and opened with O_NOFOLLOW, so a link, even one swapped in while we
// work, is unlinked itself and never entered.
void EmptyFolder(int dirFd, int depth) {
    if (depth > 256) { // deeper than any folder we make; refuse rather than exhaust descriptors
        ::close(dirFd);
        return;
    }
    MakeEmptiable(dirFd);
    const int listFd = ::dup(dirFd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (dir == nullptr) {
        if (listFd >= 0)
            ::close(listFd);
        ::close(dirFd);
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    for (const std::string& name : names) {
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int sub =
                ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0)
                EmptyFolder(sub, depth + 1);
            ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
        } else {
            ::unlinkat(dirFd, name.c_str(), 0);
        }
    }
    ::close(dirFd);
}

// ---- the private temporary folder -------------------------------------------------------------

std::string& PrivateTempPath() {
    static std::string path;
    return path;
}

void RemovePrivateTemp() {
    // Only an empty folder goes: whatever someone left inside stays rather than be deleted
    // behind their back.
    if (!PrivateTempPath().empty())
        ::rmdir(PrivateTempPath().c_str());
}

std::string MakePrivateTemp() {
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* base = std::getenv(variable);
        if (base == nullptr || *base == '\0')
            continue;
        std::string pattern = std::string(base) + "/zadari-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            return pattern;
    }
    std::string pattern = "/tmp/zadari-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr)
        return pattern;
    return {};
}

} // namespace

QString ModuleFileName() {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0)
        return {};
    return QString::fromLocal8Bit(buffer, static_cast<qsizetype>(n));
}

bool TTools::HttpGet(const std::string& url, std::string& reply, int timeoutMs) {
    reply.clear();
    TCurlEasy curl;
    if (!curl)
        return false;
    CURL* h = curl.Get();
    TGetState state{{}, false, TSilenceWatch(timeoutMs), h};
    TCurlHeaders headers;
    // libcurl keeps no cache; these ask proxies and the like not to answer from theirs either.
    headers.Append("Cache-Control: no-cache");
    headers.Append("Pragma: no-cache");

    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "DoDO");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CollectBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &WatchGet);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);

    const CURLcode result = curl_easy_perform(h);
    if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && state.cut))
        return false;
    const auto nul = state.body.find('\0');
    if (nul != std::string::npos)
        state.body.resize(nul);
    reply = std::move(state.body);
    return true;
}

QString TTools::GetTempDir() {
    static std::once_flag once;
    std::call_once(once, [] {
        PrivateTempPath() = MakePrivateTemp();
        if (!PrivateTempPath().empty())
            std::atexit(&RemovePrivateTemp);
    });
    if (PrivateTempPath().empty())
        return {};
    return WithSlash(QString::fromLocal8Bit(PrivateTempPath()));
}

bool TTools::ForceDir(const QString& path) {
    if (path.isEmpty())
        return true;
    const QByteArray native = QFile::encodeName(path);
    if (IsFolder(native))
        return true;
    for (qsizetype i = 1; i < native.size(); ++i) {
        if (native[i] == '/')
            ::mkdir(native.left(i).constData(), 0777);
    }
    if (!native.endsWith('/'))
        ::mkdir(native.constData(), 0777);
    return IsFolder(native);
}

bool TTools::ClearDir(const QString& path, bool removeSelf) {
    if (path.isEmpty())
        return true;
    QByteArray native = QFile::encodeName(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        // Not a folder of its own (missing, or a link to one elsewhere): nothing to empty.
        struct stat st {};
        if (removeSelf && ::lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(native.constData());
        return true;
    }
    EmptyFolder(fd, 0);
    if (removeSelf)
        ::rmdir(native.constData());
    return true;
}

std::string TTools::NewGuidText() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

QString TTools::GetAppDir() {
    const QString file = ModuleFileName();
    if (file.isEmpty())
        return {};
    return WithSlash(QFileInfo(file).absolutePath());
}

QString TTools::GetSpecialDir(int csidl, bool force) {
    const QString home = QDir::homePath();
    auto xdg = [&home](const char* variable, const char* fallback) {
        const QByteArray value = qgetenv(variable);
        // XDG says a relative value is to be ignored.
        if (!value.isEmpty() && value.startsWith('/'))
            return QFile::decodeName(value);
        return home + QLatin1Char('/') + QLatin1String(fallback);
    };
    QString result;
    switch (csidl) {
    case kCsidlAppData:
        result = xdg("XDG_CONFIG_HOME", ".config");
        break;
    case kCsidlLocalAppData:
        result = xdg("XDG_DATA_HOME", ".local/share");
        break;
    case kCsidlPersonal:
        result = home;
        break;
    case kCsidlDesktop:
    case kCsidlDesktopDirectory:
        result = home + QStringLiteral("/Desktop");
        break;
    default:
        return {};
    }
    result = WithSlash(result);
    if (force)
        ForceDir(result);
    return result;
}

QString TTools::AppDataDirOf(const QString& specialDir, const QString& moduleFile) {
    if (specialDir.isEmpty())
        return {};
    QString name = QFileInfo(moduleFile).fileName();
    if (name.size() > 4 && name[name.size() - 4] == QLatin1Char('.'))
        name.chop(4);
    return WithSlash(specialDir) + name + QLatin1Char('/');
}

QString TTools::GetAppDataDir(int csidl, bool force) {
    const QString result = AppDataDirOf(GetSpecialDir(csidl, false), ModuleFileName());
    if (force && !result.isEmpty())
        ForceDir(result);
    return result;
}

void TTools::SplitText(std::string_view text, std::string_view separator,
                       std::vector<std::string>& list) {
    zadari::SplitText(text, separator, list);
}

} // namespace zadari
