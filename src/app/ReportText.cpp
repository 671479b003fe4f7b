#include "app/ReportText.h"

namespace zadari {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string ColonMac(const std::string& hex) {
    std::string mac;
    for (std::size_t i = 0; i < hex.size(); ++i)
        mac += (i > 0 && i % 2 == 0 ? ":" : "") + hex.substr(i, 1);
    return mac;
}

} // namespace zadari
