#include "protocols/SdkReport.h"

#include "protocols/Encoding.h"

namespace zadari {

namespace {
std::string TextOrEmpty(const char* text) {
    return text != nullptr ? std::string(text) : std::string();
}
} // namespace

TDevInfo SdkReportToRecord(const TSdkReport& report) {
    TDevInfo record;
    record.protocolVersion = 0;
    record.family = kFamilySdk;
    record.name = TextOrEmpty(report.name);
    record.ip = TextOrEmpty(report.ip);
    if (report.mac != nullptr)
        record.mac = BytesToHex(report.mac, 6);
    record.httpPort = report.httpPort;
    record.dataPort = report.dataPort;
    record.mask = TextOrEmpty(report.mask);
    record.gateway = TextOrEmpty(report.gateway);
    record.sdkText = TextOrEmpty(report.text);
    record.dns1 = TextOrEmpty(report.dns);
    record.sdkWord = report.word;
    record.sdkValue = report.value;
    record.ipMode = report.dhcp == 1 ? 1 : 2;
    return record;
}

} // namespace zadari
