#pragma once
// Bounds-checked reads from a received datagram. Every read past the end gives zero bytes, which
// is exactly the zero-padded receive buffer the binary layouts are defined against; no parser can
// read outside the datagram.
#include "protocols/Bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zadari {

class TByteReader {
public:
    explicit TByteReader(TByteView data) : data_(data) {}
    explicit TByteReader(std::string_view text) : data_(ToByteView(text)) {}

    std::size_t Size() const { return data_.size(); }
    TByteView Data() const { return data_; }

    /// True when every byte of [offset, offset + count) lies inside the datagram.
    bool Has(std::size_t offset, std::size_t count) const {
        return offset <= data_.size() && count <= data_.size() - offset;
    }

    std::uint8_t U8(std::size_t offset) const {
        return offset < data_.size() ? data_[offset] : std::uint8_t{0};
    }
    std::uint16_t U16Le(std::size_t offset) const {
        return static_cast<std::uint16_t>(U8(offset) | (U8(offset + 1) << 8));
    }
    std::uint16_t U16Be(std::size_t offset) const {
        return static_cast<std::uint16_t>((U8(offset) << 8) | U8(offset + 1));
    }
    std::uint32_t U32Le(std::size_t offset) const {
        return static_cast<std::uint32_t>(U16Le(offset)) |
               (static_cast<std::uint32_t>(U16Le(offset + 2)) << 16);
    }
    std::uint32_t U32Be(std::size_t offset) const {
        return (static_cast<std::uint32_t>(U16Be(offset)) << 16) | U16Be(offset + 2);
    }

    /// `count` bytes from `offset`, zero where the datagram has ended.
    TBytes Bytes(std::size_t offset, std::size_t count) const {
        TBytes out(count, 0);
        for (std::size_t i = 0; i < count; ++i)
            out[i] = U8(offset + i);
        return out;
    }

    template <std::size_t N> std::array<std::uint8_t, N> Array(std::size_t offset) const {
        std::array<std::uint8_t, N> out{};
        for (std::size_t i = 0; i < N; ++i)
            out[i] = U8(offset + i);
        return out;
    }

    /// The text at `offset` up to its first NUL byte, at most `maxLength` bytes, and never past
    /// the end of the datagram (the zero padding ends it there).
    std::string CString(std::size_t offset, std::size_t maxLength) const {
        std::string out;
        for (std::size_t i = 0; i < maxLength && offset + i < data_.size(); ++i) {
            const auto c = data_[offset + i];
            if (c == 0)
                break;
            out.push_back(static_cast<char>(c));
        }
        return out;
    }

    /// Like CString, with no width limit: up to the first NUL or the end of the datagram.
    std::string CString(std::size_t offset) const {
        return CString(offset, offset < data_.size() ? data_.size() - offset : 0);
    }

private:
    TByteView data_;
};

} // namespace zadari
