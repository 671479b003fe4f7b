#include "app/AtomicFile.h"

#include <QSaveFile>

namespace zadari {

bool WriteFileAtomically(const QString& path, const std::string& bytes, QString* error) {
    // QSaveFile writes a temporary file beside the target and renames it over the target only
    // when everything was written, so a failure leaves neither a partial nor a lost file. A
    // folder that takes no new file but holds a writable target gets the target written in
    // place instead (and still no file of ours beside it).
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    const auto fail = [&] {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size()))
        return fail();
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace zadari
