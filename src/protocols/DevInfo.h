#pragma once
// The one record every discovery path fills and every list row owns.
#include "protocols/Bytes.h"
#include "protocols/StandardsInfo.h"

#include <cstdint>
#include <string>

namespace zadari {

/// Family codes: which protocol a device speaks.
enum TFamily : std::int32_t {
    kFamilyNone = -1, ///< nothing was parsed
    kFamilyKt352 = 0,
    kFamilyPeltra = 1,
    kFamilyMoi = 2,
    kFamilyUicam = 3,
    kFamilySdk = 4,
    kFamilyCtp = 5,
    kFamilyHds = 6,
    kFamilyZorix = 7,
    kFamily6801 = 8,
    kFamilyDh = 9,
    kFamilyOnvif = 100, ///< found only by ONVIF WS-Discovery
    kFamilyUpnp = 101,  ///< found only by SSDP/UPnP
    kFamilyMdns = 102,  ///< found only by mDNS/DNS-SD
    kFamilyZorixNet = 999,
};

/// Texts are the device's own bytes; numbers keep the widths the wire formats give them.
struct TDevInfo {
    std::int32_t protocolVersion = 0; ///< comma-text command-set version (item 21)
    std::int32_t family = kFamilyNone;
    std::string mac;    ///< as the device writes it; the key of a device in the list
    std::string macKey; ///< mac without "-" and ":", blanks as "0", upper case
    std::string deviceId;
    std::string name;
    std::string version;
    std::string ip;
    std::string mask;
    std::string gateway;
    std::string sdkText; ///< family 4: handed back unchanged when configuring
    std::uint8_t dnsAuto = 0;
    std::string dns1;
    std::string dns2;
    std::uint16_t httpPort = 0;
    std::uint16_t dataPort = 0; ///< families 4 and 8: carried into their commands
    std::uint16_t sdkWord = 0;  ///< family 4: handed back when configuring
    std::uint8_t ipMode = 0;    ///< 0 PPPoE, 1 dynamic (DHCP), 2 fixed
    std::uint8_t ddnsEnabled = 0;
    std::string ddnsUser;
    std::string ddnsPassword;
    std::string ddnsHost; ///< host, possibly followed by ":" and a port
    std::string ddnsHost2;
    std::int32_t ddnsPort = 0;
    std::int32_t uicamLow4 = 0;
    std::int32_t ddnsOption = 0;
    std::int32_t uicamLow3 = 0;
    std::int32_t uicamBit7 = 0;
    std::int32_t uicamBits45 = 0;
    std::string uicamPairA;
    std::string uicamPairB;
    std::string userName;
    std::string userPassword;
    std::int32_t sdkValue = 0;
    std::int32_t age = 0; ///< rows only: 10 on every reply, one less per tick
    TBytes rawReply;      ///< family 3: the 520-byte reply, template of its set command; else empty
    std::uint16_t binWord = 0; ///< family 8: echoed by its set command
    /// What the standard discovery protocols said about the device (any family's row).
    TStandardsRef standards;
    /// Rows only: the kernel's index of the adapter the device's reply came in on (0: not
    /// known). Not compared, not exported: the first adapter that heard the device is kept.
    int seenOnInterface = 0;

    bool HasRawReply() const { return !rawReply.empty(); }
    bool operator==(const TDevInfo&) const = default;
};

/// The letters the list shows for a family code ("" for an unknown code), from the family table.
std::string FamilyLetters(std::int32_t family);

} // namespace zadari
