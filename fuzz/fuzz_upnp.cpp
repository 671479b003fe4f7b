// UPnP device descriptions as a LOCATION serves them.
#include "standards/StandardsMac.h"
#include "standards/UpnpDescription.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    zadari::TUpnpInfo info;
    info.usn = "uuid:x";
    if (zadari::ParseUpnpDescription(text, "http://192.168.1.20:49152/description.xml", info)) {
        // Only a web address ever comes out as the presentation page.
        const std::string& url = info.presentationUrl;
        if (info.usn != "uuid:x" ||
            (!url.empty() && url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0))
            std::abort();
        const std::string mac = zadari::MacOfUpnp(info);
        if (!mac.empty() && mac.size() != 12)
            std::abort();
    }
    (void)zadari::HttpUrlHost(text);
    return 0;
}
