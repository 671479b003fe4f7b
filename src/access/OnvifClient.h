#pragma once
// The client of an ONVIF device's management service: SOAP 1.2 over HTTP POST to the service
// address (XAddr) the device announced, authenticated with a WS-Security UsernameToken whose
// Created follows the device's own clock, and with HTTP Digest where the device asks for it.
// Every call returns a status that names a message key; the account never appears in a status,
// a detail text or anything else the client writes.
//
// The client blocks for the length of a call (bounded by timeoutMs) and keeps no thread or
// object of its own, so it may run on any one thread at a time.
#include "access/OnvifDevice.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zadari {

enum class TOnvifError {
    kNone,
    kNotAuthorized,   ///< the account was refused (fault NotAuthorized, HTTP 401/403)
    kInvalidArgument, ///< a value was refused (ter:InvalidArgVal and its kin)
    kBadAddress,      ///< an address was refused (ter:InvalidIPv4Address, ...)
    kBadName,         ///< the name is no valid host name (ter:InvalidHostname)
    kBadMask,         ///< a subnet mask whose ones are not contiguous
    kNotSupported,    ///< the device does not offer the call (ter:ActionNotSupported, ...)
    kFault,           ///< any other fault
    kHttp,            ///< an HTTP error status without a SOAP fault
    kTimeout,         ///< no answer in time
    kConnect,         ///< no connection, or the connection broke
    kBadAnswer,       ///< an answer that is not the expected SOAP (malformed, too large, DTD)
    kNoService,       ///< no device service address is known
};

/// The IDS_ key of an error's message ("" for kNone).
const char* OnvifMessageKey(TOnvifError error);

struct TOnvifStatus {
    TOnvifError error = TOnvifError::kNone;
    std::string messageKey; ///< IDS_ONVIF_..., empty when the call succeeded
    std::string detail;     ///< English, for zadari-cli and logs; never holds the account
    int httpStatus = 0;     ///< the last HTTP status seen (0: none)

    bool Ok() const { return error == TOnvifError::kNone; }
    static TOnvifStatus Failure(TOnvifError error, std::string detail, int httpStatus = 0);
};

template <class T> struct TOnvifResult : TOnvifStatus { T value{}; };

/// The status a SOAP fault stands for (without detail).
TOnvifError OnvifErrorOfFault(const TSoapFault& fault);

// ---- transport ----------------------------------------------------------------------------

struct TOnvifHttpRequest {
    std::string url;
    std::string action; ///< the SOAP action, sent as the Content-Type's action parameter
    std::string body;
    std::string user; ///< for HTTP Digest when the device asks for it; empty: none
    std::string password;
    int timeoutMs = 5000;
};

struct TOnvifHttpAnswer {
    enum class TFailure { kNone, kConnect, kTimeout, kTooLarge, kOther };
    TFailure failure = TFailure::kNone;
    int status = 0;
    std::string body;
    std::string failureText; ///< English
};

/// One HTTP POST and its answer. The program uses TCurlOnvifTransport; tests give canned answers.
class IOnvifTransport {
public:
    virtual ~IOnvifTransport() = default;
    virtual TOnvifHttpAnswer Post(const TOnvifHttpRequest& request) = 0;
};

/// libcurl: Content-Type application/soap+xml with the action, no proxy, no redirects, the body
/// capped at kMaxSoapAnswerBytes. A 401 whose challenge offers Digest is answered once more with
/// HTTP Digest (never Basic).
class TCurlOnvifTransport : public IOnvifTransport {
public:
    int connectTimeoutMs = 3000;
    TOnvifHttpAnswer Post(const TOnvifHttpRequest& request) override;

private:
    TOnvifHttpAnswer PostOnce(const TOnvifHttpRequest& request, bool digest, bool& digestAsked);
};

// ---- the client ---------------------------------------------------------------------------

class TOnvifClient {
public:
    /// `transport` must outlive the client. `xaddr` is the device service URL.
    TOnvifClient(IOnvifTransport& transport, std::string xaddr);

    const std::string& XAddr() const { return xaddr_; }
    void SetXAddr(std::string xaddr) { xaddr_ = std::move(xaddr); }

    /// The account for the UsernameToken and HTTP Digest; an empty user sends no token.
    void SetAccount(std::string user, std::string password);
    bool HasAccount() const { return !user_.empty(); }

    /// The device's clock minus ours, from the last GetSystemDateAndTime.
    std::int64_t ClockOffsetMs() const { return clockOffsetMs_; }
    void SetClockOffsetMs(std::int64_t offset);
    bool ClockKnown() const { return clockKnown_; }

    /// Bounds every call.
    int timeoutMs = 5000;
    /// Our clock, milliseconds since 1970 UTC (replaceable for tests).
    std::function<std::int64_t()> clock;
    /// The nonce of each request (16 random bytes unless replaced).
    std::function<QByteArray()> nonces;

    /// Unauthenticated (retried with the account if the device insists); on success the clock
    /// offset is taken from the answer. Authenticated calls run it first when the offset is not
    /// known yet.
    TOnvifResult<TOnvifSystemTime> GetSystemDateAndTime();
    TOnvifResult<TOnvifDeviceInfo> GetDeviceInformation();
    TOnvifResult<std::vector<TOnvifNetworkInterface>> GetNetworkInterfaces();
    TOnvifResult<TOnvifGateway> GetNetworkDefaultGateway();
    TOnvifResult<TOnvifDns> GetDNS();
    TOnvifResult<TOnvifHostname> GetHostname();
    TOnvifResult<std::vector<TOnvifNetworkProtocol>> GetNetworkProtocols();
    TOnvifResult<std::vector<TOnvifScope>> GetScopes();
    /// The value is RebootNeeded: the caller then sends SystemReboot.
    TOnvifResult<bool> SetNetworkInterfaces(const std::string& token,
                                            const TOnvifIPv4Setting& ipv4);
    TOnvifStatus SetNetworkDefaultGateway(const TOnvifGateway& gateway);
    TOnvifStatus SetHostname(const std::string& name);
    TOnvifStatus SetNetworkProtocols(const std::vector<TOnvifNetworkProtocol>& protocols);
    TOnvifStatus SetDNS(const TOnvifDns& dns);
    /// Replaces every configurable scope of the device with `scopes`.
    TOnvifStatus SetScopes(const std::vector<std::string>& scopes);
    /// The value is the device's message.
    TOnvifResult<std::string> SystemReboot();

private:
    TSoapAnswer Exchange(const TOnvifCall& call, bool authenticate, TOnvifStatus& status);
    template <class T, class TDecode> TOnvifResult<T> Call(const TOnvifCall& call, TDecode decode);
    TOnvifStatus CallWithoutValue(const TOnvifCall& call);
    std::string Scrub(const QString& deviceText) const;

    IOnvifTransport& transport_;
    std::string xaddr_;
    std::string user_;
    std::string password_;
    std::int64_t clockOffsetMs_ = 0;
    bool clockKnown_ = false;
    bool clockTried_ = false;
};

} // namespace zadari
