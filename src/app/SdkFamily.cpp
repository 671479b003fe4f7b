#include "app/SdkFamily.h"

#include "app/SearchEngine.h"

namespace zadari {

TSdkFamily::TSdkFamily(TSearchEngine& engine, const QString& programDir)
    : engine_(engine), forwarder_([&engine](const TDevInfo& record) { engine.MergeFound(record); }),
      finder_(programDir) {
    finder_.SetFoundHandler(
        [this](const TDevInfo& record) { forwarder_.ForwardDeviceToWindow(record); });
    engine_.sdkSearch = [this] { finder_.StartSearch(); };
    engine_.sdkConfigDevice = [this](const TDevInfo& edited) {
        return finder_.ConfigDevice(edited);
    };
    // The engine's Stop() runs this before it clears the list: reporters blocked on the main
    // thread must not hold up the library's stop.
    engine_.sdkShutdown = [this] { forwarder_.Close(); };
}

TSdkFamily::~TSdkFamily() {
    forwarder_.Close();
    engine_.sdkSearch = nullptr;
    engine_.sdkConfigDevice = nullptr;
    engine_.sdkShutdown = nullptr;
}

} // namespace zadari
