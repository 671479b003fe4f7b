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

std::string SafeRequestTarget(std::string_view target) {
    std::string out;
    out.reserve(target.size());
    for (const char c : target) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u == 0x7F)
            AppendPercent(out, u);
        else
            out.push_back(c);
    }
    return out;
}

} // namespace zadari
