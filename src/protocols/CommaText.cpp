#include "protocols/CommaText.h"

#include "protocols/Encoding.h"

#include <limits>
#include <vector>

namespace zadari {

namespace {

bool SendQuiet(TDatagramSender& sender, std::string_view text, std::uint16_t port) {
    // One failed query must not stop the search cycle, whatever the socket layer does.
    return GuardedSend(sender, ToByteView(text), kBroadcastAddress, port);
}

struct TFields {
    std::vector<std::string> items;

    std::size_t Count() const { return items.size(); }
    // Replies may pass the minimum count and still end before a field their layout reads; such
    // a field reads as empty, so the device is still listed with what it did send.
    const std::string& operator[](std::size_t i) const {
        static const std::string kEmpty;
        return i < items.size() ? items[i] : kEmpty;
    }
};

TFields SplitFields(std::string_view datagram) {
    TFields f;
    f.items.reserve(24);
    SplitText(datagram, ",", f.items);
    return f;
}

std::uint8_t IpModeOf(const std::string& pppoeFlag, const std::string& dynamicFlag) {
    std::uint8_t mode = 2;
    if (dynamicFlag == "1")
        mode = 1;
    if (pppoeFlag == "1")
        mode = 0;
    return mode;
}

void ReadCommonFields(const TFields& f, TDevInfo& r) {
    r.mac = f[2];
    r.macKey = MacKeyOf(r.mac);
    r.ip = f[3];
    r.httpPort = static_cast<std::uint16_t>(DecimalOr(f[4], 80));
    r.mask = f[5];
    r.gateway = f[6];
    r.name = f[7];
    r.ddnsHost = f[8];
    r.ddnsUser = f[9];
    r.ddnsPassword = f[10];
}

// PELTRA and ZORIX share one layout; only the word, the minimum count and the code differ.
bool ParseLongReply(std::string_view datagram, std::string_view word, std::size_t minFields,
                    std::int32_t family, TDevInfo& r) {
    const TFields f = SplitFields(datagram);
    if (f.Count() < minFields || f[0] != word)
        return false;
    r.protocolVersion = 0;
    r.family = family;
    ReadCommonFields(f, r);
    r.ddnsOption = DecimalOr(f[11], 0);
    r.version = f[12] + "." + f[13] + "." + f[14];
    r.ipMode = IpModeOf(f[15], f[16]);
    r.dnsAuto = f[17] == "1" ? 1 : 0;
    if (r.dnsAuto) {
        r.dns1.clear();
        r.dns2.clear();
    } else {
        r.dns1 = f[18];
        r.dns2 = f[19];
    }
    if (f.Count() > 21) {
        r.ddnsHost2 = f[20];
        r.protocolVersion = DecimalOr(f[21], 0);
    }
    return true;
}

std::string Flag(bool set) {
    return set ? "1" : "0";
}

// Values are written as they are: the devices know no quoting, so a "," in a value shifts the
// later fields exactly as it does in their own replies.
std::string JoinSetCommand(std::string_view head, const TDevInfo& listed, const TDevInfo& edited,
                           bool withName, std::string_view userName, std::string_view password) {
    std::string out(head);
    auto add = [&out](std::string_view v, bool first = false) {
        if (!first)
            out.push_back(',');
        out.append(v);
    };
    add(listed.mac, true);
    add(edited.mac);
    add(edited.ip);
    add(std::to_string(edited.httpPort));
    add(edited.mask);
    add(edited.gateway);
    if (withName)
        add(edited.name);
    add(edited.ddnsHost);
    add(edited.ddnsUser);
    add(edited.ddnsPassword);
    add(Flag(edited.ipMode == 0));
    add(Flag(edited.ipMode == 1));
    add(Flag(edited.dnsAuto != 0));
    add(edited.dns1);
    add(edited.dns2);
    add(userName);
    add(password);
    return out;
}

// A failed setting command reports false so that the apply flow keeps the row; nothing is
// retried.
bool PauseAndSend(TDatagramSender& sender, const std::string& text, std::uint16_t port) {
    sender.Pause(10);
    return SendQuiet(sender, text, port);
}

} // namespace

std::int32_t DecimalOr(std::string_view text, std::int32_t fallback) {
    return ParseDecimal(text).value_or(fallback);
}

std::optional<std::int32_t> ParseDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

bool SendPeltraQuery(TDatagramSender& sender, std::uint16_t port) {
    return SendQuiet(sender, kPeltraQuery, port);
}

bool SendZorixQuery(TDatagramSender& sender, std::uint16_t port) {
    return SendQuiet(sender, kZorixQuery, port);
}

bool SendZorixNetQuery(TDatagramSender& sender, std::uint16_t port) {
    return SendQuiet(sender, kZorixNetQuery, port);
}

bool SendIpQuery(TDatagramSender& sender, std::uint16_t port) {
    return SendQuiet(sender, kIpQuery, port);
}

bool SendPeltraAndZorixQueries(TDatagramSender& sender, std::uint16_t port) {
    return SendPeltraQuery(sender, port) && SendZorixQuery(sender, port);
}

bool SendIpAndZorixNetQueries(TDatagramSender& sender, std::uint16_t port) {
    if (!SendIpQuery(sender, port))
        return false;
    sender.Pause(1);
    return SendZorixNetQuery(sender, port);
}

bool IsIpEchoRequest(std::string_view datagram) {
    return datagram == kIpReply;
}

std::string IpEchoAnswer(std::string_view senderAddress) {
    std::string out(kIpReply);
    out.append(senderAddress);
    return out;
}

bool ParsePeltraReply(std::string_view datagram, TDevInfo& record) {
    return ParseLongReply(datagram, kPeltraReplyWord, 19, kFamilyPeltra, record);
}

bool ParseZorixReply(std::string_view datagram, TDevInfo& record) {
    return ParseLongReply(datagram, kZorixReplyWord, 17, kFamilyZorix, record);
}

bool ParseZorixNetReply(std::string_view datagram, TDevInfo& record) {
    const TFields f = SplitFields(datagram);
    if (f.Count() < 16 || f[0] != kZorixNetReplyWord)
        return false;
    record.protocolVersion = 0;
    record.family = kFamilyZorixNet;
    ReadCommonFields(f, record);
    record.ipMode = IpModeOf(f[11], f[12]);
    record.dnsAuto = f[13] == "1" ? 1 : 0;
    record.dns1 = f[14];
    record.dns2 = f[15];
    record.version = f[16];
    return true;
}

std::string BuildPeltraSetCommand(const TDevInfo& listed, const TDevInfo& edited,
                                  std::string_view userName, std::string_view password) {
    return JoinSetCommand("PELTRAQUERY,1,", listed, edited, true, userName, password);
}

std::string BuildZorixNetSetCommand(const TDevInfo& listed, const TDevInfo& edited,
                                    std::string_view userName, std::string_view password) {
    return JoinSetCommand("ZORIXNETQUERY,1,", listed, edited, false, userName, password);
}

std::string BuildPeltraCommand3(const TDevInfo& listed) {
    return "PELTRAQUERY,3," + listed.mac;
}

bool SetPeltraNetwork(const TDevInfo& listed, const TDevInfo& edited, std::string_view userName,
                      std::string_view password, TDatagramSender& sender, std::uint16_t port) {
    (void)port;
    return PauseAndSend(sender, BuildPeltraSetCommand(listed, edited, userName, password),
                        kCommaTextPort);
}

bool SetZorixNetNetwork(const TDevInfo& listed, const TDevInfo& edited, std::string_view userName,
                        std::string_view password, TDatagramSender& sender, std::uint16_t port) {
    return PauseAndSend(sender, BuildZorixNetSetCommand(listed, edited, userName, password), port);
}

bool SendPeltraCommand3(const TDevInfo& listed, TDatagramSender& sender) {
    return PauseAndSend(sender, BuildPeltraCommand3(listed), kCommaTextPort);
}

} // namespace zadari
