#pragma once
// What a codec needs to put a message on the wire. The search engine implements it over its UDP
// endpoints; tests implement it with a recorder, so no codec needs a socket.
#include "protocols/Bytes.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace zadari {

inline constexpr const char* kBroadcastAddress = "255.255.255.255";

class TDatagramSender {
public:
    virtual ~TDatagramSender() = default;
    /// Sends one datagram to an IPv4 address in dotted text ("255.255.255.255" broadcasts on
    /// every adapter). False when it could not be sent.
    virtual bool SendTo(TByteView bytes, const std::string& address, std::uint16_t port) = 0;
    /// The pauses some exchanges keep between their messages. Recorders override it to note the
    /// pause instead of sleeping.
    virtual void Pause(int milliseconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

/// One guarded send: a send that fails, or a sender that fails by throwing, gives false, so one
/// failed send never stops the next one nor reaches the user.
inline bool GuardedSend(TDatagramSender& sender, TByteView bytes, const std::string& address,
                        std::uint16_t port) noexcept {
    try {
        return sender.SendTo(bytes, address, port);
    } catch (...) {
        return false;
    }
}

} // namespace zadari
