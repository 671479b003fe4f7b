#pragma once
// SIGTERM and SIGINT as a Qt signal on the main thread. The handler only writes a byte into a
// socket pair; the event loop reads it and emits Arrived(), where the program ends its work the
// way it chooses (the window closes, a watching search stops).
#include <QObject>

class QSocketNotifier;

namespace zadari {

class TStopSignals : public QObject {
    Q_OBJECT
public:
    /// Installs the handlers for SIGTERM and SIGINT; the previous ones come back on
    /// destruction. One instance at a time: a second one installs nothing.
    explicit TStopSignals(QObject* parent = nullptr);
    ~TStopSignals() override;
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

    bool Installed() const { return notifier_ != nullptr; }

Q_SIGNALS:
    /// One or more stop signals arrived since the last time.
    void Arrived();

private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace zadari
