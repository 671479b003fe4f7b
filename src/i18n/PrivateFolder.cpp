#include "i18n/PrivateFolder.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace zadari {

namespace {

// Our folders are flat; a tree deeper than this was not made by us and is left alone.
constexpr int kMaxDepth = 32;

bool UsableRuntimeDir(const QByteArray& path) {
    if (path.isEmpty() || !path.startsWith('/'))
        return false;
    struct stat st {};
    if (lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

bool RemoveEntryAt(int parentFd, const char* name, int depth) {
    struct stat st {};
    if (fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return unlinkat(parentFd, name, 0) == 0 || errno == ENOENT;
    if (depth >= kMaxDepth)
        return false;
    // O_NOFOLLOW: if the folder was swapped for a link since the stat, opening fails and the
    // link is removed as a link below.
    const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOTDIR)
            return unlinkat(parentFd, name, 0) == 0;
        return false;
    }
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return false;
    }
    bool ok = true;
    while (const dirent* entry = readdir(dir)) {
        const std::string child = entry->d_name;
        if (child == "." || child == "..")
            continue;
        ok = RemoveEntryAt(dirfd(dir), child.c_str(), depth + 1) && ok;
    }
    closedir(dir);
    return unlinkat(parentFd, name, AT_REMOVEDIR) == 0 && ok;
}

// The pid of a folder named <prefix>.<pid>.XXXXXX, or 0 when the name is not of that form.
pid_t PidOfFolderName(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0 ||
        name[prefix.size()] != '.')
        return 0;
    const std::string rest = name.substr(prefix.size() + 1);
    const std::size_t dot = rest.find('.');
    if (dot == 0 || dot == std::string::npos || dot > 9 || rest.size() - dot - 1 != 6)
        return 0;
    long pid = 0;
    for (std::size_t i = 0; i < dot; ++i) {
        if (rest[i] < '0' || rest[i] > '9')
            return 0;
        pid = pid * 10 + (rest[i] - '0');
    }
    return static_cast<pid_t>(pid);
}

} // namespace

QString PrivateFolderBase() {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (UsableRuntimeDir(runtime))
        return QFile::decodeName(runtime);
    return TemporaryFolderBase();
}

QString TemporaryFolderBase() {
    const QByteArray tmp = qgetenv("TMPDIR");
    struct stat st {};
    if (tmp.startsWith('/') && stat(tmp.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return QFile::decodeName(tmp);
    return QStringLiteral("/tmp");
}

QString CreatePrivateFolder(const QString& base, const QString& prefix) {
    QByteArray pattern = QFile::encodeName(base);
    if (!pattern.endsWith('/'))
        pattern += '/';
    pattern += QFile::encodeName(prefix) + '.' + QByteArray::number(getpid()) + ".XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        return {};
    return QFile::decodeName(pattern);
}

int RemoveStaleFolders(const QString& base, const QString& prefix) {
    const QByteArray basePath = QFile::encodeName(base);
    const int baseFd = open(basePath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd < 0)
        return 0;
    DIR* dir = fdopendir(baseFd);
    if (dir == nullptr) {
        close(baseFd);
        return 0;
    }
    const std::string prefixBytes = QFile::encodeName(prefix).toStdString();
    int removed = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        const pid_t pid = PidOfFolderName(name, prefixBytes);
        if (pid <= 0 || pid == getpid())
            continue;
        struct stat st {};
        if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_uid != getuid())
            continue;
        // EPERM means the process exists (run by someone else): only a gone process counts.
        if (kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        if (RemoveEntryAt(dirfd(dir), name.c_str(), 0))
            ++removed;
    }
    closedir(dir);
    return removed;
}

bool RemoveTreeNoFollow(const QString& path) {
    QByteArray bytes = QFile::encodeName(path);
    while (bytes.size() > 1 && bytes.endsWith('/'))
        bytes.chop(1);
    if (bytes.isEmpty() || bytes == "/")
        return false;
    const qsizetype slash = bytes.lastIndexOf('/');
    const QByteArray parent = slash < 0 ? QByteArray(".") : (slash == 0 ? "/" : bytes.left(slash));
    const QByteArray name = bytes.mid(slash + 1);
    if (name == "." || name == "..")
        return false;
    const int parentFd = open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return false;
    const bool ok = RemoveEntryAt(parentFd, name.constData(), 0);
    close(parentFd);
    return ok;
}

} // namespace zadari
