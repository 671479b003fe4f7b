#include "i18n/StrRes.h"

namespace zadari {

QString GetStrRes(std::string_view key) {
    // Placeholder until the language files are read.
    (void)key;
    return {};
}

} // namespace zadari
