#include "protocols/Dispatch.h"

#include "protocols/CommaText.h"
#include "protocols/Ctp.h"
#include "protocols/Hds.h"
#include "protocols/Kt352.h"
#include "protocols/Moi.h"
#include "protocols/Port6801.h"
#include "protocols/Uicam.h"

namespace zadari {

namespace {

using TParser = bool (*)(std::string_view, TDevInfo&);

struct TMagic {
    std::string_view magic;
    TParser parser;
};

// Tried in this order; the first magic that matches decides, even when its parser then rejects
// the datagram.
constexpr TMagic kMagics[] = {
    {"KT352", ParseKt352Reply},      {"PELTRAREPLY", ParsePeltraReply},
    {"ZORIXREPLY", ParseZorixReply}, {"ZORIXNETREPLY", ParseZorixNetReply},
    {"MO_I", ParseMoiReply},         {"uiv2", ParseUicamReply},
    {"REPLY", ParseCtpReply},        {"HDS/1.0 200 OK", ParseHdsReply},
};

} // namespace

bool DispatchReply(std::string_view datagram, TDevInfo& record, const TDispatchContext& context) {
    // Magics are compared on the text before the first NUL, so a NUL inside a magic's length
    // makes it not match; the parsers still get the whole datagram.
    const std::string_view text = datagram.substr(0, datagram.find('\0'));
    for (const auto& m : kMagics)
        if (text.starts_with(m.magic))
            return m.parser(datagram, record);
    if (datagram.size() >= 3 && datagram[0] == '\x10' && datagram[1] == '\x10')
        return Handle6801Message(datagram, record, context);
    return false;
}

} // namespace zadari
