#include "app/DevInfoJson.h"

#include "app/DeviceText.h"
#include "protocols/DevInfoFields.h"
#include "protocols/Encoding.h"

#include <cstdio>

namespace zadari {

std::string JsonQuote(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

namespace {

std::string TextValue(const std::string& bytes) {
    return JsonQuote(DecodeDeviceText(bytes).toStdString());
}

struct TValueWriter {
    const TDevInfo& record;
    std::string operator()(std::string TDevInfo::*m) const { return TextValue(record.*m); }
    std::string operator()(std::int32_t TDevInfo::*m) const { return std::to_string(record.*m); }
    std::string operator()(std::uint16_t TDevInfo::*m) const { return std::to_string(record.*m); }
    std::string operator()(std::uint8_t TDevInfo::*m) const {
        return std::to_string(static_cast<unsigned>(record.*m));
    }
    std::string operator()(TBytes TDevInfo::*m) const {
        const TBytes& bytes = record.*m;
        return bytes.empty() ? std::string("null") : JsonQuote(BytesToHex(bytes));
    }
};

} // namespace

std::string DevInfoToJson(const TDevInfo& record) {
    std::string out = "{";
    bool first = true;
    auto add = [&](const char* name, const std::string& value) {
        if (!first)
            out += ", ";
        first = false;
        out += JsonQuote(name);
        out += ": ";
        out += value;
    };
    for (const TDevInfoField& field : DevInfoFields())
        add(field.name, std::visit(TValueWriter{record}, field.member));
    add("letters", JsonQuote(FamilyLetters(record.family)));
    out += "}";
    return out;
}

std::string FieldToJson(const TDevInfo& record, const TDevInfoField& field) {
    return std::visit(TValueWriter{record}, field.member);
}

std::vector<const TDevInfoField*> ChangedFields(const TDevInfo& before, const TDevInfo& after) {
    std::vector<const TDevInfoField*> changed;
    for (const TDevInfoField& field : DevInfoFields()) {
        if (std::string_view(field.name) != "age" &&
            FieldText(before, field) != FieldText(after, field))
            changed.push_back(&field);
    }
    return changed;
}

std::string DeviceEventJson(TDeviceEvent event, const TDevInfo& record, const TDevInfo* before) {
    std::string out = "{\"event\": ";
    switch (event) {
    case TDeviceEvent::kAdded:
        out += "\"added\"";
        break;
    case TDeviceEvent::kRemoved:
        out += "\"removed\"";
        break;
    case TDeviceEvent::kChanged: {
        out += "\"changed\", \"changed\": [";
        const std::vector<const TDevInfoField*> changed =
            before ? ChangedFields(*before, record) : std::vector<const TDevInfoField*>{};
        std::string previous;
        for (const TDevInfoField* field : changed) {
            if (field != changed.front()) {
                out += ", ";
                previous += ", ";
            }
            out += JsonQuote(field->name);
            previous += JsonQuote(field->name) + ": " + FieldToJson(*before, *field);
        }
        out += "], \"previous\": {" + previous + "}";
        break;
    }
    }
    out += ", \"device\": ";
    out += DevInfoToJson(record);
    out += "}";
    return out;
}

std::string DevInfoListToJson(const std::vector<const TDevInfo*>& records) {
    if (records.empty())
        return "[]\n";
    std::string out = "[\n";
    for (std::size_t i = 0; i < records.size(); ++i) {
        out += "  ";
        out += DevInfoToJson(*records[i]);
        out += i + 1 < records.size() ? ",\n" : "\n";
    }
    out += "]\n";
    return out;
}

} // namespace zadari
