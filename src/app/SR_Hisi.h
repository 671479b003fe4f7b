#pragma once
// The vendor-SDK family (family 4), found and configured through a library loaded at run time
// from "402/" beside the program (or under the library directory for an installed program).
// Without the library the family is silently absent.
#include "protocols/DevInfo.h"

#include <QLibrary>
#include <QString>

#include <functional>
#include <mutex>

namespace zadari {

class TFind_Hisi {
public:
    /// Receives every reported device. It runs on the library's thread that made the report
    /// (or on the caller of StartSearch) and must copy the record before it returns.
    using TFoundHandler = std::function<void(const TDevInfo&)>;

    /// Loads the library LibraryPath names.
    explicit TFind_Hisi(const QString& programDir);
    /// Ends the library's search (DVSNET_StopSearch when exported), then unloads it.
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
    /// callback's user context).
    static void DeliverReport(const TDevInfo& record, void* context);

private:
    template <typename T> T Resolve(const char* name);

    QLibrary library_;
    std::mutex handlerMutex_; ///< the handler is read on the library's threads
    TFoundHandler handler_;
};

} // namespace zadari
