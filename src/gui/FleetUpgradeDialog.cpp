#include "gui/FleetUpgradeDialog.h"

#include "app/ApplyFlow.h"
#include "app/AtomicFile.h"
#include "app/Session.h"
#include "gui/WindowParts.h"
#include "i18n/StrRes.h"
#include "i18n/ui/TranslateForm.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace zadari {
namespace {

/// The upload column as a progress bar with the percent on it.
class TUploadBarDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const auto stage =
            static_cast<TUpgradeStage>(index.data(TFleetUpgradeModel::kStageRole).toInt());
        if (stage == TUpgradeStage::kWaiting || stage == TUpgradeStage::kNotFound ||
            stage == TUpgradeStage::kCancelled) {
            QStyledItemDelegate::paint(painter, option, QModelIndex());
            return;
        }
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = index.data(TFleetUpgradeModel::kPercentRole).toInt();
        bar.text = index.data().toString();
        bar.textVisible = true;
        bar.state = option.state | QStyle::State_Horizontal;
        bar.palette = option.palette;
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
    }
};

QString Letters(std::int32_t family) {
    return QString::fromStdString(FamilyLetters(family));
}

} // namespace

TFleetUpgradeDialog::TFleetUpgradeDialog(TSession& session, ICredentialsProvider& credentials,
                                         const std::vector<TDevInfo>& selected,
                                         TFleetUpgradeDialogSetup setup, QWidget* parent)
    : QDialog(parent), session_(session), credentials_(credentials), setup_(std::move(setup)) {
    setObjectName(QStringLiteral("frmFleetUpgrade"));
    setWindowTitle(GetStrRes("IDS_FUPG_TITLE"));
    std::map<std::int32_t, int> perFamily;
    for (const TDevInfo& record : selected) {
        if (!HasUpgrade(record.family))
            continue;
        cameras_.push_back(record);
        if (perFamily[record.family]++ == 0)
            families_.push_back(record.family);
    }
    const int leftOut = static_cast<int>(selected.size() - cameras_.size());

    auto* files = new QGridLayout;
    int line = 0;
    for (const std::int32_t family : families_) {
        const QString suffix = QString::number(family);
        auto* label = new QLabel(
            GetStrRes("IDS_FUPG_FILEFOR").arg(Letters(family)).arg(perFamily[family]), this);
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QStringLiteral("edFile") + suffix);
        label->setBuddy(edit);
        auto* browse = new QPushButton(GetStrRes("IDS_FUPG_BROWSE"), this);
        browse->setObjectName(QStringLiteral("btnBrowse") + suffix);
        files->addWidget(label, line, 0);
        files->addWidget(edit, line, 1);
        files->addWidget(browse, line, 2);
        fileEdits_[family] = edit;
        ++line;
        connect(browse, &QPushButton::clicked, this, [this, family] {
            const QString path =
                setup_.chooseFirmwareFile
                    ? setup_.chooseFirmwareFile(this, family)
                    : QFileDialog::getOpenFileName(
                          this, GetStrRes("IDS_FUPG_BROWSE"), fileEdits_[family]->text(),
                          FileDialogNameFilters(QStringLiteral("Firmware(*.bin)|*.bin|*|*"))
                              .join(QStringLiteral(";;")));
            if (!path.isEmpty())
                SetFile(family, path);
        });
    }
    files->setColumnStretch(1, 1);

    rbSystem_ = new QRadioButton(GetStrRes("IDS_FUPG_SYSTEM"), this);
    rbSystem_->setObjectName(QStringLiteral("rbSystem"));
    rbSystem_->setChecked(true);
    rbWebUi_ = new QRadioButton(GetStrRes("IDS_FUPG_WEBUI"), this);
    rbWebUi_->setObjectName(QStringLiteral("rbWebUi"));
    sbParallel_ = new QSpinBox(this);
    sbParallel_->setObjectName(QStringLiteral("sbParallel"));
    sbParallel_->setRange(1, 16);
    sbParallel_->setValue(std::clamp(setup_.upgrade.parallel, 1, 16));
    auto* parallelLabel = new QLabel(GetStrRes("IDS_FUPG_PARALLEL"), this);
    parallelLabel->setBuddy(sbParallel_);
    auto* choices = new QHBoxLayout;
    choices->addWidget(rbSystem_);
    choices->addWidget(rbWebUi_);
    choices->addStretch();
    choices->addWidget(parallelLabel);
    choices->addWidget(sbParallel_);

    auto* leftOutLabel = new QLabel(GetStrRes("IDS_FUPG_LEFTOUT").arg(leftOut), this);
    leftOutLabel->setObjectName(QStringLiteral("lblLeftOut"));
    leftOutLabel->setWordWrap(true);
    leftOutLabel->setVisible(leftOut > 0);

    model_.ShowCameras(cameras_);
    tvCameras_ = new QTableView(this);
    tvCameras_->setObjectName(QStringLiteral("tvCameras"));
    tvCameras_->setModel(&model_);
    tvCameras_->setItemDelegateForColumn(TFleetUpgradeModel::kUpload,
                                         new TUploadBarDelegate(tvCameras_));
    tvCameras_->setSelectionMode(QAbstractItemView::NoSelection);
    tvCameras_->verticalHeader()->hide();
    tvCameras_->horizontalHeader()->setStretchLastSection(true);
    tvCameras_->setWordWrap(false);
    tvCameras_->resizeColumnsToContents();
    const int em = fontMetrics().horizontalAdvance(QLatin1Char('M'));
    tvCameras_->setColumnWidth(TFleetUpgradeModel::kUpload, 10 * em);

    lblSummary_ = new QLabel(this);
    lblSummary_->setObjectName(QStringLiteral("lblSummary"));
    lblSummary_->setWordWrap(true);
    pbFleet_ = new QProgressBar(this);
    pbFleet_->setObjectName(QStringLiteral("pbFleet"));
    pbFleet_->setRange(0, std::max<int>(1, static_cast<int>(cameras_.size())));
    pbFleet_->setValue(0);

    btnStart_ = new QPushButton(GetStrRes("IDS_FLEET_START"), this);
    btnStart_->setObjectName(QStringLiteral("btnStart"));
    btnStart_->setEnabled(!cameras_.empty());
    btnCancel_ = new QPushButton(GetStrRes("IDS_FLEET_CANCEL"), this);
    btnCancel_->setObjectName(QStringLiteral("btnCancel"));
    btnCancel_->setEnabled(false);
    btnSaveReport_ = new QPushButton(GetStrRes("IDS_FLEET_SAVEREPORT"), this);
    btnSaveReport_->setObjectName(QStringLiteral("btnSaveReport"));
    btnSaveReport_->setEnabled(false);
    btnClose_ = new QPushButton(GetStrRes("IDS_FLEET_CLOSE"), this);
    btnClose_->setObjectName(QStringLiteral("btnClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnStart_);
    buttons->addWidget(btnCancel_);
    buttons->addStretch();
    buttons->addWidget(btnSaveReport_);
    buttons->addWidget(btnClose_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(files);
    layout->addLayout(choices);
    layout->addWidget(leftOutLabel);
    layout->addWidget(tvCameras_, 1);
    layout->addWidget(lblSummary_);
    layout->addWidget(pbFleet_);
    layout->addLayout(buttons);

    connect(btnStart_, &QPushButton::clicked, this, [this] { StartUpgrade(); });
    connect(btnCancel_, &QPushButton::clicked, this, [this] { CancelUpgrade(); });
    connect(btnSaveReport_, &QPushButton::clicked, this, [this] { SaveReport(); });
    connect(btnClose_, &QPushButton::clicked, this, [this] { reject(); });
    resize(70 * em, 36 * em);
}

TFleetUpgradeDialog::~TFleetUpgradeDialog() = default;

void TFleetUpgradeDialog::SetFile(std::int32_t family, const QString& path) {
    const auto edit = fileEdits_.find(family);
    if (edit != fileEdits_.end())
        edit->second->setText(path);
}

bool TFleetUpgradeDialog::StartUpgrade() {
    if (upgrade_ || cameras_.empty())
        return false;
    TFleetUpgradeSetup setup = setup_.upgrade;
    setup.kind = rbSystem_->isChecked() ? TFirmwareKind::SystemFirmware : TFirmwareKind::WebUi;
    setup.parallel = sbParallel_->value();
    setup.file.clear();
    setup.familyFiles.clear();
    for (const std::int32_t family : families_) {
        QLineEdit* edit = fileEdits_[family];
        const QString path = edit->text().trimmed();
        if (path.isEmpty()) {
            StrResMessageBox("IDS_FUPG_NOFILE", "IDS_ERROR", MsgStyle::kIconError);
            edit->setFocus();
            return false;
        }
        // As the single upgrade: the file must be readable, and family 2 wants its signature.
        if (!CheckUpgradeFile(path, family, setup.kind)) {
            StrResMessageBox("IDS_ERRFILE", "IDS_ERROR", MsgStyle::kIconError);
            edit->setFocus();
            return false;
        }
        setup.familyFiles[family] = path;
    }
    upgrade_ = std::make_unique<TFleetUpgrade>(session_, credentials_, cameras_,
                                               std::vector<std::string>{}, std::move(setup));
    model_.FollowUpgrade(upgrade_.get());
    connect(upgrade_.get(), &TFleetUpgrade::CameraChanged, this, [this] { UpgradeChanged(); });
    connect(upgrade_.get(), &TFleetUpgrade::Finished, this, [this] { UpgradeFinished(); });
    for (const auto& [family, edit] : fileEdits_)
        edit->setEnabled(false);
    for (QPushButton* browse : findChildren<QPushButton*>()) {
        if (browse->objectName().startsWith(QLatin1String("btnBrowse")))
            browse->setEnabled(false);
    }
    rbSystem_->setEnabled(false);
    rbWebUi_->setEnabled(false);
    sbParallel_->setEnabled(false);
    btnStart_->setEnabled(false);
    upgrade_->Start();
    UpgradeChanged();
    return true;
}

void TFleetUpgradeDialog::CancelUpgrade() {
    if (upgrade_)
        upgrade_->Cancel();
    UpdateButtons();
}

void TFleetUpgradeDialog::UpdateButtons() {
    const bool running = upgrade_ && !upgrade_->Done();
    btnCancel_->setEnabled(running && !upgrade_->Cancelled());
    // Closing breaks off the uploads that run: only once none does. A camera still restarting
    // is left to itself.
    btnClose_->setEnabled(!upgrade_ || upgrade_->Uploading() == 0);
    btnSaveReport_->setEnabled(upgrade_ && upgrade_->Started());
}

void TFleetUpgradeDialog::UpgradeChanged() {
    pbFleet_->setValue(upgrade_->FinishedCount());
    lblSummary_->setText(GetStrRes("IDS_FLEET_PROGRESS")
                             .arg(upgrade_->FinishedCount())
                             .arg(upgrade_->Cameras().size()));
    UpdateButtons();
}

void TFleetUpgradeDialog::UpgradeFinished() {
    const TFleetUpgrade& u = *upgrade_;
    lblSummary_->setText(GetStrRes("IDS_FUPG_SUMMARY")
                             .arg(u.Count(TUpgradeStage::kDone))
                             .arg(u.Count(TUpgradeStage::kFailed))
                             .arg(u.Count(TUpgradeStage::kNotBack))
                             .arg(u.Count(TUpgradeStage::kNotFound))
                             .arg(u.Count(TUpgradeStage::kCancelled)));
    pbFleet_->setValue(u.FinishedCount());
    // The versions now show what each camera reports after its restart.
    tvCameras_->resizeColumnToContents(TFleetUpgradeModel::kVersion);
    UpdateButtons();
}

void TFleetUpgradeDialog::SaveReport() {
    if (!upgrade_)
        return;
    SaveFleetReport(this, setup_.chooseReportFile, QStringLiteral("upgrade-report.csv"),
                    upgrade_->ReportJson(), upgrade_->ReportCsv());
}

void TFleetUpgradeDialog::reject() {
    // While files are on their way the dialog stays: Esc and the close box cancel instead.
    if (upgrade_ && upgrade_->Uploading() > 0) {
        CancelUpgrade();
        return;
    }
    QDialog::reject();
}

} // namespace zadari
