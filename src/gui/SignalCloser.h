#pragma once
// Ends the program on SIGTERM and SIGINT the way its Close button does: the stop signals
// (app/StopSignals.h) reach the event loop, which closes the window.
#include "app/StopSignals.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace zadari {

class TSignalCloser : public QObject {
    Q_OBJECT
public:
    /// Installs the handlers for SIGTERM and SIGINT; the previous ones come back on destruction.
    /// One instance at a time.
    explicit TSignalCloser(QWidget* window, QObject* parent = nullptr);

    bool Installed() const { return signals_.Installed(); }

private:
    void SignalArrived();

    QPointer<QWidget> window_;
    TStopSignals signals_;
};

} // namespace zadari
