#pragma once
// Reads a camera's answer to an upload as it arrives: skips interim 1xx answers, notes the final
// status and whether it has a Location header, and finds where its body ends (Content-Length,
// chunked, or the connection's close) so the body can be read and dropped. Plain C++ with hard
// limits, so anything a device sends gives a defined result.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zadari {

class THttpAnswerReader {
public:
    enum class TState { NeedMore, Complete, Malformed };

    /// The longest head (status line and header lines) accepted.
    static constexpr std::size_t kMaxHead = 64 * 1024;

    /// Takes the next bytes of the stream; bytes after a complete answer are ignored.
    TState Feed(std::string_view bytes);
    /// The connection closed: an answer whose body runs to the close is complete now.
    TState Close();

    TState State() const { return state_; }
    int Status() const { return status_; }
    bool HasLocation() const { return hasLocation_; }
    /// True once the final answer's head is complete (its status is known).
    bool HeadDone() const { return phase_ != TPhase::Head; }

private:
    enum class TPhase { Head, Length, ChunkSize, ChunkData, ChunkDataEnd, Trailer, ToClose, Done };

    TState Fail() { return state_ = TState::Malformed; }
    TState ParseHead(std::string_view head);
    bool TakeLine(std::string_view& bytes, std::string& line);

    TState state_ = TState::NeedMore;
    TPhase phase_ = TPhase::Head;
    std::string pending_; ///< the head, or a chunk line, gathered so far
    int status_ = 0;
    bool hasLocation_ = false;
    std::uint64_t left_ = 0; ///< body or chunk bytes still to come
};

} // namespace zadari
