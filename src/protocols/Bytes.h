#pragma once
// Byte buffers as the wire carries them. Datagrams are handled as bytes; the text protocols view
// the same bytes as a std::string_view (which may contain NUL bytes).
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

using TBytes = std::vector<std::uint8_t>;
using TByteView = std::span<const std::uint8_t>;

inline TByteView ToByteView(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

inline std::string_view ToTextView(TByteView bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

inline TBytes ToBytes(std::string_view text) {
    return TBytes(text.begin(), text.end());
}

} // namespace zadari
