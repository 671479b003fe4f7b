// Cost of parsing one discovery reply of the CTP, HDS, uicam and port-6801 families.
#include "protocols/Ctp.h"
#include "protocols/Dispatch.h"
#include "protocols/Hds.h"
#include "protocols/Port6801.h"
#include "protocols/Uicam.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

namespace {

using zadari::TDevInfo;

const std::string kCtpReply = "REPLY * CTP/1.0\r\n-sn SN0042\r\n-name Front door\r\n"
                              "-ip 192.168.1.20\r\n-netmask 255.255.255.0\r\n-portctp 8080\r\n"
                              "-mdns 8.8.8.8\r\n-sdns 8.8.4.4\r\n-mac 00:1a:2b:3c:4d:5e\r\n"
                              "-gw 192.168.1.1\r\n-ddnsuser bob\r\n-ddns dyn.example.com\r\n"
                              "-ddnspswd secret\r\n-version V2.1.0\r\n\r\n";

const std::string kHdsReply =
    "HDS/1.0 200 OK\r\nDevice-ID=HD0001\r\nDevice-Name=Gate\r\nIP=10.1.2.3\r\n"
    "MASK=255.255.0.0\r\nHttp-Port=81\r\nFdns=1.1.1.1\r\nSdns=9.9.9.9\r\n"
    "MAC=00-11-22-aa-bb-cc\r\nDhcp=0\r\nDdns=1\r\nGateway=10.1.0.1\r\nDDNS-Enable=y\r\n"
    "DDNS-User=ann\r\nDDNS-Passwd=pw\r\nDDNS-Host=dyn.example:8245\r\nDDNS-Port=30000\r\n"
    "Software-Version=1.0.7\r\n";

void Put(std::string& b, std::size_t at, std::string_view bytes) {
    b.replace(at, bytes.size(), bytes);
}

std::string UicamReply() {
    std::string b(520, '\0');
    Put(b, 0, "uiv2\x01\x0A");
    Put(b, 8, std::string_view("\x00\x1A\x2B\x3C\x4D\x5E\x1F\x90", 8));
    Put(b, 16, "\xC0\xA8\x01\x14\xC0\xA8\x01\x01\xFF\xFF\xFF");
    Put(b, 28, "\x08\x08\x08\x08\x08\x08\x04\x04");
    Put(b, 52, "\x38\xB7\x05");
    const std::string area = std::string("admin:1234") + '\0' + '\0' + "dyn.example.com" + '\0' +
                             '\0' +
                             "GET /api/userip.asp?username=bob&userpwd=pw&tcpport=80&lanip="
                             "192.168.1.20&\r\n\r\n" +
                             '\0' + "pa:pb" + '\0' + '\0';
    Put(b, 64, area);
    return b;
}

std::string SettingsMessage() {
    std::string b(144, '\0');
    Put(b, 0, std::string_view("\x10\x10\x12\x8F\xAB\xCD\x80\x00", 8));
    Put(b, 8, "192.168.0.77");
    Put(b, 24, "255.255.255.0");
    Put(b, 40, "192.168.0.1");
    Put(b, 56, "192.168.0.2");
    Put(b, 88, std::string_view("\x50\x00\x50\x00\x50\x00\x88\x13", 8));
    Put(b, 96, std::string_view("\x00\x12\x34\x56\x78\x9A\x34\x12", 8));
    Put(b, 104, "\x01\x02\x03\x04\x05\x06\xAB\x01");
    Put(b, 112, "Caf\xC3\xA9 cam");
    Put(b, 136, "10.2.1");
    return b;
}

class TNullSender : public zadari::TDatagramSender {
public:
    bool SendTo(zadari::TByteView bytes, const std::string&, std::uint16_t) override {
        benchmark::DoNotOptimize(bytes.data());
        return true;
    }
    void Pause(int) override {}
};

void BM_ParseCtpReply(benchmark::State& state) {
    for (auto _ : state) {
        TDevInfo record;
        benchmark::DoNotOptimize(zadari::ParseCtpReply(kCtpReply, record));
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_ParseCtpReply);

void BM_ParseHdsReply(benchmark::State& state) {
    for (auto _ : state) {
        TDevInfo record;
        benchmark::DoNotOptimize(zadari::ParseHdsReply(kHdsReply, record));
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_ParseHdsReply);

void BM_ParseUicamReply(benchmark::State& state) {
    const std::string reply = UicamReply();
    for (auto _ : state) {
        TDevInfo record;
        benchmark::DoNotOptimize(zadari::ParseUicamReply(reply, record));
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_ParseUicamReply);

// The settings message with its 136-byte acknowledgement handed to a sender that drops it.
void BM_Handle6801Settings(benchmark::State& state) {
    const std::string message = SettingsMessage();
    TNullSender sender;
    zadari::TDispatchContext context;
    context.sender6801 = &sender;
    for (auto _ : state) {
        TDevInfo record;
        benchmark::DoNotOptimize(zadari::Handle6801Message(message, record, context));
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_Handle6801Settings);

} // namespace
