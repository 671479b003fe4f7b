#include "app/DeviceText.h"

#include "i18n/CodePage.h"

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
    // Legacy bytes are read in the ANSI code page of the locale, as the device's own tools do.
    return DecodeAnsiOrUtf8(bytes);
}

std::string EncodeLikeDevice(const QString& text, const std::string& deviceBytes) {
    const QString shown = DecodeDeviceText(deviceBytes);
    if (text == shown.trimmed() && shown == shown.trimmed())
        return deviceBytes;
    const bool deviceUtf8 =
        QString::fromUtf8(deviceBytes.data(), static_cast<qsizetype>(deviceBytes.size()))
            .toUtf8() == QByteArray::fromStdString(deviceBytes);
    bool latin1 = true;
    for (const QChar c : text)
        latin1 = latin1 && c.unicode() < 256;
    if (!deviceUtf8 && latin1)
        return text.toLatin1().toStdString();
    return text.toUtf8().toStdString();
}

} // namespace zadari
