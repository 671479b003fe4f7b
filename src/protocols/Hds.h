#pragma once
// HDS family (code 6): search and replies by multicast to 239.255.255.250 port 8002, and its up
// to four "CMD * HDS/1.0" setting commands.
#include "protocols/DatagramSender.h"
#include "protocols/DevInfo.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zadari {

inline constexpr const char* kHdsGroup = "239.255.255.250";
inline constexpr std::uint16_t kHdsPort = 8002;

/// Sends the search with this run's `clientId` to the group; a failed send is ignored, the
/// result is always true.
bool SendHdsSearch(TDatagramSender& sender, std::string_view clientId,
                   const std::string& group = kHdsGroup, std::uint16_t port = kHdsPort);

/// Fills `record` from a datagram that begins with "HDS/1.0 200 OK"; false for anything else.
bool ParseHdsReply(std::string_view datagram, TDevInfo& record);

/// The command lines whose fields differ between `listed` and `edited`, in the order the device
/// takes them: netconf, dnameset, ddnsset, httpport.
std::vector<std::string> HdsSetCommandLines(const TDevInfo& listed, const TDevInfo& edited);

/// The complete requests for those command lines, addressed by the edited `deviceId`. Empty
/// when a value holds a line break (it would corrupt the request's lines).
std::vector<std::string> BuildHdsSetCommands(const TDevInfo& listed, const TDevInfo& edited,
                                             std::string_view userName, std::string_view password,
                                             std::string_view clientId);

/// Sends the requests one after the other to the group. False when a value holds a line break
/// (nothing sent) or a send failed (the later ones are not sent; earlier ones stay sent). True
/// otherwise, also when nothing differed and nothing was sent.
bool SetHdsNetwork(const TDevInfo& listed, const TDevInfo& edited, std::string_view userName,
                   std::string_view password, std::string_view clientId, TDatagramSender& sender,
                   const std::string& group = kHdsGroup, std::uint16_t port = kHdsPort);

} // namespace zadari
