#include "app/DevInfoJson.h"

#include "app/DeviceText.h"
#include "protocols/DevInfoFields.h"
#include "protocols/Encoding.h"

#include "app/StandardsText.h"

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

/// Standards texts are UTF-8 as the devices sent them; invalid sequences become U+FFFD.
std::string Utf8Value(const std::string& text) {
    return JsonQuote(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString());
}

std::string Utf8List(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += ", ";
        out += Utf8Value(items[i]);
    }
    return out + "]";
}

class TObjectWriter {
public:
    void Add(const char* name, const std::string& value) {
        out_ += first_ ? "" : ", ";
        first_ = false;
        out_ += JsonQuote(name);
        out_ += ": ";
        out_ += value;
    }
    void Text(const char* name, const std::string& text) { Add(name, Utf8Value(text)); }
    std::string Take() { return out_ + "}"; }

private:
    std::string out_ = "{";
    bool first_ = true;
};

std::string StandardsToJson(const TDevInfo& record) {
    const TStandardsInfo& info = record.standards.Get();
    TObjectWriter all;
    if (const auto& onvif = info.onvif) {
        TObjectWriter o;
        o.Text("endpoint", onvif->endpoint);
        o.Add("types", Utf8List(onvif->types));
        o.Add("scopes", Utf8List(onvif->scopes));
        o.Add("xaddrs", Utf8List(onvif->xaddrs));
        o.Add("metadataVersion", std::to_string(onvif->metadataVersion));
        o.Text("name", onvif->name);
        o.Text("hardware", onvif->hardware);
        o.Text("location", onvif->location);
        o.Text("mac", onvif->mac);
        o.Text("serial", onvif->serial);
        o.Add("xaddrMismatch", XAddrsNameAnotherAddress(*onvif, record.ip) ? "true" : "false");
        all.Add("onvif", o.Take());
    }
    if (const auto& upnp = info.upnp) {
        TObjectWriter o;
        o.Text("location", upnp->location);
        o.Text("server", upnp->server);
        o.Text("st", upnp->st);
        o.Text("usn", upnp->usn);
        o.Add("maxAge", std::to_string(upnp->maxAge));
        o.Text("friendlyName", upnp->friendlyName);
        o.Text("manufacturer", upnp->manufacturer);
        o.Text("modelName", upnp->modelName);
        o.Text("modelNumber", upnp->modelNumber);
        o.Text("serialNumber", upnp->serialNumber);
        o.Text("udn", upnp->udn);
        o.Text("presentationUrl", upnp->presentationUrl);
        o.Text("deviceType", upnp->deviceType);
        all.Add("upnp", o.Take());
    }
    if (const auto& mdns = info.mdns) {
        TObjectWriter o;
        o.Text("instance", mdns->instance);
        o.Add("serviceTypes", Utf8List(mdns->serviceTypes));
        o.Text("host", mdns->host);
        o.Add("port", std::to_string(mdns->port));
        o.Add("addresses", Utf8List(mdns->addresses));
        o.Add("txt", Utf8List(mdns->txt));
        all.Add("mdns", o.Take());
    }
    return all.Take();
}

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
    // Only the protocols that found the device.
    if (!record.standards.Empty())
        add("standards", StandardsToJson(record));
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
