#pragma once
// Message lookup: the texts of the IDS_ messages in the current language.
#include <QString>

#include <string_view>

namespace zadari {

/// The text of an IDS_ key in the current language ("" when the language file lacks it).
QString GetStrRes(std::string_view key);

} // namespace zadari
