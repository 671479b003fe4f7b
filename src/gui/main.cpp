// The program: one main window; the session's SIGTERM or SIGINT closes it as its Close button
// does, so the sockets are closed and the language files removed before the process ends.
#include "ZadariVersion.h"
#include "gui/MainWindow.h"
#include "gui/SignalCloser.h"
#include "i18n/ui/MessageBoxPresenter.h"

#include <QApplication>
#include <QFont>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zadari"));
    QApplication::setApplicationVersion(QString::fromUtf8(zadari::kVersion));
    QApplication::setDesktopFileName(QStringLiteral("zadari"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zadari/zadari.png")));
    // The language fonts turn 9 points into 8 (and 8 into 9); start from a size that stays
    // readable on today's screens.
    QFont font = QApplication::font();
    if (font.pointSizeF() < 10)
        font.setPointSizeF(10);
    QApplication::setFont(font);

    zadari::TMessageBoxPresenter presenter;
    zadari::TScopedMessagePresenter installed(&presenter);

    zadari::TfrmMain window(
        zadari::TMainWindowSetup::ForProgram(QApplication::applicationFilePath()));
    if (window.StartAborted())
        return 0;
    presenter.SetParent(&window);
    zadari::TSignalCloser closer(&window);
    window.show();
    return app.exec();
}
