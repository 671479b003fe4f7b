#include "protocols/CtpHdsFraming.h"

#include "protocols/Encoding.h"

namespace zadari {

TTextLines SplitReplyLines(std::string_view text) {
    TTextLines lines;
    SplitText(text, kCrLf, lines);
    return lines;
}

namespace {
const std::string* FirstLineStartingWith(std::string_view prefix, const TTextLines& lines) {
    for (const auto& line : lines)
        if (std::string_view(line).starts_with(prefix))
            return &line;
    return nullptr;
}
} // namespace

bool GetCtpValue(std::string_view name, const TTextLines& lines, std::string& value) {
    const std::string* line = FirstLineStartingWith(name, lines);
    if (line == nullptr)
        return false;
    // The character after the name is the separating blank; a line holding the bare name (or
    // the name and its blank only) has an empty value.
    const std::size_t start = name.size() + 1;
    value = start < line->size() ? line->substr(start) : std::string();
    return true;
}

bool GetHdsValue(std::string_view key, const TTextLines& lines, std::string& value) {
    const std::string* line = FirstLineStartingWith(key, lines);
    if (line == nullptr)
        return false;
    value = line->substr(key.size());
    return true;
}

std::string CtpArgumentLine(std::string_view name, std::string_view value) {
    std::string line;
    line.reserve(name.size() + value.size() + 3);
    line.append(name).append(" ").append(value).append(kCrLf);
    return line;
}

std::string BuildCtpCommand(std::string_view command, std::string_view argumentLines) {
    const std::size_t count = kCrLf.size() + argumentLines.size() + kCrLf.size();
    std::string message = "CMD ";
    message.append(command).append(" CTP/1.0\r\n");
    message.append("Content-Length: ").append(std::to_string(count)).append(kCrLf);
    message.append(kCrLf).append(argumentLines).append(kCrLf);
    return message;
}

std::string BuildHdsSearch(std::string_view clientId) {
    std::string message = "SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:";
    message.append(clientId).append(kCrLf);
    message.append("Accept-Type:text/HDP\r\n");
    message.append("Content-Length:0\r\n\r\n");
    return message;
}

std::string BuildHdsCommand(std::string_view clientId, std::string_view userName,
                            std::string_view password, std::string_view deviceId,
                            std::string_view commandLine) {
    std::string message = "CMD * HDS/1.0\r\nCSeq:2\r\nClient-ID:";
    message.append(clientId).append(kCrLf);
    message.append("Accept-Type:text/HDP\r\n");
    message.append("Authorization:Basic ").append(userName).append(":").append(password);
    message.append(kCrLf);
    message.append("Device-ID:").append(deviceId).append(kCrLf);
    message.append("Content-Length:").append(std::to_string(commandLine.size())).append(kCrLf);
    message.append(kCrLf).append(commandLine).append("\r\n\r\n");
    return message;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace zadari
