#pragma once
// TfrmUpgradeSoft: the dialog that sends a firmware file to the camera selected in the main
// window. Family 2 gets the file as its own HTTP upload, families 3 and 9 through the family-9
// client. The upload runs on a worker thread while the dialog shows its progress; the dialog
// closes with Accepted exactly when one upgrade succeeded.
#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace zadari {

class IT517Series;
class TUploadJob;

class TfrmUpgradeSoft : public QDialog {
    Q_OBJECT
public:
    /// `client` does the uploads of families 3 and 9 (may be null: they then fail); it must
    /// outlive the dialog.
    explicit TfrmUpgradeSoft(IT517Series* client, QWidget* owner = nullptr);
    ~TfrmUpgradeSoft() override;

    // Set by the caller before the dialog is shown.
    std::int32_t DevFamily = 0;
    QString DevHost;
    int DevPort = 80;
    QString DevUser;
    QString DevPassword;

    /// Picks the file to send (the open dialog with the given name filters); "" when cancelled.
    /// Replaceable for tests.
    std::function<QString(QWidget* owner, const QStringList& filters)> chooseFile;

    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    /// True while a file travels.
    bool Uploading() const { return job_ != nullptr; }

    QLabel* Label1() const { return Label1_; }
    QLineEdit* Edit1() const { return Edit1_; }
    QPushButton* BitBtn1() const { return BitBtn1_; }
    QRadioButton* RadioButton1() const { return RadioButton1_; }
    QRadioButton* RadioButton2() const { return RadioButton2_; }
    QPushButton* BitBtn2() const { return BitBtn2_; }
    QPushButton* BitBtn3() const { return BitBtn3_; }
    QProgressBar* Progress() const { return pbUpload_; }

Q_SIGNALS:
    /// An upload ended (after its message was shown); `result` is a TUpgradeResult.
    void UploadFinished(int result);

public Q_SLOTS:
    /// Closing is refused while a file travels: the camera must not be left half written.
    void reject() override;

private:
    void UploadEnded(int result);
    void SetBusy(bool busy);

    IT517Series* client_;
    TUploadJob* job_ = nullptr;
    QLabel* Label1_;
    QLineEdit* Edit1_;
    QPushButton* BitBtn1_;
    QRadioButton* RadioButton1_;
    QRadioButton* RadioButton2_;
    QPushButton* BitBtn2_;
    QPushButton* BitBtn3_;
    QProgressBar* pbUpload_;
};

} // namespace zadari
