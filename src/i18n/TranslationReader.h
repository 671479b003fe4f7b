#pragma once
// The one reader of the current language file that all window translations share.
#include "i18n/LangFile.h"

#include <functional>

namespace zadari {

/// Runs `use` with the shared reader under the translation lock, opening the reader on the
/// current language file first when there is none. A reader that found no file is not kept, so
/// a file that appears later is read by the next translation.
void WithTranslationReader(const std::function<void(const TLangFile&)>& use);

/// Drops the shared reader (on a change of language).
void DropTranslationReader();

} // namespace zadari
