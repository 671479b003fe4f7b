#pragma once
// Builds binary messages: appends little- and big-endian numbers, raw bytes and fixed-width
// NUL-padded texts, or writes them at a given offset of a buffer of fixed size.
#include "protocols/Bytes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zadari {

class TByteWriter {
public:
    TByteWriter() = default;
    /// A writer over a zero-filled message of `size` bytes (for layouts given by offsets).
    explicit TByteWriter(std::size_t size) : bytes_(size, 0) {}

    const TBytes& Bytes() const { return bytes_; }
    TBytes Take() { return std::move(bytes_); }
    std::size_t Size() const { return bytes_.size(); }

    TByteWriter& U8(std::uint8_t v) {
        bytes_.push_back(v);
        return *this;
    }
    TByteWriter& U16Le(std::uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
    TByteWriter& U16Be(std::uint16_t v) { return U8(v >> 8).U8(v & 0xFF); }
    TByteWriter& U32Le(std::uint32_t v) { return U16Le(v & 0xFFFF).U16Le(v >> 16); }
    TByteWriter& U32Be(std::uint32_t v) { return U16Be(v >> 16).U16Be(v & 0xFFFF); }
    TByteWriter& Raw(TByteView v) {
        bytes_.insert(bytes_.end(), v.begin(), v.end());
        return *this;
    }
    TByteWriter& Raw(std::string_view text) { return Raw(ToByteView(text)); }
    /// `text` cut or NUL-padded to exactly `width` bytes.
    TByteWriter& FixedText(std::string_view text, std::size_t width) {
        const std::size_t n = std::min(text.size(), width);
        Raw(text.substr(0, n));
        bytes_.insert(bytes_.end(), width - n, 0);
        return *this;
    }
    TByteWriter& Zeros(std::size_t count) {
        bytes_.insert(bytes_.end(), count, 0);
        return *this;
    }

    // Writes at an offset, growing the message with zeros when it is shorter.
    void PutU8(std::size_t offset, std::uint8_t v) {
        Reserve(offset + 1);
        bytes_[offset] = v;
    }
    void PutU16Le(std::size_t offset, std::uint16_t v) {
        PutU8(offset, v & 0xFF);
        PutU8(offset + 1, v >> 8);
    }
    void PutU16Be(std::size_t offset, std::uint16_t v) {
        PutU8(offset, v >> 8);
        PutU8(offset + 1, v & 0xFF);
    }
    void PutU32Le(std::size_t offset, std::uint32_t v) {
        PutU16Le(offset, v & 0xFFFF);
        PutU16Le(offset + 2, v >> 16);
    }
    void PutRaw(std::size_t offset, TByteView v) {
        Reserve(offset + v.size());
        std::copy(v.begin(), v.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    void PutRaw(std::size_t offset, std::string_view text) { PutRaw(offset, ToByteView(text)); }
    void PutFixedText(std::size_t offset, std::string_view text, std::size_t width) {
        Reserve(offset + width);
        const std::size_t n = std::min(text.size(), width);
        PutRaw(offset, text.substr(0, n));
        std::fill_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset + n), width - n, 0);
    }

private:
    void Reserve(std::size_t size) {
        if (bytes_.size() < size)
            bytes_.resize(size, 0);
    }
    TBytes bytes_;
};

} // namespace zadari
