#pragma once
// TfrmAuthInput: the modal dialog that asks for a camera's account before a setting command or
// an upgrade. It makes no contact with the device; its two texts are its whole result.
#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zadari {

class TfrmAuthInput : public QDialog {
    Q_OBJECT
public:
    /// Longest account and password the fields accept.
    static constexpr int kMaxLength = 13;

    explicit TfrmAuthInput(QWidget* owner = nullptr);
    ~TfrmAuthInput() override;

    /// Presets of the two fields (callers preset "admin" as the account).
    void SetUser(const QString& user);
    void SetPassword(const QString& password);

    /// The texts as typed, trimmed of leading and trailing blanks.
    QString User() const;
    QString Password() const;

    QLineEdit* edUser() const { return edUser_; }
    QLineEdit* edPwd() const { return edPwd_; }
    QPushButton* btnOK() const { return btnOK_; }
    QPushButton* btnCancel() const { return btnCancel_; }

    /// Shows the dialog modally with the given presets; on OK stores the trimmed texts in
    /// `user` and `password` and returns true, on Cancel or the close box leaves them and
    /// returns false.
    static bool Ask(QWidget* owner, QString& user, QString& password);

Q_SIGNALS:
    /// Raised each time the dialog is about to appear, after the current language has been
    /// applied to it (the language section "Form_frmAuthInput").
    void Showing();

protected:
    void showEvent(QShowEvent* event) override;
    /// Esc does nothing: neither button is the cancel button.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* Label1_;
    QLabel* Label2_;
    QLineEdit* edUser_;
    QLineEdit* edPwd_;
    QPushButton* btnOK_;
    QPushButton* btnCancel_;
};

} // namespace zadari
