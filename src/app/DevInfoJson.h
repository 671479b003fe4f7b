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

struct TDevInfoField;

/// One object, keys in record order, then "letters" and "rawReply".
std::string DevInfoToJson(const TDevInfo& record);
/// An array of objects, one per line, for the rows given.
std::string DevInfoListToJson(const std::vector<const TDevInfo*>& records);

/// One field's value as DevInfoToJson writes it.
std::string FieldToJson(const TDevInfo& record, const TDevInfoField& field);

/// The fields whose values differ between the records, in record order. "age" is left out: it
/// counts ticks and every reply resets it.
std::vector<const TDevInfoField*> ChangedFields(const TDevInfo& before, const TDevInfo& after);

/// What happened to a row of the list, as a watching search reports it.
enum class TDeviceEvent { kAdded, kChanged, kRemoved };

/// One line (no line end) for a change of the list: {"event": "added", "device": {...}},
/// {"event": "removed", "device": {...}} with the row as it was last, or {"event": "changed",
/// "changed": [names], "previous": {name: value before}, "device": {...}} where `before` is the
/// row before the change.
std::string DeviceEventJson(TDeviceEvent event, const TDevInfo& record,
                            const TDevInfo* before = nullptr);

/// A JSON string literal (with quotes) for UTF-8 text; control characters are escaped.
std::string JsonQuote(std::string_view utf8);

} // namespace zadari
