#pragma once
// Brings device reports made on other threads (the vendor library's) to the thread that owns the
// device list, and waits until the list has taken them.
#include "protocols/DevInfo.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace zadari {

class TDeviceForwarder : public QObject {
    Q_OBJECT
public:
    /// `handler` runs on the forwarder's thread (the main thread), one report at a time.
    using THandler = std::function<void(const TDevInfo&)>;

    explicit TDeviceForwarder(THandler handler, QObject* parent = nullptr);
    ~TDeviceForwarder() override;

    /// Callable from any thread. On the forwarder's own thread the handler runs at once (waiting
    /// for one's own event loop would deadlock); from another thread the report is queued to it
    /// and the caller waits until the handler has run, or until Close().
    void ForwardDeviceToWindow(const TDevInfo& record);

    /// Releases every waiting reporter and drops later reports. Called before the library is
    /// told to stop, so a reporter blocked on the main thread cannot hold up the shutdown.
    void Close();

private:
    Q_INVOKABLE void Drain();

    struct TPending {
        const TDevInfo* record;
        bool done = false;
    };

    THandler handler_;
    std::mutex mutex_;
    std::condition_variable handled_;
    std::deque<TPending*> queue_;
    bool closed_ = false;
};

} // namespace zadari
