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

} // namespace zadari
