// uicam replies are parsed and then kept as the template of the setting command, so both the
// parser and the command built from a hostile reply must stay inside their 520 bytes.
#include "protocols/Uicam.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    zadari::TDevInfo record;
    if (!zadari::ParseUicamReply(datagram, record))
        return 0;
    if (record.rawReply.size() != zadari::kUicamMessageSize)
        std::abort();
    zadari::TBytes command;
    if (zadari::BuildUicamSetCommand(record, record, command) &&
        command.size() != zadari::kUicamMessageSize)
        std::abort();
    return 0;
}
