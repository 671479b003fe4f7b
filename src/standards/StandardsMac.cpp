#include "standards/StandardsMac.h"

#include <algorithm>
#include <cctype>

namespace zadari {

namespace {

bool IsHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// Groups of `width` digits separated by `separator` throughout.
bool Grouped(std::string_view text, std::size_t width, char separator) {
    const std::size_t groups = 12 / width;
    if (text.size() != 12 + groups - 1)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool separatorPlace = (i + 1) % (width + 1) == 0;
        if (separatorPlace ? text[i] != separator : !IsHex(text[i]))
            return false;
    }
    return true;
}

bool Plain(std::string_view text) {
    return text.size() == 12 && std::all_of(text.begin(), text.end(), IsHex);
}

bool Separated(std::string_view text) {
    return Grouped(text, 2, ':') || Grouped(text, 2, '-') || Grouped(text, 4, '.');
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// A serial number or UDN that is nothing but a MAC.
std::string WholeMac(std::string_view text) {
    text = Trimmed(text);
    if (Plain(text) && std::none_of(text.begin(), text.end(), [](char c) {
            return std::isalpha(static_cast<unsigned char>(c)) != 0;
        }))
        return {};
    return NormalisedMac(text);
}

} // namespace

std::string NormalisedMac(std::string_view text) {
    text = Trimmed(text);
    if (!Plain(text) && !Separated(text))
        return {};
    std::string key;
    for (const char c : text)
        if (IsHex(c))
            key.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (key == "000000000000" || key == "FFFFFFFFFFFF")
        return {};
    const int first = std::stoi(key.substr(0, 2), nullptr, 16);
    if (first & 1)
        return {}; // a group address names no device
    return key;
}

std::string MacOfOnvif(const TOnvifInfo& info) {
    return NormalisedMac(info.mac);
}

std::string MacOfUpnp(const TUpnpInfo& info) {
    std::string mac = WholeMac(info.serialNumber);
    if (mac.empty() && StartsWithNoCase(info.udn, "uuid:"))
        mac = WholeMac(std::string_view(info.udn).substr(5));
    return mac;
}

std::string MacOfMdns(const TMdnsInfo& info) {
    for (const std::string_view key : {"macaddress=", "mac="}) {
        for (const auto& entry : info.txt) {
            if (StartsWithNoCase(entry, key)) {
                const std::string mac = NormalisedMac(std::string_view(entry).substr(key.size()));
                if (!mac.empty())
                    return mac;
            }
        }
    }
    return {};
}

} // namespace zadari
