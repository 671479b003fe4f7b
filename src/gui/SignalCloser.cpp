#include "gui/SignalCloser.h"

#include <QCoreApplication>

namespace zadari {

TSignalCloser::TSignalCloser(QWidget* window, QObject* parent) : QObject(parent), window_(window) {
    connect(&signals_, &TStopSignals::Arrived, this, [this] { SignalArrived(); });
}

void TSignalCloser::SignalArrived() {
    if (window_)
        window_->close();
    // Also ends the loop of a dialog that is open now (its caller then goes on as after
    // Cancel), so the program does not wait for a person who is not there.
    QCoreApplication::exit(0);
}

} // namespace zadari
