// Fuzz target: the SOAP answer reader of the ONVIF client and every reader of its responses.
// Input: the bytes of one HTTP answer body.
#include "access/OnvifClient.h"
#include "access/OnvifDevice.h"
#include "access/OnvifSoap.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

int Depth(const zadari::TXmlElement& element) {
    int deepest = 0;
    for (const zadari::TXmlElement& child : element.children)
        deepest = std::max(deepest, Depth(child));
    return deepest + 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zadari;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const TSoapAnswer answer = ReadSoapAnswer(bytes);
    Check(answer.Ok() == answer.errorText.empty());
    if (!answer.Ok())
        return 0;
    if (answer.isFault) {
        const TOnvifError error = OnvifErrorOfFault(answer.fault);
        Check(error != TOnvifError::kNone);
        Check(OnvifMessageKey(error)[0] != '\0');
        (void)answer.fault.CodeText();
        return 0;
    }
    const TXmlElement& response = answer.response;
    Check(Depth(response) <= kMaxSoapDepth);

    TOnvifSystemTime time;
    (void)DecodeSystemDateAndTime(response, time);
    TOnvifDeviceInfo info;
    (void)DecodeDeviceInformation(response, info);
    std::vector<TOnvifNetworkInterface> interfaces;
    (void)DecodeNetworkInterfaces(response, interfaces);
    TOnvifGateway gateway;
    (void)DecodeNetworkDefaultGateway(response, gateway);
    TOnvifDns dns;
    (void)DecodeDns(response, dns);
    TOnvifHostname hostname;
    (void)DecodeHostname(response, hostname);
    std::vector<TOnvifNetworkProtocol> protocols;
    if (DecodeNetworkProtocols(response, protocols)) {
        for (const TOnvifNetworkProtocol& protocol : protocols) {
            for (const int port : protocol.ports)
                Check(port > 0 && port <= 65535);
        }
    }
    std::vector<TOnvifScope> scopes;
    if (DecodeScopes(response, scopes)) {
        for (const TOnvifScope& scope : scopes) {
            std::string name;
            if (OnvifNameOfScope(scope.item, &name))
                Check(OnvifNameOfScope(OnvifNameScope(name)));
        }
    }
    bool rebootNeeded = false;
    (void)DecodeRebootNeeded(response, rebootNeeded);
    std::string message;
    (void)DecodeSystemReboot(response, message);
    return 0;
}
