#pragma once
// TDevInfo as JSON, every field under its own name in record order, plus "letters" (the family
// letters), "rawReply" (upper-case hex, or null) and, for a device the standard protocols found,
// "standards" with what each of them said. Texts are the device's bytes decoded as the
// window shows them; numbers are JSON numbers.
#include "protocols/DevInfo.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace zadari {

/// One object, keys in record order, then "letters" and "rawReply".
std::string DevInfoToJson(const TDevInfo& record);
/// An array of objects, one per line, for the rows given.
std::string DevInfoListToJson(const std::vector<const TDevInfo*>& records);

/// A JSON string literal (with quotes) for UTF-8 text; control characters are escaped.
std::string JsonQuote(std::string_view utf8);

} // namespace zadari
