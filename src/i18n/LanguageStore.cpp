#include "i18n/LanguageStore.h"

#include "i18n/EmbeddedLanguages.h"
#include "i18n/Language.h"
#include "i18n/PrivateFolder.h"
#include "i18n/StrRes.h"
#include "i18n/TranslationReader.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zadari {

namespace {

// A new file only (O_EXCL) and never through a link, readable by this user alone.
bool WriteNewFile(const QString& path, const unsigned char* bytes, std::size_t size) {
    const QByteArray name = QFile::encodeName(path);
    const int fd =
        open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    const bool ok = close(fd) == 0 && done == size;
    if (!ok)
        unlink(name.constData());
    return ok;
}

void ForgetReadTexts() {
    ClearStrResCache();
    DropTranslationReader();
}

} // namespace

QString TLanguageStore::FolderPrefix() {
    return ProgramFileName() + QStringLiteral("-lang");
}

TLanguageStore::TLanguageStore(const QString& base) {
    SetCurrentLanguage(QStringLiteral("en"));
    const QString where = base.isEmpty() ? PrivateFolderBase() : base;
    RemoveStaleFolders(where, FolderPrefix());
    // A killed instance may have run without XDG_RUNTIME_DIR and left its folder in /tmp.
    if (base.isEmpty() && TemporaryFolderBase() != where)
        RemoveStaleFolders(TemporaryFolderBase(), FolderPrefix());
    const QString folder = CreatePrivateFolder(where, FolderPrefix());
    if (!folder.isEmpty())
        m_folder = folder + QLatin1Char('/');
    SetLanguageFolder(m_folder);
    ForgetReadTexts();
    if (m_folder.isEmpty())
        return;
    for (const TEmbeddedLanguageFile& file : EmbeddedLanguageFiles()) {
        // One file that cannot be written does not keep the others from being written.
        if (WriteNewFile(LanguageFilePathFor(QString::fromLatin1(file.code)), file.bytes,
                         file.size))
            ++m_written;
    }
}

TLanguageStore::~TLanguageStore() {
    if (m_folder.isEmpty())
        return;
    RemoveTreeNoFollow(m_folder);
    if (LanguageFolder() == m_folder) {
        SetLanguageFolder(QString());
        ForgetReadTexts();
    }
}

} // namespace zadari
