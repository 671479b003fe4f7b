#include "access/ui/AuthInput.h"

#include "i18n/ui/TranslateForm.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace zadari {

TfrmAuthInput::TfrmAuthInput(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmAuthInput"));
    setWindowTitle(QStringLiteral("Validate Authentication"));
    setModal(true);

    Label1_ = new QLabel(QStringLiteral("Account:"), this);
    Label1_->setObjectName(QStringLiteral("Label1"));
    Label2_ = new QLabel(QStringLiteral("Password:"), this);
    Label2_->setObjectName(QStringLiteral("Label2"));

    edUser_ = new QLineEdit(this);
    edUser_->setObjectName(QStringLiteral("edUser"));
    edUser_->setMaxLength(kMaxLength);
    edPwd_ = new QLineEdit(this);
    edPwd_->setObjectName(QStringLiteral("edPwd"));
    edPwd_->setMaxLength(kMaxLength);
    edPwd_->setEchoMode(QLineEdit::Password);
    // Every hidden character shows as "*", whatever the style's own mask character is.
    edPwd_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    Label1_->setBuddy(edUser_);
    Label2_->setBuddy(edPwd_);

    // Wide enough for 13 characters at the current font, whatever the screen scale.
    const int fieldWidth = edUser_->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 14;
    edUser_->setMinimumWidth(fieldWidth);
    edPwd_->setMinimumWidth(fieldWidth);

    btnOK_ = new QPushButton(QStringLiteral("&OK"), this);
    btnOK_->setObjectName(QStringLiteral("btnOK"));
    btnCancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel_->setObjectName(QStringLiteral("btnCancel"));
    // Neither button is the default one: Enter does not close the dialog by surprise.
    for (QPushButton* button : {btnOK_, btnCancel_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(btnOK_, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(Label1_, 0, 0);
    fields->addWidget(edUser_, 0, 1);
    fields->addWidget(Label2_, 1, 0);
    fields->addWidget(edPwd_, 1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK_);
    buttons->addWidget(btnCancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    // A fixed-size dialog that still grows to fit longer captions of other languages.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(edUser_, edPwd_);
    setTabOrder(edPwd_, btnOK_);
    setTabOrder(btnOK_, btnCancel_);
    edUser_->setFocus();
}

TfrmAuthInput::~TfrmAuthInput() = default;

void TfrmAuthInput::SetUser(const QString& user) {
    edUser_->setText(user);
}

void TfrmAuthInput::SetPassword(const QString& password) {
    edPwd_->setText(password);
}

QString TfrmAuthInput::User() const {
    return edUser_->text().trimmed();
}

QString TfrmAuthInput::Password() const {
    return edPwd_->text().trimmed();
}

void TfrmAuthInput::showEvent(QShowEvent* event) {
    // The language may have changed since the last time: translate on every showing.
    if (!event->spontaneous()) {
        TranslateForm(this);
        Q_EMIT Showing();
    }
    QDialog::showEvent(event);
}

void TfrmAuthInput::keyPressEvent(QKeyEvent* event) {
    // QDialog would reject on Esc as if a cancel button had been pressed.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TfrmAuthInput::Ask(QWidget* owner, QString& user, QString& password) {
    TfrmAuthInput dialog(owner);
    dialog.SetUser(user);
    dialog.SetPassword(password);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    user = dialog.User();
    password = dialog.Password();
    return true;
}

} // namespace zadari
