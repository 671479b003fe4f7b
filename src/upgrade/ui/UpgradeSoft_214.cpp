#include "upgrade/ui/UpgradeSoft_214.h"

#include "access/SR_517.h"
#include "i18n/StrRes.h"
#include "i18n/ui/TranslateForm.h"
#include "upgrade/UpgradeUpload.h"
#include "upgrade/UploadJob.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

namespace zadari {

namespace {

constexpr const char* kFilterEnglish = "Firmware(*.bin)|*.bin";

// Stands in for a missing family-9 client: every upload through it fails.
class TNoClient : public IT517Series {
public:
    void Search(int, TOnDeviceFound) override {}
    bool SetNetParams(const std::string&, const std::string&, const TDevInfo&) override {
        return false;
    }
    bool UpgradeFirmware(const std::string&, const std::string&, const std::string&, const QString&,
                         const TUploadProgress&) override {
        return false;
    }
    bool UpgradeWebUI(const std::string&, const std::string&, const std::string&, const QString&,
                      const TUploadProgress&) override {
        return false;
    }
};

TNoClient& NoClient() {
    static TNoClient client;
    return client;
}

} // namespace

TfrmUpgradeSoft::TfrmUpgradeSoft(IT517Series* client, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      client_(client) {
    setObjectName(QStringLiteral("frmUpgradeSoft"));
    setWindowTitle(QStringLiteral("Upgrade firmware"));
    setModal(true);

    Label1_ = new QLabel(QStringLiteral("Source File:"), this);
    Label1_->setObjectName(QStringLiteral("Label1"));
    Edit1_ = new QLineEdit(this);
    Edit1_->setObjectName(QStringLiteral("Edit1"));
    Edit1_->setMinimumWidth(Edit1_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 40);
    Label1_->setBuddy(Edit1_);
    BitBtn1_ = new QPushButton(this);
    BitBtn1_->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    BitBtn1_->setAutoDefault(false);
    RadioButton1_ = new QRadioButton(QStringLiteral("System Firmware"), this);
    RadioButton1_->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton2_ = new QRadioButton(QStringLiteral("Embeded Web UI Firmware"), this);
    RadioButton2_->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2_->setChecked(true);
    BitBtn2_ = new QPushButton(QStringLiteral("&Upgrade"), this);
    BitBtn2_->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn3_ = new QPushButton(QStringLiteral("&Close"), this);
    BitBtn3_->setObjectName(QStringLiteral("BitBtn3"));
    for (QPushButton* b : {BitBtn2_, BitBtn3_})
        b->setAutoDefault(false);
    pbUpload_ = new QProgressBar(this);
    pbUpload_->setObjectName(QStringLiteral("pbUpload"));
    pbUpload_->setVisible(false);
    pbUpload_->setTextVisible(true);

    auto* file = new QHBoxLayout;
    file->addWidget(Label1_);
    file->addWidget(Edit1_, 1);
    file->addWidget(BitBtn1_);
    auto* kinds = new QVBoxLayout;
    kinds->addWidget(RadioButton1_);
    kinds->addWidget(RadioButton2_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn2_);
    buttons->addWidget(BitBtn3_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(file);
    layout->addLayout(kinds);
    layout->addWidget(pbUpload_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(BitBtn1_, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BitBtn2_, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connect(BitBtn3_, &QPushButton::clicked, this, [this] { BitBtn3Click(); });

    // FormCreate: the texts of the current language, the open dialog's filter among them.
    setProperty(FileDialogFilterProperty(QStringLiteral("OpenDialog1")).constData(),
                QString::fromLatin1(kFilterEnglish));
    TranslateForm(this);
}

TfrmUpgradeSoft::~TfrmUpgradeSoft() = default;

void TfrmUpgradeSoft::BitBtn1Click() {
    const QString filter =
        property(FileDialogFilterProperty(QStringLiteral("OpenDialog1")).constData()).toString();
    const QStringList filters = FileDialogNameFilters(filter);
    QString path;
    if (chooseFile)
        path = chooseFile(this, filters);
    else
        path = QFileDialog::getOpenFileName(this, QString(), Edit1_->text().trimmed(),
                                            filters.join(QStringLiteral(";;")));
    if (!path.isEmpty())
        Edit1_->setText(path);
}

void TfrmUpgradeSoft::BitBtn2Click() {
    if (job_ != nullptr)
        return;
    TUpgradeTarget target;
    target.family = DevFamily;
    target.host = DevHost.toStdString();
    target.port = DevPort;
    target.user = DevUser.toStdString();
    target.password = DevPassword.toStdString();
    const TFirmwareKind kind =
        RadioButton1_->isChecked() ? TFirmwareKind::SystemFirmware : TFirmwareKind::WebUi;
    const QString path = Edit1_->text().trimmed();
    IT517Series& client = client_ != nullptr ? *client_ : NoClient();

    job_ = TUploadJob::ForUpgrade(client, target, kind, path, this);
    connect(job_, &TUploadJob::Progress, this, [this](qint64 sent, qint64 total) {
        if (total <= 0)
            return;
        // The bar counts per mille so that files above 2 GiB fit its int range.
        pbUpload_->setRange(0, 1000);
        pbUpload_->setValue(static_cast<int>(sent * 1000 / total));
    });
    connect(job_, &TUploadJob::Finished, this, [this](int result) { UploadEnded(result); });
    SetBusy(true);
    job_->Start();
}

void TfrmUpgradeSoft::SetBusy(bool busy) {
    for (QWidget* w : std::initializer_list<QWidget*>{Edit1_, BitBtn1_, RadioButton1_,
                                                      RadioButton2_, BitBtn2_, BitBtn3_})
        w->setEnabled(!busy);
    if (busy) {
        pbUpload_->setRange(0, 0); // busy until the first progress report
        pbUpload_->setValue(0);
        pbUpload_->setVisible(true);
        setCursor(Qt::BusyCursor);
    } else {
        pbUpload_->setVisible(false);
        unsetCursor();
    }
}

void TfrmUpgradeSoft::UploadEnded(int result) {
    TUploadJob* job = job_;
    job_ = nullptr;
    if (job != nullptr)
        job->deleteLater();
    SetBusy(false);
    const auto upgrade = static_cast<TUpgradeResult>(result);
    const int style =
        upgrade == TUpgradeResult::Success ? MsgStyle::kIconInformation : MsgStyle::kIconError;
    StrResMessageBox(UpgradeMessageKey(upgrade), UpgradeCaptionKey(upgrade), style);
    Q_EMIT UploadFinished(result);
    if (upgrade == TUpgradeResult::Success)
        accept();
}

void TfrmUpgradeSoft::BitBtn3Click() {
    reject();
}

void TfrmUpgradeSoft::reject() {
    if (job_ != nullptr)
        return;
    QDialog::reject();
}

} // namespace zadari
