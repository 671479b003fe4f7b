#include "access/OnvifClient.h"

#include "access/CurlSession.h"

#include <QByteArray>
#include <QDateTime>

#include <utility>

namespace zadari {

namespace {

bool LocalIs(const std::pair<QString, QString>& subcode, const char* name) {
    // ONVIF subcodes live in the error namespace; devices that forget to declare the prefix are
    // read by the local name alone.
    return subcode.second == QLatin1String(name) &&
           (subcode.first == QLatin1String(OnvifNs::kError) || subcode.first.isEmpty());
}

const char* ErrorText(TOnvifError error) {
    switch (error) {
    case TOnvifError::kNone:
        return "done";
    case TOnvifError::kNotAuthorized:
        return "the camera refused the account";
    case TOnvifError::kInvalidArgument:
        return "the camera refused a value";
    case TOnvifError::kBadAddress:
        return "the camera refused an address";
    case TOnvifError::kBadName:
        return "the camera refused the name";
    case TOnvifError::kBadMask:
        return "the subnet mask is not valid";
    case TOnvifError::kNotSupported:
        return "the camera does not support this call";
    case TOnvifError::kFault:
        return "the camera answered with an error";
    case TOnvifError::kHttp:
        return "the camera answered with an HTTP error";
    case TOnvifError::kTimeout:
        return "the camera did not answer in time";
    case TOnvifError::kConnect:
        return "no connection to the camera's ONVIF service";
    case TOnvifError::kBadAnswer:
        return "the camera's answer could not be read";
    case TOnvifError::kNoService:
        return "no ONVIF device service address is known";
    }
    return "";
}

// ---- libcurl ------------------------------------------------------------------------------

struct TPostState {
    std::string body;
    bool tooLarge = false;
    bool digestChallenge = false; ///< a WWW-Authenticate header offered Digest
};

size_t NoteChallenge(char* data, size_t size, size_t count, void* user) {
    auto* state = static_cast<TPostState*>(user);
    const size_t n = size * count;
    const QByteArray line = QByteArray(data, static_cast<qsizetype>(n)).trimmed().toLower();
    if (line.startsWith("www-authenticate:") && line.mid(17).trimmed().startsWith("digest"))
        state->digestChallenge = true;
    return n;
}

size_t CollectAnswer(char* data, size_t size, size_t count, void* user) {
    auto* state = static_cast<TPostState*>(user);
    const size_t n = size * count;
    if (state->body.size() + n > kMaxSoapAnswerBytes) {
        state->tooLarge = true;
        return 0; // ends the transfer
    }
    state->body.append(data, n);
    return n;
}

} // namespace

const char* OnvifMessageKey(TOnvifError error) {
    switch (error) {
    case TOnvifError::kNone:
        return "";
    case TOnvifError::kNotAuthorized:
        return "IDS_ONVIF_NOTAUTHORIZED";
    case TOnvifError::kInvalidArgument:
        return "IDS_ONVIF_INVALIDARG";
    case TOnvifError::kBadAddress:
        return "IDS_ONVIF_BADADDRESS";
    case TOnvifError::kBadName:
        return "IDS_ONVIF_BADNAME";
    case TOnvifError::kBadMask:
        return "IDS_ONVIF_BADMASK";
    case TOnvifError::kNotSupported:
        return "IDS_ONVIF_NOTSUPPORTED";
    case TOnvifError::kFault:
        return "IDS_ONVIF_FAULT";
    case TOnvifError::kHttp:
        return "IDS_ONVIF_HTTPERROR";
    case TOnvifError::kTimeout:
        return "IDS_ONVIF_TIMEOUT";
    case TOnvifError::kConnect:
        return "IDS_ONVIF_CONNECT";
    case TOnvifError::kBadAnswer:
        return "IDS_ONVIF_BADANSWER";
    case TOnvifError::kNoService:
        return "IDS_ONVIF_NOSERVICE";
    }
    return "";
}

TOnvifStatus TOnvifStatus::Failure(TOnvifError error, std::string detail, int httpStatus) {
    TOnvifStatus status;
    status.error = error;
    status.messageKey = OnvifMessageKey(error);
    status.detail = std::move(detail);
    status.httpStatus = httpStatus;
    return status;
}

TOnvifError OnvifErrorOfFault(const TSoapFault& fault) {
    // WS-Security's own failures come as the code or a subcode in the wsse namespace.
    if (fault.codeNs == QLatin1String(OnvifNs::kWsse))
        return TOnvifError::kNotAuthorized;
    for (const auto& subcode : fault.subcodes) {
        if (LocalIs(subcode, "NotAuthorized") || subcode.first == QLatin1String(OnvifNs::kWsse))
            return TOnvifError::kNotAuthorized;
    }
    for (const auto& subcode : fault.subcodes) {
        if (LocalIs(subcode, "InvalidHostname"))
            return TOnvifError::kBadName;
        if (LocalIs(subcode, "InvalidIPv4Address") || LocalIs(subcode, "InvalidIPv6Address") ||
            LocalIs(subcode, "InvalidGatewayAddress"))
            return TOnvifError::kBadAddress;
    }
    for (const auto& subcode : fault.subcodes) {
        if (subcode.second.endsWith(QLatin1String("NotSupported")))
            return TOnvifError::kNotSupported;
    }
    for (const auto& subcode : fault.subcodes) {
        if (subcode.second.startsWith(QLatin1String("InvalidArg")) ||
            subcode.second.startsWith(QLatin1String("Invalid")))
            return TOnvifError::kInvalidArgument;
    }
    return TOnvifError::kFault;
}

// ---- transport ----------------------------------------------------------------------------

TOnvifHttpAnswer TCurlOnvifTransport::Post(const TOnvifHttpRequest& request) {
    // HTTP Digest only after the device asked for it: with Digest on from the start libcurl
    // probes with an empty POST, which a device that wants only the UsernameToken refuses.
    bool digestAsked = false;
    TOnvifHttpAnswer answer = PostOnce(request, false, digestAsked);
    if (answer.failure == TOnvifHttpAnswer::TFailure::kNone && answer.status == 401 &&
        digestAsked && !request.user.empty())
        answer = PostOnce(request, true, digestAsked);
    return answer;
}

TOnvifHttpAnswer TCurlOnvifTransport::PostOnce(const TOnvifHttpRequest& request, bool digest,
                                               bool& digestAsked) {
    TOnvifHttpAnswer answer;
    TCurlEasy curl;
    if (!curl) {
        answer.failure = TOnvifHttpAnswer::TFailure::kOther;
        answer.failureText = "libcurl could not start a transfer";
        return answer;
    }
    CURL* h = curl.Get();
    TCurlHeaders headers;
    const std::string contentType =
        "Content-Type: application/soap+xml; charset=utf-8; action=\"" + request.action + "\"";
    headers.Append(contentType.c_str());
    headers.Append("Accept: application/soap+xml, text/xml");
    headers.Append("Expect:"); // no 100-continue round: some devices never send it

    TPostState state;
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.Get());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutMs));
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*"); // cameras are reached directly
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CollectAnswer);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &NoteChallenge);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &state);
    if (digest) {
        // Only Digest: the password never travels in the clear.
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
        curl_easy_setopt(h, CURLOPT_USERNAME, request.user.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, request.password.c_str());
    }

    const CURLcode result = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    answer.status = static_cast<int>(status);
    digestAsked = state.digestChallenge;
    if (result == CURLE_OK) {
        answer.body = std::move(state.body);
        return answer;
    }
    answer.failureText = curl_easy_strerror(result);
    if (state.tooLarge) {
        answer.failure = TOnvifHttpAnswer::TFailure::kTooLarge;
        answer.failureText = "the answer is longer than 256 KiB";
    } else if (result == CURLE_OPERATION_TIMEDOUT) {
        answer.failure = TOnvifHttpAnswer::TFailure::kTimeout;
    } else if (result == CURLE_COULDNT_CONNECT || result == CURLE_COULDNT_RESOLVE_HOST ||
               result == CURLE_GOT_NOTHING || result == CURLE_RECV_ERROR ||
               result == CURLE_SEND_ERROR) {
        answer.failure = TOnvifHttpAnswer::TFailure::kConnect;
    } else {
        answer.failure = TOnvifHttpAnswer::TFailure::kOther;
    }
    return answer;
}

// ---- the client ---------------------------------------------------------------------------

TOnvifClient::TOnvifClient(IOnvifTransport& transport, std::string xaddr)
    : clock([] { return QDateTime::currentMSecsSinceEpoch(); }), nonces(&NewOnvifNonce),
      transport_(transport), xaddr_(std::move(xaddr)) {}

void TOnvifClient::SetAccount(std::string user, std::string password) {
    user_ = std::move(user);
    password_ = std::move(password);
}

void TOnvifClient::SetClockOffsetMs(std::int64_t offset) {
    clockOffsetMs_ = offset;
    clockKnown_ = true;
    clockTried_ = true;
}

std::string TOnvifClient::Scrub(const QString& deviceText) const {
    // A device's own words go into details only when short, printable, and free of the account.
    QString text = deviceText.left(200).simplified();
    for (QChar& c : text) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    const std::string out = text.toStdString();
    if ((!user_.empty() && out.find(user_) != std::string::npos) ||
        (!password_.empty() && out.find(password_) != std::string::npos))
        return {};
    return out;
}

TSoapAnswer TOnvifClient::Exchange(const TOnvifCall& call, bool authenticate,
                                   TOnvifStatus& status) {
    status = {};
    const std::string& op = call.operation;
    if (xaddr_.empty()) {
        status = TOnvifStatus::Failure(TOnvifError::kNoService,
                                       op + ": " + ErrorText(TOnvifError::kNoService));
        return {};
    }
    const bool withToken = authenticate && HasAccount();
    if (withToken && !clockTried_) {
        // The digest's Created must fall inside the device's window: learn its clock first.
        const TOnvifStatus clockStatus = GetSystemDateAndTime();
        if (clockStatus.error == TOnvifError::kConnect ||
            clockStatus.error == TOnvifError::kTimeout) {
            status = clockStatus;
            return {};
        }
    }
    TUsernameToken token;
    if (withToken)
        token = MakeUsernameToken(user_, password_, nonces(), clock() + clockOffsetMs_);
    TOnvifHttpRequest request;
    request.url = xaddr_;
    request.action = call.Action();
    request.body = BuildSoapRequest(withToken ? &token : nullptr, call.body);
    request.user = user_;
    request.password = password_;
    request.timeoutMs = timeoutMs;
    const TOnvifHttpAnswer http = transport_.Post(request);

    auto fail = [&](TOnvifError error, const std::string& more) {
        std::string detail = op + ": " + ErrorText(error);
        if (!more.empty())
            detail += " (" + more + ")";
        status = TOnvifStatus::Failure(error, std::move(detail), http.status);
    };
    switch (http.failure) {
    case TOnvifHttpAnswer::TFailure::kNone:
        break;
    case TOnvifHttpAnswer::TFailure::kTimeout:
        fail(TOnvifError::kTimeout, http.failureText);
        return {};
    case TOnvifHttpAnswer::TFailure::kTooLarge:
        fail(TOnvifError::kBadAnswer, http.failureText);
        return {};
    case TOnvifHttpAnswer::TFailure::kConnect:
    case TOnvifHttpAnswer::TFailure::kOther:
        fail(TOnvifError::kConnect, http.failureText);
        return {};
    }

    TSoapAnswer soap = ReadSoapAnswer(http.body);
    const std::string httpText = "HTTP " + std::to_string(http.status);
    if (soap.Ok() && soap.isFault) {
        TOnvifError error = OnvifErrorOfFault(soap.fault);
        if (error == TOnvifError::kFault && (http.status == 401 || http.status == 403))
            error = TOnvifError::kNotAuthorized;
        std::string more = httpText + ", " + soap.fault.CodeText();
        const std::string reason = Scrub(soap.fault.reason);
        if (!reason.empty())
            more += ": " + reason;
        fail(error, more);
        return soap;
    }
    if (http.status == 401 || http.status == 403) {
        fail(TOnvifError::kNotAuthorized, httpText);
        return {};
    }
    if (http.status < 200 || http.status > 299) {
        fail(TOnvifError::kHttp, httpText);
        return {};
    }
    if (!soap.Ok()) {
        fail(TOnvifError::kBadAnswer, soap.errorText);
        return {};
    }
    if (!soap.response.Is(OnvifNs::kDevice, call.ResponseName().c_str())) {
        fail(TOnvifError::kBadAnswer, "no " + call.ResponseName());
        return {};
    }
    status.httpStatus = http.status;
    return soap;
}

template <class T, class TDecode>
TOnvifResult<T> TOnvifClient::Call(const TOnvifCall& call, TDecode decode) {
    TOnvifResult<T> result;
    TOnvifStatus& status = result;
    const TSoapAnswer answer = Exchange(call, true, status);
    if (result.Ok() && !decode(answer.response, result.value)) {
        status = TOnvifStatus::Failure(TOnvifError::kBadAnswer,
                                       call.operation + ": " + ErrorText(TOnvifError::kBadAnswer) +
                                           " (incomplete)",
                                       result.httpStatus);
        result.value = T{};
    }
    return result;
}

TOnvifStatus TOnvifClient::CallWithoutValue(const TOnvifCall& call) {
    TOnvifStatus status;
    Exchange(call, true, status);
    return status;
}

TOnvifResult<TOnvifSystemTime> TOnvifClient::GetSystemDateAndTime() {
    clockTried_ = true;
    const TOnvifCall call = OnvifPlainCall("GetSystemDateAndTime");
    TOnvifResult<TOnvifSystemTime> result;
    TOnvifStatus& status = result;
    const std::int64_t asked = clock();
    TSoapAnswer answer = Exchange(call, false, status);
    if (result.error == TOnvifError::kNotAuthorized && HasAccount())
        answer = Exchange(call, true, status); // a device that wants the account even here
    const std::int64_t answered = clock();
    if (!result.Ok())
        return result;
    if (!DecodeSystemDateAndTime(answer.response, result.value)) {
        status = TOnvifStatus::Failure(TOnvifError::kBadAnswer,
                                       "GetSystemDateAndTime: " +
                                           std::string(ErrorText(TOnvifError::kBadAnswer)),
                                       result.httpStatus);
        return result;
    }
    if (result.value.hasUtc) {
        // The device read its clock about halfway through the exchange; it sends whole seconds.
        clockOffsetMs_ = result.value.utcMsecs - (asked + (answered - asked) / 2);
        clockKnown_ = true;
    }
    return result;
}

TOnvifResult<TOnvifDeviceInfo> TOnvifClient::GetDeviceInformation() {
    return Call<TOnvifDeviceInfo>(OnvifPlainCall("GetDeviceInformation"), &DecodeDeviceInformation);
}

TOnvifResult<std::vector<TOnvifNetworkInterface>> TOnvifClient::GetNetworkInterfaces() {
    return Call<std::vector<TOnvifNetworkInterface>>(OnvifPlainCall("GetNetworkInterfaces"),
                                                     &DecodeNetworkInterfaces);
}

TOnvifResult<TOnvifGateway> TOnvifClient::GetNetworkDefaultGateway() {
    return Call<TOnvifGateway>(OnvifPlainCall("GetNetworkDefaultGateway"),
                               &DecodeNetworkDefaultGateway);
}

TOnvifResult<TOnvifDns> TOnvifClient::GetDNS() {
    return Call<TOnvifDns>(OnvifPlainCall("GetDNS"), &DecodeDns);
}

TOnvifResult<TOnvifHostname> TOnvifClient::GetHostname() {
    return Call<TOnvifHostname>(OnvifPlainCall("GetHostname"), &DecodeHostname);
}

TOnvifResult<std::vector<TOnvifNetworkProtocol>> TOnvifClient::GetNetworkProtocols() {
    return Call<std::vector<TOnvifNetworkProtocol>>(OnvifPlainCall("GetNetworkProtocols"),
                                                    &DecodeNetworkProtocols);
}

TOnvifResult<std::vector<TOnvifScope>> TOnvifClient::GetScopes() {
    return Call<std::vector<TOnvifScope>>(OnvifPlainCall("GetScopes"), &DecodeScopes);
}

TOnvifStatus TOnvifClient::SetDNS(const TOnvifDns& dns) {
    return CallWithoutValue(SetDnsCall(dns));
}

TOnvifStatus TOnvifClient::SetScopes(const std::vector<std::string>& scopes) {
    return CallWithoutValue(SetScopesCall(scopes));
}

TOnvifResult<bool> TOnvifClient::SetNetworkInterfaces(const std::string& token,
                                                      const TOnvifIPv4Setting& ipv4) {
    return Call<bool>(SetNetworkInterfacesCall(token, ipv4), &DecodeRebootNeeded);
}

TOnvifStatus TOnvifClient::SetNetworkDefaultGateway(const TOnvifGateway& gateway) {
    return CallWithoutValue(SetNetworkDefaultGatewayCall(gateway));
}

TOnvifStatus TOnvifClient::SetHostname(const std::string& name) {
    return CallWithoutValue(SetHostnameCall(name));
}

TOnvifStatus
TOnvifClient::SetNetworkProtocols(const std::vector<TOnvifNetworkProtocol>& protocols) {
    return CallWithoutValue(SetNetworkProtocolsCall(protocols));
}

TOnvifResult<std::string> TOnvifClient::SystemReboot() {
    return Call<std::string>(OnvifPlainCall("SystemReboot"), &DecodeSystemReboot);
}

} // namespace zadari
