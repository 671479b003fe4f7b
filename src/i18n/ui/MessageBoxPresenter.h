#pragma once
// The message boxes the user sees: QMessageBox behind the presenter of the message lookup.
#include "i18n/StrRes.h"

#include <QPointer>
#include <QWidget>

namespace zadari {

/// Shows StrResMessageBox boxes as modal QMessageBox dialogs over `parent` (may be null).
/// Called from another thread, it shows the box on the GUI thread and waits for the answer.
class TMessageBoxPresenter : public TMessagePresenter {
public:
    explicit TMessageBoxPresenter(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }
    int ShowMessage(const QString& caption, const QString& text, int style) override;

private:
    int ShowOnGuiThread(const QString& caption, const QString& text, int style);

    QPointer<QWidget> m_parent;
};

} // namespace zadari
