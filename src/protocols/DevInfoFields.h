#pragma once
// The fields of TDevInfo declared once: their JSON names and what each part of the system does
// with them. The merge comparison, the export file, the JSON of zadari-cli and its table all
// read this table.
#include "protocols/DevInfo.h"

#include <cstdint>
#include <span>
#include <string>
#include <variant>

namespace zadari {

struct TDevInfoField {
    using TMember =
        std::variant<std::string TDevInfo::*, std::int32_t TDevInfo::*, std::uint16_t TDevInfo::*,
                     std::uint8_t TDevInfo::*, TBytes TDevInfo::*>;
    const char* name;
    TMember member;
    /// A reply whose value differs replaces the row's record.
    bool compared = false;
    /// The column of the export line (after the row number and the letters); 0 when not
    /// exported.
    int exportColumn = 0;
    /// The caption of its column in zadari-cli's table; null when not shown there.
    const char* tableCaption = nullptr;
};

/// Every field of TDevInfo in record order.
std::span<const TDevInfoField> DevInfoFields();

/// Whether any compared field differs between the records.
bool ComparedFieldsDiffer(const TDevInfo& a, const TDevInfo& b);

/// A field's value as the export file and the table write it: texts as their bytes, numbers in
/// decimal, bytes in upper-case hex.
std::string FieldText(const TDevInfo& record, const TDevInfoField& field);

} // namespace zadari
