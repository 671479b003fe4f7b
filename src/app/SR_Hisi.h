#pragma once
// The vendor-SDK family (family 4), found and configured through a library loaded at run time
// from "402/" beside the program (or under the library directory for an installed program).
// Without the library the family is silently absent.
#include "protocols/DevInfo.h"

#include <QLibrary>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace zadari {

class TFind_Hisi {
public:
    /// Receives every reported device. It runs on the library's thread that made the report
    /// (or on the caller of StartSearch) and must copy the record before it returns.
    using TFoundHandler = std::function<void(const TDevInfo&)>;

    /// Loads the library LibraryPath names.
    explicit TFind_Hisi(const QString& programDir);
    /// Ends the library's search (DVSNET_StopSearch when exported) and waits for reports that
    /// are being handled; reports that come later are dropped. The library stays loaded until
    /// the process ends: its threads may outlive the stop. The handler must not wait for the
    /// thread that destroys the finder (close a forwarder first).
    ~TFind_Hisi();
    TFind_Hisi(const TFind_Hisi&) = delete;
    TFind_Hisi& operator=(const TFind_Hisi&) = delete;

    /// `programDir`/402/libDVSNETClient.so (402\DVSNETClient.dll on Windows); when that is
    /// missing and the installed program's folder under the library directory has the library
    /// (/usr/lib/<multiarch>/zadari/402/), that one.
    static QString LibraryPath(const QString& programDir);

    bool IsLoaded() const { return library_.isLoaded(); }
    void SetFoundHandler(TFoundHandler handler);
    /// True when the library started its search.
    bool StartSearch();
    /// Sends the record's settings (with its userName and userPassword) to the device; true
    /// when the library accepted them.
    bool ConfigDevice(const TDevInfo& record);

    /// Hands a report's record to the handler of the finder `context` names (the library
    /// callback's user context). A context whose finder is gone names nothing.
    static void DeliverReport(const TDevInfo& record, void* context);

    /// The handlers of the finders, found by the number the library is given as its context.
    struct TGate;

private:
    template <typename T> T Resolve(const char* name);

    QLibrary library_;
    std::shared_ptr<TGate> gate_;
    std::uintptr_t token_ = 0; ///< the library's context for this finder
};

} // namespace zadari
