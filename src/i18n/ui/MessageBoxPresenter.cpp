#include "i18n/ui/MessageBoxPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace zadari {

namespace {

struct TButtonMap {
    QMessageBox::StandardButton button;
    int result;
};

constexpr TButtonMap kButtons[] = {
    {QMessageBox::Ok, MsgResult::kOk},         {QMessageBox::Cancel, MsgResult::kCancel},
    {QMessageBox::Abort, MsgResult::kAbort},   {QMessageBox::Retry, MsgResult::kRetry},
    {QMessageBox::Ignore, MsgResult::kIgnore}, {QMessageBox::Yes, MsgResult::kYes},
    {QMessageBox::No, MsgResult::kNo},
};

QMessageBox::StandardButtons ButtonsOf(int style) {
    switch (style & MsgStyle::kButtonsMask) {
    case MsgStyle::kOkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgStyle::kAbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case MsgStyle::kYesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgStyle::kYesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgStyle::kRetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    default:
        return QMessageBox::Ok;
    }
}

QMessageBox::Icon IconOf(int style) {
    switch (style & MsgStyle::kIconMask) {
    case MsgStyle::kIconError:
        return QMessageBox::Critical;
    case MsgStyle::kIconQuestion:
        return QMessageBox::Question;
    case MsgStyle::kIconWarning:
        return QMessageBox::Warning;
    case MsgStyle::kIconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// What closing the box without a button means: the box's "no" answer, as Windows does.
int EscapeResult(int style) {
    switch (style & MsgStyle::kButtonsMask) {
    case MsgStyle::kOkCancel:
    case MsgStyle::kYesNoCancel:
    case MsgStyle::kRetryCancel:
        return MsgResult::kCancel;
    case MsgStyle::kAbortRetryIgnore:
        return MsgResult::kAbort;
    case MsgStyle::kYesNo:
        return MsgResult::kNo;
    default:
        return MsgResult::kOk;
    }
}

} // namespace

int TMessageBoxPresenter::ShowMessage(const QString& caption, const QString& text, int style) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || qobject_cast<QApplication*>(app) == nullptr)
        return MsgResult::kNone;
    if (QThread::currentThread() == app->thread())
        return ShowOnGuiThread(caption, text, style);
    int result = MsgResult::kNone;
    QMetaObject::invokeMethod(
        app, [&] { result = ShowOnGuiThread(caption, text, style); }, Qt::BlockingQueuedConnection);
    return result;
}

int TMessageBoxPresenter::ShowOnGuiThread(const QString& caption, const QString& text, int style) {
    // Message texts break lines with CR LF; Qt breaks them at LF alone.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(IconOf(style), caption, shown, ButtonsOf(style), m_parent.data());
    const int pressed = box.exec();
    for (const TButtonMap& b : kButtons) {
        if (pressed == b.button)
            return b.result;
    }
    return EscapeResult(style);
}

} // namespace zadari
