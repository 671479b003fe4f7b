#include "protocols/Encoding.h"

#include <algorithm>

namespace zadari {

std::string BytesToHex(TByteView bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const auto b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
    return out;
}

TBytes HexToBytes(std::string_view text, std::size_t n) {
    // Devices and BytesToHex write upper case; the digit value follows the character code
    // exactly as the devices' own tools do, so lower case does not give its hexadecimal value.
    auto digit = [&](std::size_t pos) -> unsigned {
        if (pos >= text.size())
            return 0;
        const auto code = static_cast<unsigned char>(text[pos]);
        return code < 'A' ? code - 48u : code - 55u;
    };
    TBytes out(n, 0);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>((digit(2 * i) * 16u + digit(2 * i + 1)) & 0xFFu);
    return out;
}

std::string MacKeyOf(std::string_view mac) {
    std::string out;
    out.reserve(mac.size());
    for (const char c : mac) {
        if (c == '-' || c == ':')
            continue;
        if (c == ' ')
            out.push_back('0');
        else if (c >= 'a' && c <= 'z')
            out.push_back(static_cast<char>(c - 'a' + 'A'));
        else
            out.push_back(c);
    }
    return out;
}

namespace {
std::uint8_t ByteOr0(TByteView bytes, std::size_t i) {
    return i < bytes.size() ? bytes[i] : std::uint8_t{0};
}
} // namespace

void PutItem(TBytes& message, TByteView templateRow, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        message.push_back(ByteOr0(templateRow, i));
}

void PutItem(TBytes& message, TByteView templateRow, TByteView value, std::size_t n) {
    message.push_back(ByteOr0(templateRow, 0));
    message.push_back(ByteOr0(templateRow, 1));
    for (std::size_t i = 0; i + 2 < n; ++i)
        message.push_back(ByteOr0(value, i));
}

void SplitText(std::string_view text, std::string_view separator, std::vector<std::string>& list) {
    if (text.empty()) {
        list.emplace_back();
        return;
    }
    if (separator.empty()) {
        list.emplace_back(text);
        return;
    }
    std::size_t start = 0;
    for (std::size_t hit = text.find(separator); hit != std::string_view::npos;
         hit = text.find(separator, start)) {
        list.emplace_back(text.substr(start, hit - start));
        start = hit + separator.size();
    }
    list.emplace_back(text.substr(start));
}

int CompareText(std::string_view a, std::string_view b) {
    auto fold = [](char c) -> unsigned char {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
    };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = fold(a[i]);
        const auto y = fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace zadari
