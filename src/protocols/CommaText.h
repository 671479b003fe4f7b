#pragma once
// The comma-text families on UDP port 10000: PELTRA (1), ZORIX (7) and ZORIXNET (999). Their
// queries, the parsers of their replies, the IP echo texts and the network-setting commands.
#include "protocols/DatagramSender.h"
#include "protocols/DevInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zadari {

inline constexpr std::uint16_t kCommaTextPort = 10000;

inline constexpr std::string_view kPeltraQuery = "PELTRAQUERY,0";
inline constexpr std::string_view kZorixQuery = "ZORIXQUERY,0";
inline constexpr std::string_view kZorixNetQuery = "ZORIXNETQUERY,0";
inline constexpr std::string_view kIpQuery = "IPQUERY";
inline constexpr std::string_view kIpReply = "IPREPLY";

inline constexpr std::string_view kPeltraReplyWord = "PELTRAREPLY";
inline constexpr std::string_view kZorixReplyWord = "ZORIXREPLY";
inline constexpr std::string_view kZorixNetReplyWord = "ZORIXNETREPLY";

// Each query is broadcast to `port`; a failed send is swallowed. True when it went out.
bool SendPeltraQuery(TDatagramSender& sender, std::uint16_t port);
bool SendZorixQuery(TDatagramSender& sender, std::uint16_t port);
bool SendZorixNetQuery(TDatagramSender& sender, std::uint16_t port);
bool SendIpQuery(TDatagramSender& sender, std::uint16_t port);

/// "PELTRAQUERY,0" then "ZORIXQUERY,0" as one step: when the first cannot be sent the second is
/// not tried. True when both went out.
bool SendPeltraAndZorixQueries(TDatagramSender& sender, std::uint16_t port);
/// "IPQUERY", a 1 ms pause, then "ZORIXNETQUERY,0", as one step like the above.
bool SendIpAndZorixNetQueries(TDatagramSender& sender, std::uint16_t port);

/// The IP echo: a datagram that is exactly "IPREPLY" asks to be answered with "IPREPLY"
/// followed directly by the asker's dotted address. It never describes a device.
bool IsIpEchoRequest(std::string_view datagram);
std::string IpEchoAnswer(std::string_view senderAddress);

// Parsers over a whole datagram and a cleared record. True when the reply was accepted and the
// record filled; on false the record is untouched.
bool ParsePeltraReply(std::string_view datagram, TDevInfo& record);
bool ParseZorixReply(std::string_view datagram, TDevInfo& record);
bool ParseZorixNetReply(std::string_view datagram, TDevInfo& record);

/// A decimal integer as the devices write it: leading blanks and a sign allowed, nothing after
/// the digits. Nothing for any other text or a number beyond 32 bits.
std::optional<std::int32_t> ParseDecimal(std::string_view text);
/// ParseDecimal, with `fallback` for a text that is not a number.
std::int32_t DecimalOr(std::string_view text, std::int32_t fallback);

// Network-setting commands. `listed` is the record as the device last reported it, `edited` a
// copy with the user's changes; the account is written into the message as given.

/// "PELTRAQUERY,1," and 17 values.
std::string BuildPeltraSetCommand(const TDevInfo& listed, const TDevInfo& edited,
                                  std::string_view userName, std::string_view password);
/// "ZORIXNETQUERY,1," and 16 values (no name).
std::string BuildZorixNetSetCommand(const TDevInfo& listed, const TDevInfo& edited,
                                    std::string_view userName, std::string_view password);
/// "PELTRAQUERY,3," and the listed MAC.
std::string BuildPeltraCommand3(const TDevInfo& listed);

/// Pauses 10 ms and broadcasts the PELTRA command to port 10000 (the devices listen there only,
/// so `port` is not used). True when it was handed to the network.
bool SetPeltraNetwork(const TDevInfo& listed, const TDevInfo& edited, std::string_view userName,
                      std::string_view password, TDatagramSender& sender, std::uint16_t port);
/// Pauses 10 ms and broadcasts the ZORIXNET command to `port`. True when it was sent.
bool SetZorixNetNetwork(const TDevInfo& listed, const TDevInfo& edited, std::string_view userName,
                        std::string_view password, TDatagramSender& sender, std::uint16_t port);
/// Pauses 10 ms and broadcasts command 3 to port 10000. True when it was sent.
bool SendPeltraCommand3(const TDevInfo& listed, TDatagramSender& sender);

} // namespace zadari
