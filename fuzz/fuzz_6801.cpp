// The port-6801 exchange answers what it receives: any bytes must give a defined record and
// answers of their fixed size.
#include "protocols/Port6801.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

class TSizeCheckingSender : public zadari::TDatagramSender {
public:
    bool SendTo(zadari::TByteView bytes, const std::string&, std::uint16_t) override {
        if (bytes.size() != zadari::k6801AnswerSize)
            std::abort();
        return true;
    }
    void Pause(int) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    TSizeCheckingSender sender;
    zadari::TDevInfo listedRow;
    listedRow.family = zadari::kFamily6801;
    zadari::TDispatchContext context;
    context.sender6801 = &sender;
    context.findRowByMac = [&](const std::string& mac) -> const zadari::TDevInfo* {
        listedRow.mac = mac;
        return &listedRow;
    };
    zadari::TDevInfo record;
    if (datagram.size() >= 3 && data[0] == 0x10 && data[1] == 0x10)
        (void)zadari::Handle6801Message(datagram, record, context);
    if (zadari::Build6801SetCommand(record, record).size() != zadari::k6801SetCommandSize)
        std::abort();
    return 0;
}
