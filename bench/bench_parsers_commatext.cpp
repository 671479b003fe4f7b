// Cost of parsing one discovery reply of the comma-text, KT352 and MO_I families, each into a
// fresh record as the receive path does it.
#include "protocols/CommaText.h"
#include "protocols/Dispatch.h"
#include "protocols/Kt352.h"
#include "protocols/Moi.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace zadari;
using namespace std::string_literals;

const std::string kPeltra =
    "PELTRAREPLY,x,00:1A:2B:3C:4D:5E,192.168.1.20,8080,255.255.255.0,192.168.1.1,Front door "
    "camera,ddns.example.com,ddnsuser,ddnspassword,3,1,2,7,0,1,0,8.8.8.8,8.8.4.4,"
    "second.example.com,2";
const std::string kZorix = "ZORIXREPLY,x,00:1A:2B:3C:4D:5F,192.168.1.21,80,255.255.255.0,"
                           "192.168.1.1,Yard,dh,du,dp,0,2,0,1,1,0,1,8.8.8.8,8.8.4.4";
const std::string kZorixNet = "ZORIXNETREPLY,x,00-1A-2B-3C-4D-60,192.168.1.22,81,255.255.255.0,"
                              "192.168.1.1,nas,dh,du,dp,0,1,0,1.1.1.1,9.9.9.9,V2.3.4";

std::string Kt352Reply() {
    std::string m = "KT352"s;
    auto item = [&m](char tag, std::string value) {
        m += tag;
        m += static_cast<char>(value.size());
        m += value;
    };
    auto text = [](std::string s, std::size_t n) { return s + std::string(n - s.size(), '\0'); };
    item('\x10', "\x00\x1A\x2B\x3C\x4D\x63"s);
    item('\x20', text("Front door", 16));
    item('\x21', text("V3.1.2", 16));
    item('\x11', "\xC0\xA8\x01\x17"s);
    item('\x12', "\xFF\xFF\xFF\x00"s);
    item('\x13', "\xC0\xA8\x01\x01"s);
    item('\x14', "\x50\x00\x00\x00"s);
    item('\x1F', "\xFF\xFF\x01\x01"s);
    item('\x22', text("duser", 16));
    item('\x23', text("dpass", 16));
    item('\x24', "\x08\x08\x08\x08"s);
    item('\x28', "\x08\x08\x04\x04"s);
    item('\x25', text("ddns.example", 30));
    item('\x26', "\x01"s);
    m.resize(256, '\0');
    return m;
}

std::string MoiReply() {
    std::string m =
        "MO_I\x01\x00"s + std::string(9, '\0') + "\xC3\x00\x00\x00"s + std::string(4, '\0');
    m += "001A2B3C4D64"s + std::string(1, '\0');
    m += "Cam\xC3\xA9ra"s + std::string(14, '\0');
    m += "\xC0\xA8\x01\x18\xFF\xFF\xFF\x00\xC0\xA8\x01\x01\x08\x08\x08\x08"s;
    m += "\x00\x00\x00\x00\x01\x02\x03\x04\x05\x06\x07\x08\x1F\x90\x01"s;
    m += "ddns.example"s + std::string(53, '\0') + "duser"s + std::string(60, '\0');
    return m;
}

void Run(benchmark::State& state, bool (*parse)(std::string_view, TDevInfo&),
         const std::string& datagram) {
    for (auto _ : state) {
        TDevInfo record;
        const bool ok = parse(datagram, record);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(record);
    }
    if (TDevInfo check; !parse(datagram, check))
        state.SkipWithError("sample reply was rejected");
}

void BM_ParsePeltraReply(benchmark::State& s) {
    Run(s, ParsePeltraReply, kPeltra);
}
void BM_ParseZorixReply(benchmark::State& s) {
    Run(s, ParseZorixReply, kZorix);
}
void BM_ParseZorixNetReply(benchmark::State& s) {
    Run(s, ParseZorixNetReply, kZorixNet);
}
void BM_ParseKt352Reply(benchmark::State& s) {
    Run(s, ParseKt352Reply, Kt352Reply());
}
void BM_ParseMoiReply(benchmark::State& s) {
    Run(s, ParseMoiReply, MoiReply());
}

// The whole receive-path step for one reply: magic look-up plus parse.
void BM_DispatchPeltraReply(benchmark::State& state) {
    const TDispatchContext context;
    for (auto _ : state) {
        TDevInfo record;
        benchmark::DoNotOptimize(DispatchReply(kPeltra, record, context));
        benchmark::DoNotOptimize(record);
    }
}

} // namespace

BENCHMARK(BM_ParsePeltraReply);
BENCHMARK(BM_ParseZorixReply);
BENCHMARK(BM_ParseZorixNetReply);
BENCHMARK(BM_ParseKt352Reply);
BENCHMARK(BM_ParseMoiReply);
BENCHMARK(BM_DispatchPeltraReply);
