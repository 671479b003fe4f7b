#include "app/DeviceText.h"

#include <QStringDecoder>

namespace zadari {

QString DecodeDeviceText(std::string_view bytes) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // Plain ASCII is the common case and reads the same either way.
    bool ascii = true;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return QString::fromLatin1(view);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(view);
    if (!utf8.hasError())
        return text;
    // Bytes of a legacy single-byte code page; Latin-1 keeps every one of them visible.
    return QString::fromLatin1(view);
}

} // namespace zadari
