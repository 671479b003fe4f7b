#include "app/SR_Hisi.h"

#include "protocols/DVSNETClient.h"
#include "protocols/Encoding.h"
#include "protocols/SdkReport.h"

#include <QDir>

#include <condition_variable>
#include <map>
#include <mutex>

namespace zadari {

namespace {

// The library's report callback: one record per report, released when the handler returns.
extern "C" void DVSNET_CALL ReportThunk(intptr_t, const char* name, intptr_t, const char* ip,
                                        const uint8_t* mac, uint16_t httpPort, uint16_t dataPort,
                                        const char* mask, const char* gateway, const char* text,
                                        const char* dns, uint16_t word, int32_t value, int32_t dhcp,
                                        void* context) {
    TSdkReport report;
    report.name = name;
    report.ip = ip;
    report.mac = mac;
    report.httpPort = httpPort;
    report.dataPort = dataPort;
    report.mask = mask;
    report.gateway = gateway;
    report.text = text;
    report.dns = dns;
    report.word = word;
    report.value = value;
    report.dhcp = dhcp;
    TFind_Hisi::DeliverReport(SdkReportToRecord(report), context);
}

} // namespace

struct TFind_Hisi::TGate {
    std::mutex mutex;
    std::condition_variable idle;
    TFoundHandler handler;
    int delivering = 0; ///< reports inside the handler now
    bool closed = false;
};

namespace {

// The library is given a number as its context, never an address: a report that comes after
// its finder has gone finds no gate and is dropped. Made once and never destroyed, as the
// library's threads may still report while the process ends.
struct TGateRegistry {
    std::mutex mutex;
    std::map<std::uintptr_t, std::shared_ptr<TFind_Hisi::TGate>> gates;
    std::uintptr_t next = 1;
};

TGateRegistry& Registry() {
    static TGateRegistry* const registry = new TGateRegistry;
    return *registry;
}

} // namespace

void TFind_Hisi::DeliverReport(const TDevInfo& record, void* context) {
    std::shared_ptr<TGate> gate;
    {
        TGateRegistry& registry = Registry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        const auto found = registry.gates.find(reinterpret_cast<std::uintptr_t>(context));
        if (found == registry.gates.end())
            return;
        gate = found->second;
    }
    TFoundHandler handler;
    {
        std::lock_guard<std::mutex> lock(gate->mutex);
        if (gate->closed || !gate->handler)
            return;
        handler = gate->handler;
        ++gate->delivering;
    }
    handler(record);
    std::lock_guard<std::mutex> lock(gate->mutex);
    --gate->delivering;
    gate->idle.notify_all();
}

QString TFind_Hisi::LibraryPath(const QString& programDir) {
#ifdef Q_OS_WIN
    return QDir(programDir).filePath(QStringLiteral("402/DVSNETClient.dll"));
#else
    // Beside the program first; then, for an installed program, its own folder under the
    // system's library directory (the FHS place for a library of one program).
    const QString beside = QDir(programDir).filePath(QStringLiteral("402/libDVSNETClient.so"));
#ifdef ZADARI_LIBRARY_DIR
    const QDir installed(QStringLiteral(ZADARI_LIBRARY_DIR));
    if (!QDir().exists(beside) && installed.exists(QStringLiteral("402/libDVSNETClient.so")))
        return installed.filePath(QStringLiteral("402/libDVSNETClient.so"));
#endif
    return beside;
#endif
}

TFind_Hisi::TFind_Hisi(const QString& programDir)
    : library_(LibraryPath(programDir)), gate_(std::make_shared<TGate>()) {
    // A missing or unloadable library disables the family without a message.
    library_.load();
    TGateRegistry& registry = Registry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    token_ = registry.next++;
    registry.gates.emplace(token_, gate_);
}

TFind_Hisi::~TFind_Hisi() {
    {
        TGateRegistry& registry = Registry();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.gates.erase(token_);
    }
    {
        std::lock_guard<std::mutex> lock(gate_->mutex);
        gate_->closed = true;
    }
    if (auto stop = Resolve<DVSNET_StopSearch_t>("DVSNET_StopSearch"))
        stop();
    // Reports already inside the handler finish before what it refers to goes.
    std::unique_lock<std::mutex> lock(gate_->mutex);
    gate_->idle.wait(lock, [this] { return gate_->delivering == 0; });
    gate_->handler = nullptr;
    // The library is not unloaded: threads of its own may still run (or start) after its
    // stop, and would run into unmapped code. It goes when the process ends.
}

template <typename T> T TFind_Hisi::Resolve(const char* name) {
    if (!library_.isLoaded())
        return nullptr;
    return reinterpret_cast<T>(library_.resolve(name));
}

void TFind_Hisi::SetFoundHandler(TFoundHandler handler) {
    std::lock_guard<std::mutex> lock(gate_->mutex);
    gate_->handler = std::move(handler);
}

bool TFind_Hisi::StartSearch() {
    auto search = Resolve<DVSNET_SearchServers_t>("DVSNET_SearchServers");
    if (search == nullptr)
        return false;
    return search(3000, 1, &ReportThunk, reinterpret_cast<void*>(token_), 0) == 0;
}

bool TFind_Hisi::ConfigDevice(const TDevInfo& record) {
    auto config = Resolve<DVSNET_ConfigServer_t>("DVSNET_ConfigServer");
    if (config == nullptr)
        return false;
    const TBytes mac = HexToBytes(record.mac, 6);
    return config(mac.data(), record.userName.c_str(), record.userPassword.c_str(),
                  record.name.c_str(), record.ip.c_str(), record.httpPort, record.dataPort,
                  record.mask.c_str(), record.gateway.c_str(), record.sdkText.c_str(),
                  record.dns1.c_str(), record.sdkWord, record.ipMode == 1 ? 1 : 0) == 0;
}

} // namespace zadari
