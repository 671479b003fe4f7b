#pragma once
// What the CTP and HDS header-style text protocols share: cutting a reply into lines, reading a
// value by its argument name or key, and the layout of the requests the system sends.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

using TTextLines = std::vector<std::string>;

inline constexpr std::string_view kCrLf = "\r\n";

/// The reply cut at every "\r\n"; the piece after the last one and empty pieces are lines too.
TTextLines SplitReplyLines(std::string_view text);

/// CTP rule: the first line that begins with `name` (byte for byte, nothing checks that the name
/// ends there) gives the rest of the line after the name and one separator character.
bool GetCtpValue(std::string_view name, const TTextLines& lines, std::string& value);

/// HDS rule: `key` includes its "="; the first line that begins with it gives the rest of the line.
bool GetHdsValue(std::string_view key, const TTextLines& lines, std::string& value);

/// "CMD <command> CTP/1.0" with its length header; `argumentLines` are the "\r\n"-terminated
/// argument lines, to which the closing empty line is added. The count covers the empty line
/// after the header, the argument lines and the closing empty line.
std::string BuildCtpCommand(std::string_view command, std::string_view argumentLines);

/// One CTP argument line: name, one blank, value, "\r\n".
std::string CtpArgumentLine(std::string_view name, std::string_view value);

/// The HDS search request that carries this run's client id.
std::string BuildHdsSearch(std::string_view clientId);

/// One "CMD * HDS/1.0" request carrying `commandLine` as its body. The credentials travel in
/// plain text, as the devices expect them.
std::string BuildHdsCommand(std::string_view clientId, std::string_view userName,
                            std::string_view password, std::string_view deviceId,
                            std::string_view commandLine);

/// True when `text` holds a CR or LF byte: such a value would split the line it is written on
/// and smuggle extra lines into a request.
bool HasLineBreak(std::string_view text);

} // namespace zadari
