// Everything the family-9 client reads from a device: search replies, settings
// acknowledgements, the status page's version item, and the HTTP answer to an upload. The first
// byte picks how the rest is read; any input must give a defined result.
#include "access/HttpAnswer.h"
#include "access/UploadBody.h"
#include "protocols/Dh.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    const zadari::TByteView rest(data + 1, size - 1);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    zadari::TDevInfo record;
    if (zadari::ParseDhSearchReply(rest, record)) {
        // Each text stays within its field; the MAC is always six pairs.
        if (record.family != zadari::kFamilyDh || record.mac.size() != 17 ||
            record.macKey.size() != 12 || record.name.size() > 80 || record.ip.size() > 16 ||
            record.ddnsHost.size() > 64 || (record.ipMode != 1 && record.ipMode != 2))
            std::abort();
        // A record read back into a settings request keeps the request's fixed size.
        if (zadari::BuildDhSettingsRequest(record.userName, record.userPassword, record).size() !=
            zadari::kDhSettingsRequestSize)
            std::abort();
    }
    (void)zadari::ParseDhSettingsAck(rest);

    const std::string version = zadari::DhSysVersionOf(text);
    if (version.size() > text.size())
        std::abort();
    (void)zadari::DhFirmwareUploadUrl("http://10.0.0.5:81", "admin", "", version);

    zadari::THttpAddress address;
    (void)zadari::ParseHttpUrl(text, address);

    // The answer stream, fed whole or in pieces of (mode % 7 + 1) bytes.
    zadari::THttpAnswerReader reader;
    if (mode & 0x80) {
        reader.Feed(text);
    } else {
        const std::size_t step = mode % 7 + 1;
        for (std::size_t at = 0; at < text.size(); at += step)
            reader.Feed(text.substr(at, step));
    }
    if (mode & 0x40)
        reader.Close();
    if (reader.State() == zadari::THttpAnswerReader::TState::Complete &&
        (reader.Status() < 200 || reader.Status() > 999))
        std::abort();
    return 0;
}
