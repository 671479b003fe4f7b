// A stand-in for the vendor library, built for the tests: its search reports devices from
// threads of its own (or on the caller's thread), and it records what DVSNET_ConfigServer gets.
// It can also start a detached reporter that outlives DVSNET_StopSearch, as a real library's
// threads may: it waits for the stop, then goes on reporting for a while (set with
// DVSNETDouble_ConfigureLate or the environment variable DVSNETDOUBLE_LATE_MS).
#include "protocols/DVSNETClient.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

std::mutex g_mutex;
std::vector<std::thread> g_threads;
std::atomic<bool> g_stop{false};
int g_threadCount = 2;
int g_perThread = 10;
bool g_synchronous = false;
std::string g_lastConfig;
// Touched by the detached reporter, which may run while the process ends: trivially
// destructible on purpose.
std::atomic<int> g_lateMs{0};
std::atomic<int> g_lateReports{0};
std::atomic<int> g_stopCount{0};

void ReportDevices(DVSNET_ReportCallback report, void* context, int thread, int count) {
    for (int i = 0; i < count && !g_stop.load(); ++i) {
        const std::uint8_t mac[6] = {0x00,
                                     0x11,
                                     0x22,
                                     static_cast<std::uint8_t>(thread),
                                     static_cast<std::uint8_t>(i >> 8),
                                     static_cast<std::uint8_t>(i & 0xFF)};
        const std::string name = "sdk-" + std::to_string(thread) + "-" + std::to_string(i);
        const std::string ip = "10.4." + std::to_string(thread) + "." + std::to_string(i % 250);
        report(0, name.c_str(), 0, ip.c_str(), mac, 80, 9000, "255.255.255.0", "10.4.0.1",
               "sdk-text", "10.4.0.53", 0x1234, 77, i % 3, context);
    }
}

// Sleeps until the search that started it is stopped, then reports every 5 ms for `lateMs`.
void ReportLate(DVSNET_ReportCallback report, void* context, int stopsBefore, int lateMs) {
    using namespace std::chrono;
    while (g_stopCount.load() == stopsBefore)
        std::this_thread::sleep_for(milliseconds(2));
    const auto end = steady_clock::now() + milliseconds(lateMs);
    const std::uint8_t mac[6] = {0x00, 0x11, 0x22, 0xFF, 0x00, 0x01};
    while (steady_clock::now() < end) {
        report(0, "sdk-late", 0, "10.4.255.1", mac, 80, 9000, "255.255.255.0", "10.4.0.1",
               "sdk-text", "10.4.0.53", 0, 0, 0, context);
        ++g_lateReports;
        std::this_thread::sleep_for(milliseconds(5));
    }
}

void JoinAll() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        threads.swap(g_threads);
    }
    for (auto& t : threads)
        t.join();
}

struct TJoinAtExit {
    ~TJoinAtExit() {
        g_stop = true;
        JoinAll();
    }
} g_joinAtExit;

} // namespace

extern "C" {

/// Test control: how many threads report, how many devices each, or all on the caller's thread.
DVSNET_EXPORT void DVSNETDouble_Configure(int threads, int perThread, int synchronous) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_threadCount = threads;
    g_perThread = perThread;
    g_synchronous = synchronous != 0;
}

/// From the next search on, a detached reporter also reports for `milliseconds` after the
/// stop (0: none).
DVSNET_EXPORT void DVSNETDouble_ConfigureLate(int milliseconds) {
    g_lateMs = milliseconds;
}

/// How many reports the late reporters made.
DVSNET_EXPORT int DVSNETDouble_LateReports() {
    return g_lateReports.load();
}

/// How many times DVSNET_StopSearch was called.
DVSNET_EXPORT int DVSNETDouble_StopCount() {
    return g_stopCount.load();
}

/// Waits until every reporting thread of the last search has ended.
DVSNET_EXPORT void DVSNETDouble_Join() {
    JoinAll();
}

/// The arguments of the last DVSNET_ConfigServer call as one "|"-separated text.
DVSNET_EXPORT int DVSNETDouble_LastConfig(char* buffer, int size) {
    std::lock_guard<std::mutex> lock(g_mutex);
    std::snprintf(buffer, static_cast<std::size_t>(size), "%s", g_lastConfig.c_str());
    return static_cast<int>(g_lastConfig.size());
}

DVSNET_EXPORT int32_t DVSNET_CALL DVSNET_SearchServers(int32_t durationMs, int32_t mode,
                                                       DVSNET_ReportCallback report, void* context,
                                                       int32_t reserved) {
    if (durationMs != 3000 || mode != 1 || reserved != 0 || report == nullptr)
        return -1;
    g_stop = false;
    int lateMs = g_lateMs.load();
    if (const char* late = std::getenv("DVSNETDOUBLE_LATE_MS"))
        lateMs = std::atoi(late);
    if (lateMs > 0)
        std::thread(ReportLate, report, context, g_stopCount.load(), lateMs).detach();
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_synchronous) {
        ReportDevices(report, context, 0, g_perThread);
        return 0;
    }
    for (int t = 0; t < g_threadCount; ++t)
        g_threads.emplace_back(ReportDevices, report, context, t, g_perThread);
    return 0;
}

DVSNET_EXPORT int32_t DVSNET_CALL DVSNET_ConfigServer(
    const uint8_t* mac, const char* user, const char* password, const char* name, const char* ip,
    uint16_t httpPort, uint16_t dataPort, const char* mask, const char* gateway, const char* text,
    const char* dns, uint16_t word, int32_t dynamic) {
    char macText[13];
    std::snprintf(macText, sizeof macText, "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lastConfig = std::string(macText) + "|" + user + "|" + password + "|" + name + "|" + ip +
                   "|" + std::to_string(httpPort) + "|" + std::to_string(dataPort) + "|" + mask +
                   "|" + gateway + "|" + text + "|" + dns + "|" + std::to_string(word) + "|" +
                   std::to_string(dynamic);
    return std::strcmp(user, "reject") == 0 ? 1 : 0;
}

DVSNET_EXPORT void DVSNET_CALL DVSNET_StopSearch(void) {
    g_stop = true;
    JoinAll();
    ++g_stopCount; // the late reporters are not joined: they outlive the stop
}

} // extern "C"
