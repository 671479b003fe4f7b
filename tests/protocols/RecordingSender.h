#pragma once
// A TDatagramSender for codec tests: it records every datagram and every pause in the order they
// happen instead of touching a socket, and can be told to fail (or throw on) chosen sends.
#include "protocols/DatagramSender.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

struct TSentDatagram {
    TBytes bytes;
    std::string address;
    std::uint16_t port = 0;
    bool delivered = true; ///< false when the recorder reported the send as failed

    std::string Text() const { return std::string(bytes.begin(), bytes.end()); }
};

class TRecordingSender : public TDatagramSender {
public:
    /// One step of what a codec did, in order: a send attempt or a pause.
    struct TEvent {
        enum class TKind { Send, Pause } kind = TKind::Send;
        std::size_t sendIndex = 0; ///< index into Attempts() for a send
        int milliseconds = 0;      ///< for a pause
    };

    /// Sends with an index (0-based, counting every attempt) at or above `index` fail.
    void FailFrom(std::size_t index) { failFrom_ = index; }
    void FailAll() { failFrom_ = 0; }
    /// Sends at or above `index` throw instead of returning (a socket layer that raises).
    void ThrowFrom(std::size_t index) { throwFrom_ = index; }

    bool SendTo(TByteView bytes, const std::string& address, std::uint16_t port) override {
        const std::size_t index = attempts_.size();
        TSentDatagram d{TBytes(bytes.begin(), bytes.end()), address, port, index < failFrom_};
        if (index >= throwFrom_)
            d.delivered = false;
        attempts_.push_back(d);
        events_.push_back({TEvent::TKind::Send, index, 0});
        if (index >= throwFrom_)
            throw std::runtime_error("send failed");
        return d.delivered;
    }

    void Pause(int milliseconds) override {
        events_.push_back({TEvent::TKind::Pause, 0, milliseconds});
    }

    /// Every send attempt, failed ones included.
    const std::vector<TSentDatagram>& Attempts() const { return attempts_; }
    /// Only the datagrams that were reported as sent.
    std::vector<TSentDatagram> Sent() const {
        std::vector<TSentDatagram> out;
        for (const auto& d : attempts_)
            if (d.delivered)
                out.push_back(d);
        return out;
    }
    const std::vector<TEvent>& Events() const { return events_; }

    /// The events as one line each ("send 255.255.255.255:10000 13 bytes", "pause 10"), handy
    /// for checking that a pause comes before its send.
    std::vector<std::string> Log() const {
        std::vector<std::string> out;
        for (const auto& e : events_) {
            if (e.kind == TEvent::TKind::Pause) {
                out.push_back("pause " + std::to_string(e.milliseconds));
            } else {
                const auto& d = attempts_[e.sendIndex];
                out.push_back("send " + d.address + ":" + std::to_string(d.port) + " " +
                              std::to_string(d.bytes.size()) + " bytes");
            }
        }
        return out;
    }

    void Clear() {
        attempts_.clear();
        events_.clear();
    }

private:
    std::vector<TSentDatagram> attempts_;
    std::vector<TEvent> events_;
    std::size_t failFrom_ = static_cast<std::size_t>(-1);
    std::size_t throwFrom_ = static_cast<std::size_t>(-1);
};

/// Bytes written out in a test: TBytesOf("MO_I") or from a brace list.
inline TBytes TBytesOf(std::string_view text) {
    return TBytes(text.begin(), text.end());
}

} // namespace zadari
