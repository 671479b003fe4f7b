// Feeds any datagram to the reply dispatch with everything the family-8 exchange needs: a
// sender that accepts its answers and a list that knows every MAC.
#include "protocols/Dispatch.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

class TNullSender : public zadari::TDatagramSender {
public:
    bool SendTo(zadari::TByteView bytes, const std::string&, std::uint16_t) override {
        // Touch every byte so that a message built past its source shows up under ASan.
        unsigned sum = 0;
        for (const auto b : bytes)
            sum += b;
        sink_ = sum;
        return true;
    }
    void Pause(int) override {}

private:
    volatile unsigned sink_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zadari;
    static TNullSender sender;
    static const TDevInfo listed = [] {
        TDevInfo r;
        r.family = kFamily6801;
        r.mac = "001A2B3C4D5E";
        r.macKey = r.mac;
        r.name = "listed";
        return r;
    }();
    TDispatchContext context;
    context.sender6801 = &sender;
    context.findRowByMac = [](const std::string& mac) -> const TDevInfo* {
        return mac.empty() ? nullptr : &listed;
    };
    TDevInfo record;
    (void)DispatchReply(std::string_view(reinterpret_cast<const char*>(data), size), record,
                        context);
    return 0;
}
