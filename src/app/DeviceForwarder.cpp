#include "app/DeviceForwarder.h"

#include <QThread>

#include <algorithm>

namespace zadari {

TDeviceForwarder::TDeviceForwarder(THandler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

TDeviceForwarder::~TDeviceForwarder() {
    Close();
}

void TDeviceForwarder::ForwardDeviceToWindow(const TDevInfo& record) {
    if (QThread::currentThread() == thread()) {
        bool closed;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed = closed_;
        }
        if (!closed && handler_)
            handler_(record);
        return;
    }

    TPending pending{&record};
    std::unique_lock<std::mutex> lock(mutex_);
    if (closed_)
        return;
    queue_.push_back(&pending);
    lock.unlock();
    // Only a wake-up crosses through Qt's event queue; the record itself stays behind our own
    // mutex, so the hand-over is visible to thread checkers.
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
    lock.lock();
    handled_.wait(lock, [&] { return pending.done || closed_; });
    if (!pending.done)
        queue_.erase(std::remove(queue_.begin(), queue_.end(), &pending), queue_.end());
}

void TDeviceForwarder::Drain() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!queue_.empty() && !closed_) {
        TPending* pending = queue_.front();
        queue_.pop_front();
        // The reporter stays blocked until `done`, so the record is alive; Close() runs on this
        // thread too and cannot interleave with the handler.
        lock.unlock();
        if (handler_)
            handler_(*pending->record);
        lock.lock();
        pending->done = true;
        handled_.notify_all();
    }
}

void TDeviceForwarder::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    handled_.notify_all();
}

} // namespace zadari
