#include "gui/FleetDialog.h"

#include "app/AtomicFile.h"
#include "app/Session.h"
#include "controls/IPEdit.h"
#include "gui/WindowParts.h"
#include "i18n/StrRes.h"

#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace zadari {
namespace {

TIPEdit* AddressField(const std::string& value, QWidget* parent) {
    auto* edit = new TIPEdit(parent);
    edit->SetIPString(QString::fromStdString(value));
    // Room for four parts of three digits, not the dialog's whole width.
    edit->setMaximumWidth(2 *
                          edit->fontMetrics().horizontalAdvance(QStringLiteral("000.000.000.000")));
    return edit;
}

} // namespace

TFleetDialog::TFleetDialog(TSession& session, ICredentialsProvider& credentials,
                           std::vector<TDevInfo> selected, TFleetDialogSetup setup, QWidget* parent)
    : QDialog(parent), session_(session), credentials_(credentials), selected_(std::move(selected)),
      setup_(std::move(setup)) {
    setObjectName(QStringLiteral("frmFleet"));
    setWindowTitle(GetStrRes("IDS_FLEET_TITLE"));
    const TDevInfo first = selected_.empty() ? TDevInfo() : selected_.front();

    auto* range = new QFormLayout;
    edFirst_ = AddressField(first.ip, this);
    edFirst_->setObjectName(QStringLiteral("edFirst"));
    edMask_ = AddressField(first.mask, this);
    edMask_->setObjectName(QStringLiteral("edMask"));
    edGateway_ = AddressField(first.gateway, this);
    edGateway_->setObjectName(QStringLiteral("edGateway"));
    range->addRow(GetStrRes("IDS_FLEET_FIRST"), edFirst_);
    range->addRow(GetStrRes("IDS_FLEET_MASK"), edMask_);
    range->addRow(GetStrRes("IDS_FLEET_GATEWAY"), edGateway_);
    auto* makePlan = new QPushButton(GetStrRes("IDS_FLEET_MAKEPLAN"), this);
    makePlan->setObjectName(QStringLiteral("btnMakePlan"));
    auto* loadPlan = new QPushButton(GetStrRes("IDS_FLEET_LOADPLAN"), this);
    loadPlan->setObjectName(QStringLiteral("btnLoadPlan"));
    auto* planButtons = new QHBoxLayout;
    planButtons->addWidget(makePlan);
    planButtons->addWidget(loadPlan);
    planButtons->addStretch();

    tvPlan_ = new QTableView(this);
    tvPlan_->setObjectName(QStringLiteral("tvPlan"));
    tvPlan_->setModel(&model_);
    tvPlan_->setSelectionMode(QAbstractItemView::NoSelection);
    tvPlan_->verticalHeader()->hide();
    tvPlan_->horizontalHeader()->setStretchLastSection(true);
    tvPlan_->setWordWrap(false);

    lblSummary_ = new QLabel(this);
    lblSummary_->setObjectName(QStringLiteral("lblSummary"));
    lblSummary_->setWordWrap(true);
    pbFleet_ = new QProgressBar(this);
    pbFleet_->setObjectName(QStringLiteral("pbFleet"));
    pbFleet_->setValue(0);

    btnStart_ = new QPushButton(GetStrRes("IDS_FLEET_START"), this);
    btnStart_->setObjectName(QStringLiteral("btnStart"));
    btnCancel_ = new QPushButton(GetStrRes("IDS_FLEET_CANCEL"), this);
    btnCancel_->setObjectName(QStringLiteral("btnCancel"));
    btnCancel_->setEnabled(false);
    btnSaveReport_ = new QPushButton(GetStrRes("IDS_FLEET_SAVEREPORT"), this);
    btnSaveReport_->setObjectName(QStringLiteral("btnSaveReport"));
    btnSaveReport_->setEnabled(false);
    btnClose_ = new QPushButton(GetStrRes("IDS_FLEET_CLOSE"), this);
    btnClose_->setObjectName(QStringLiteral("btnClose"));
    auto* runButtons = new QHBoxLayout;
    runButtons->addWidget(btnStart_);
    runButtons->addWidget(btnCancel_);
    runButtons->addStretch();
    runButtons->addWidget(btnSaveReport_);
    runButtons->addWidget(btnClose_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(range);
    layout->addLayout(planButtons);
    layout->addWidget(tvPlan_, 1);
    layout->addWidget(lblSummary_);
    layout->addWidget(pbFleet_);
    layout->addLayout(runButtons);

    connect(makePlan, &QPushButton::clicked, this, [this] { MakeRangePlan(); });
    connect(loadPlan, &QPushButton::clicked, this, [this] {
        const QString path =
            setup_.choosePlanFile
                ? setup_.choosePlanFile(this)
                : QFileDialog::getOpenFileName(this, GetStrRes("IDS_FLEET_LOADPLAN"), QString(),
                                               QStringLiteral("CSV (*.csv);;* (*)"));
        if (!path.isEmpty())
            LoadPlanFile(path);
    });
    connect(btnStart_, &QPushButton::clicked, this, [this] { StartRun(); });
    connect(btnCancel_, &QPushButton::clicked, this, [this] { CancelRun(); });
    connect(btnSaveReport_, &QPushButton::clicked, this, [this] { SaveReport(); });
    connect(btnClose_, &QPushButton::clicked, this, [this] { reject(); });

    const int em = fontMetrics().horizontalAdvance(QLatin1Char('M'));
    resize(60 * em, 36 * em);
    MakeRangePlan();
}

TFleetDialog::~TFleetDialog() = default;

void TFleetDialog::MakeRangePlan() {
    const std::optional<std::uint32_t> first = ParseIpv4(edFirst_->IPString().toStdString());
    std::vector<std::string> inUse;
    for (const TDevInfo& record : ListedCameras(session_.List()))
        inUse.push_back(record.ip);
    std::vector<TPlanProblem> problems;
    // The range runs to the end of the first address's subnet.
    const std::optional<std::uint32_t> mask = ParseIpv4(edMask_->IPString().toStdString());
    const std::uint32_t last =
        first && mask && IsSubnetMask(*mask) ? (*first | ~*mask) : first.value_or(0);
    const std::vector<TPlanEntry> entries =
        PlanRange(selected_, first.value_or(0), last, edMask_->IPString().toStdString(),
                  edGateway_->IPString().toStdString(), inUse, &problems);
    TCheckedPlan plan = CheckPlanAgainst(session_, entries);
    plan.problems.insert(plan.problems.end(), problems.begin(), problems.end());
    ShowPlan(std::move(plan));
}

void TFleetDialog::LoadPlanFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > 4 * 1024 * 1024) {
        QMessageBox::warning(this, GetStrRes("IDS_ERROR"), GetStrRes("IDS_ERRFILE"));
        return;
    }
    const QByteArray bytes = file.readAll();
    const TPlanReading reading = ReadPlanCsv(std::string_view(bytes.constData(), bytes.size()));
    TCheckedPlan plan = CheckPlanAgainst(session_, reading.entries);
    plan.problems.insert(plan.problems.begin(), reading.problems.begin(), reading.problems.end());
    ShowPlan(std::move(plan));
}

void TFleetDialog::ShowPlan(TCheckedPlan plan) {
    plan_ = std::move(plan);
    model_.ShowPlan(plan_);
    tvPlan_->resizeColumnsToContents();
    const bool runnable = plan_.Valid() && !plan_.steps.empty();
    btnStart_->setEnabled(runnable);
    lblSummary_->setText(plan_.Valid() ? QString() : GetStrRes("IDS_FLEET_INVALID"));
    pbFleet_->setValue(0);
}

void TFleetDialog::StartRun() {
    if (run_ || !plan_.Valid() || plan_.steps.empty())
        return;
    run_ = std::make_unique<TFleetRun>(session_, credentials_, plan_, setup_.verifyMs);
    model_.FollowRun(run_.get());
    pbFleet_->setRange(0, static_cast<int>(run_->Cameras().size()));
    connect(run_.get(), &TFleetRun::CameraChanged, this, [this] { RunChanged(); });
    connect(run_.get(), &TFleetRun::Finished, this, [this] { RunFinished(); });
    btnStart_->setEnabled(false);
    btnCancel_->setEnabled(true);
    btnClose_->setEnabled(false);
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->objectName() == QLatin1String("btnMakePlan") ||
            button->objectName() == QLatin1String("btnLoadPlan"))
            button->setEnabled(false);
    }
    run_->Start();
    RunChanged();
}

void TFleetDialog::CancelRun() {
    if (run_)
        run_->Cancel();
    btnCancel_->setEnabled(false);
}

void TFleetDialog::RunChanged() {
    pbFleet_->setValue(run_->FinishedCount());
    lblSummary_->setText(
        GetStrRes("IDS_FLEET_PROGRESS").arg(run_->FinishedCount()).arg(run_->Cameras().size()));
}

void TFleetDialog::RunFinished() {
    int counts[7] = {};
    for (const TFleetCamera& camera : run_->Cameras())
        ++counts[static_cast<int>(camera.status)];
    lblSummary_->setText(GetStrRes("IDS_FLEET_SUMMARY")
                             .arg(counts[static_cast<int>(TFleetStatus::kVerified)])
                             .arg(counts[static_cast<int>(TFleetStatus::kUnverified)])
                             .arg(counts[static_cast<int>(TFleetStatus::kFailed)] +
                                  counts[static_cast<int>(TFleetStatus::kCancelled)])
                             .arg(counts[static_cast<int>(TFleetStatus::kNotFound)]));
    btnCancel_->setEnabled(false);
    btnSaveReport_->setEnabled(true);
    btnClose_->setEnabled(true);
}

void TFleetDialog::SaveReport() {
    if (!run_)
        return;
    SaveFleetReport(this, setup_.chooseReportFile, QStringLiteral("readdress-report.csv"),
                    run_->ReportJson(), run_->ReportCsv());
}

void TFleetDialog::reject() {
    // While cameras are being changed the dialog stays: Esc and the close box cancel the run.
    if (run_ && !run_->Done()) {
        CancelRun();
        return;
    }
    QDialog::reject();
}

} // namespace zadari
