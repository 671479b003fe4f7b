#pragma once
// The vendor-SDK family wired into a search engine, for programs without a window: the
// library's reports reach the engine's list on the engine's thread, Find starts the library's
// search, and the family-4 branch of Apply goes to the library.
#include "app/DeviceForwarder.h"
#include "app/SR_Hisi.h"

#include <QString>

namespace zadari {

class TSearchEngine;

class TSdkFamily {
public:
    /// Loads the library from `programDir`/402/ (silently absent without it) and fills the
    /// engine's SDK hooks. Create it after the engine and destroy it before.
    TSdkFamily(TSearchEngine& engine, const QString& programDir);
    /// Lets waiting reporters go, clears the hooks and stops the library's search (the
    /// library itself stays loaded until the process ends).
    ~TSdkFamily();
    TSdkFamily(const TSdkFamily&) = delete;
    TSdkFamily& operator=(const TSdkFamily&) = delete;

    bool IsLoaded() const { return finder_.IsLoaded(); }

private:
    TSearchEngine& engine_;
    TDeviceForwarder forwarder_; ///< declared first: outlives the finder's stop
    TFind_Hisi finder_;
};

} // namespace zadari
