#include "net/Tools_Net.h"

#include "protocols/Encoding.h"

#include <QHostAddress>
#include <QUdpSocket>

#include <algorithm>
#include <limits>

namespace zadari {

namespace {

constexpr int kPortRange = 1000;

/// Walks the "."-separated parts of a text; an empty text has one empty part, and empty parts
/// between two dots count.
class TPartWalker {
public:
    explicit TPartWalker(std::string_view text) : rest_(text) {}
    bool Next(std::string_view& part) {
        if (done_)
            return false;
        const auto dot = rest_.find('.');
        if (dot == std::string_view::npos) {
            part = rest_;
            done_ = true;
        } else {
            part = rest_.substr(0, dot);
            rest_.remove_prefix(dot + 1);
        }
        return true;
    }

private:
    std::string_view rest_;
    bool done_ = false;
};

std::size_t PartCount(std::string_view text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '.')) + 1;
}

std::int32_t PartValueOr0(std::string_view part) {
    std::int32_t value = 0;
    return TTools_Net::ReadIpPart(part, value) ? value : 0;
}

int Sign(int v) {
    return (v > 0) - (v < 0);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// Valid ports only: QUdpSocket takes a 16-bit port, and 0 would pick a random one.
bool TryBind(QUdpSocket& socket, int port) {
    if (port < 1 || port > 65535)
        return false;
    // DontShareAddress: a port another socket holds must fail to bind, not be shared.
    return socket.bind(QHostAddress(QHostAddress::AnyIPv4), static_cast<quint16>(port),
                       QAbstractSocket::DontShareAddress);
}

} // namespace

bool TTools_Net::ReadIpPart(std::string_view part, std::int32_t& value) {
    std::size_t i = 0;
    while (i < part.size() && IsBlank(part[i]))
        ++i;
    bool negative = false;
    if (i < part.size() && (part[i] == '+' || part[i] == '-')) {
        negative = part[i] == '-';
        ++i;
    }
    if (i == part.size())
        return false;
    std::int64_t magnitude = 0;
    for (; i < part.size(); ++i) {
        const char c = part[i];
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            return false;
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(signedValue);
    return true;
}

bool TTools_Net::BindUdpServer(QUdpSocket& socket, int firstPort) {
    int found = -1;
    {
        QUdpSocket probe;
        for (int port = firstPort; port < firstPort + kPortRange; ++port) {
            if (TryBind(probe, port)) {
                found = port;
                break;
            }
            probe.abort();
        }
        probe.abort();
    }
    if (found < 0)
        return false;
    // Another program may take the probed port before the endpoint binds it; go on upwards.
    for (int port = found; port < found + kPortRange; ++port) {
        socket.abort();
        if (TryBind(socket, port))
            return true;
    }
    socket.abort();
    return false;
}

std::string TTools_Net::IpBytesToText(const TIpBytes& address) {
    std::string text;
    text.reserve(15);
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (i)
            text.push_back('.');
        text += std::to_string(address[i]);
    }
    return text;
}

std::string TTools_Net::IpBytesToText(TByteView address) {
    TIpBytes bytes{};
    std::copy_n(address.begin(), std::min(address.size(), bytes.size()), bytes.begin());
    return IpBytesToText(bytes);
}

TIpBytes TTools_Net::IpTextToBytes(std::string_view text) {
    TIpBytes bytes{};
    std::string_view rest = text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::string_view part;
        const auto dot = rest.find('.');
        if (dot == std::string_view::npos) {
            part = rest;
            rest = {};
        } else {
            part = rest.substr(0, dot);
            rest.remove_prefix(dot + 1);
        }
        std::int32_t value = 0;
        if (!ReadIpPart(part, value))
            throw EConvertError("'" + std::string(part) + "' is not a valid integer value");
        bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);
    }
    return bytes;
}

int TTools_Net::CompareIp(std::string_view a, std::string_view b) {
    if (PartCount(a) != PartCount(b))
        return CompareText(a, b);
    TPartWalker wa(a), wb(b);
    std::string_view pa, pb;
    while (wa.Next(pa) && wb.Next(pb)) {
        const auto va = PartValueOr0(pa);
        const auto vb = PartValueOr0(pb);
        if (va != vb)
            return va > vb ? 1 : -1;
    }
    return 0;
}

int TTools_Net::CompareIpOrder(std::string_view a, std::string_view b) {
    // Lexicographic order of the part values; the walkers end together for equal part counts,
    // where this is exactly CompareIp.
    TPartWalker wa(a), wb(b);
    std::string_view pa, pb;
    for (;;) {
        const bool moreA = wa.Next(pa);
        const bool moreB = wb.Next(pb);
        if (!moreA || !moreB)
            return Sign(int(moreA) - int(moreB));
        const auto va = PartValueOr0(pa);
        const auto vb = PartValueOr0(pb);
        if (va != vb)
            return va > vb ? 1 : -1;
    }
}

std::vector<std::int32_t> TTools_Net::IpSortKey(std::string_view text) {
    std::vector<std::int32_t> key;
    key.reserve(4);
    TPartWalker walker(text);
    std::string_view part;
    while (walker.Next(part))
        key.push_back(PartValueOr0(part));
    return key;
}

int TTools_Net::CompareIpSortKeys(const std::vector<std::int32_t>& a,
                                  const std::vector<std::int32_t>& b) {
    const auto n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return a[i] > b[i] ? 1 : -1;
    }
    return Sign(int(a.size() > b.size()) - int(a.size() < b.size()));
}

} // namespace zadari
