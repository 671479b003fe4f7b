#pragma once
// Endpoints that accept every datagram and send it nowhere: for tests of the paths that do not
// go through the engine's sockets (the family-9 client, the vendor library, the list).
#include "net/SearchEndpoints.h"

namespace zadari {

class TQuietSender : public TDatagramSender {
public:
    bool SendTo(TByteView, const std::string&, std::uint16_t) override { return true; }
    void Pause(int) override {}
};

class TQuietEndpoints : public TSearchEndpoints {
public:
    bool Open(TReceiveHandler) override { return true; }
    void Close() override {}
    TDatagramSender& Udp(int) override { return sender_; }
    TDatagramSender& MulticastSender() override { return sender_; }

private:
    TQuietSender sender_;
};

} // namespace zadari
