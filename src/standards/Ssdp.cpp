#include "standards/Ssdp.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace zadari {

namespace {

constexpr std::size_t kLinesMax = 64;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The next line of the head (CRLF or a bare LF ends it), or nothing at the end of the datagram.
std::optional<std::string_view> NextLine(std::string_view& rest) {
    if (rest.empty())
        return std::nullopt;
    const auto lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

bool HasControlBytes(std::string_view line) {
    return std::any_of(line.begin(), line.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t') || u == 0x7F;
    });
}

} // namespace

std::string BuildSsdpSearch(std::string_view target, int mx) {
    std::string text = "M-SEARCH * HTTP/1.1\r\n"
                       "HOST: 239.255.255.250:1900\r\n"
                       "MAN: \"ssdp:discover\"\r\n"
                       "MX: ";
    text += std::to_string(std::clamp(mx, 1, 5));
    text += "\r\nST: ";
    text += target;
    text += "\r\n\r\n";
    return text;
}

std::uint32_t SsdpMaxAge(std::string_view cacheControl) {
    // Directives are separated by commas; names are case-insensitive.
    while (!cacheControl.empty()) {
        const auto comma = cacheControl.find(',');
        std::string_view directive = Trimmed(cacheControl.substr(0, comma));
        cacheControl =
            comma == std::string_view::npos ? std::string_view() : cacheControl.substr(comma + 1);
        const auto equals = directive.find('=');
        if (equals == std::string_view::npos ||
            !EqualsNoCase(Trimmed(directive.substr(0, equals)), "max-age"))
            continue;
        std::string_view digits = Trimmed(directive.substr(equals + 1));
        if (digits.size() >= 2 && digits.front() == '"' && digits.back() == '"')
            digits = digits.substr(1, digits.size() - 2);
        if (digits.empty())
            return 0;
        std::uint64_t value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9')
                return 0;
            value =
                std::min<std::uint64_t>(value * 10 + static_cast<unsigned>(c - '0'), 0xFFFFFFFFu);
        }
        return static_cast<std::uint32_t>(value);
    }
    return 0;
}

bool ParseSsdpMessage(std::string_view datagram, TSsdpMessage& message) {
    message = {};
    if (datagram.size() > kSsdpDatagramMax)
        return false;
    std::string_view rest = datagram;
    const auto start = NextLine(rest);
    if (!start || HasControlBytes(*start))
        return false;
    bool notify = false;
    if (start->starts_with("HTTP/1.1 ") || start->starts_with("HTTP/1.0 ")) {
        const std::string_view status = Trimmed(start->substr(9));
        if (!status.starts_with("200") || (status.size() > 3 && status[3] != ' '))
            return false;
    } else if (EqualsNoCase(*start, "NOTIFY * HTTP/1.1")) {
        notify = true;
    } else {
        return false;
    }

    std::string_view location, server, st, nt, nts, usn, cacheControl;
    bool ended = false;
    for (std::size_t count = 0; count < kLinesMax; ++count) {
        const auto line = NextLine(rest);
        if (!line || line->empty()) {
            ended = true;
            break;
        }
        if (HasControlBytes(*line))
            return false;
        const auto colon = line->find(':');
        if (colon == std::string_view::npos)
            continue; // not a header; a folded line of an old sender
        const std::string_view name = Trimmed(line->substr(0, colon));
        const std::string_view value = Trimmed(line->substr(colon + 1));
        auto take = [&](std::string_view header, std::string_view& field) {
            if (field.empty() && EqualsNoCase(name, header))
                field = value;
        };
        take("LOCATION", location);
        take("SERVER", server);
        take("ST", st);
        take("NT", nt);
        take("NTS", nts);
        take("USN", usn);
        take("CACHE-CONTROL", cacheControl);
    }
    if (!ended || usn.empty())
        return false;

    if (notify) {
        if (EqualsNoCase(nts, "ssdp:alive"))
            message.kind = TSsdpKind::Alive;
        else if (EqualsNoCase(nts, "ssdp:byebye"))
            message.kind = TSsdpKind::ByeBye;
        else if (EqualsNoCase(nts, "ssdp:update"))
            message.kind = TSsdpKind::Update;
        else
            return false;
        if (nt.empty() || (message.kind != TSsdpKind::ByeBye && location.empty()))
            return false;
        st = nt;
    } else {
        message.kind = TSsdpKind::SearchAnswer;
        if (location.empty())
            return false;
    }
    TUpnpInfo& info = message.info;
    info.location = location;
    info.server = server;
    info.st = st;
    info.usn = usn;
    info.maxAge = SsdpMaxAge(cacheControl);
    return true;
}

} // namespace zadari
