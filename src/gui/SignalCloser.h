#pragma once
// Ends the program on SIGTERM and SIGINT the way its Close button does: the signal handler only
// writes a byte into a socket pair, and the event loop closes the window when it reads it.
#include <QObject>
#include <QPointer>
#include <QWidget>

class QSocketNotifier;

namespace zadari {

class TSignalCloser : public QObject {
    Q_OBJECT
public:
    /// Installs the handlers for SIGTERM and SIGINT; the previous ones come back on destruction.
    /// One instance at a time.
    explicit TSignalCloser(QWidget* window, QObject* parent = nullptr);
    ~TSignalCloser() override;
    TSignalCloser(const TSignalCloser&) = delete;
    TSignalCloser& operator=(const TSignalCloser&) = delete;

    bool Installed() const { return notifier_ != nullptr; }

private:
    void SignalArrived();

    QPointer<QWidget> window_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace zadari
