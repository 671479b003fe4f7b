#include "access/UploadBody.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace zadari {

namespace {
void AppendPercent(std::string& out, unsigned char c) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 0x0F]);
}
} // namespace

TBoundaryTime LocalBoundaryTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        now - std::chrono::system_clock::from_time_t(seconds))
                        .count();
    std::tm local{};
    localtime_r(&seconds, &local);
    TBoundaryTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.millisecond = static_cast<int>(ms < 0 ? 0 : ms % 1000);
    return t;
}

std::string MultipartBoundary(const TBoundaryTime& t) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%02d%02d%02d%02d%02d%02d%03d", t.month % 100, t.day % 100,
                  t.year % 100, t.hour % 100, t.minute % 100, t.second % 100, t.millisecond % 1000);
    return std::string("--------") + digits;
}

std::string SafeFormFileName(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (const char c : path) {
        if (c == '"' || c == '\r' || c == '\n')
            AppendPercent(out, static_cast<unsigned char>(c));
        else
            out.push_back(c);
    }
    return out;
}

std::string MultipartPartHead(std::string_view boundary, std::string_view fieldName,
                              std::string_view fileName, std::string_view contentType) {
    std::string head;
    head.append("--").append(boundary).append("\r\n");
    head.append("Content-Transfer-Encoding: binary\r\n");
    head.append("Content-Disposition: form-data; name=\"").append(fieldName);
    head.append("\"; filename=\"").append(fileName).append("\"\r\n");
    head.append("Content-Type: ").append(contentType).append("\r\n\r\n");
    return head;
}

std::string MultipartTail(std::string_view boundary) {
    std::string tail("\r\n--");
    tail.append(boundary).append("--\r\n");
    return tail;
}

bool ParseHttpUrl(std::string_view url, THttpAddress& address) {
    constexpr std::string_view kScheme = "http://";
    if (url.size() < kScheme.size())
        return false;
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        const char c = url[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kScheme[i])
            return false;
    }
    std::string_view rest = url.substr(kScheme.size());
    const auto slash = rest.find('/');
    const std::string_view authority = rest.substr(0, slash);
    address.target = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
    const auto colon = authority.find(':');
    address.host = std::string(authority.substr(0, colon));
    address.port = 80;
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5)
            return false;
        unsigned port = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9')
                return false;
            port = port * 10 + static_cast<unsigned>(c - '0');
        }
        if (port == 0 || port > 65535)
            return false;
        address.port = port;
    }
    return !address.host.empty() && address.host.find('@') == std::string::npos;
}

std::string HostHeaderValue(std::string_view host, unsigned port) {
    std::string value(host);
    if (port != 80)
        value += ":" + std::to_string(port);
    return value;
}

std::string SafeRequestTarget(std::string_view target) {
    std::string out;
    out.reserve(target.size());
    for (const char c : target) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F || c == '#')
            AppendPercent(out, u);
        else
            out.push_back(c);
    }
    return out;
}

} // namespace zadari
