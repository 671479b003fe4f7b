#pragma once
// "Re-address…": a plan for the selected cameras (an address range handed out in list order,
// or a plan file), its preview with every problem, and the run with a live status per camera,
// a progress bar, Cancel, and the report saved as CSV or JSON.
#include "app/Credentials.h"
#include "app/FleetModel.h"
#include "app/FleetPlan.h"
#include "app/FleetRun.h"

#include <QDialog>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

namespace zadari {

class TIPEdit;
class TSession;

struct TFleetDialogSetup {
    /// The plan file chosen by the user ("" when cancelled); empty for the open dialog.
    std::function<QString(QWidget* owner)> choosePlanFile;
    /// The report file chosen by the user ("" when cancelled); empty for the save dialog.
    std::function<QString(QWidget* owner)> chooseReportFile;
    /// How long each camera has to answer at its new address.
    int verifyMs = 20000;
};

class TFleetDialog : public QDialog {
    Q_OBJECT
public:
    /// `selected` are the cameras the range is handed out over, in list order.
    TFleetDialog(TSession& session, ICredentialsProvider& credentials,
                 std::vector<TDevInfo> selected, TFleetDialogSetup setup = {},
                 QWidget* parent = nullptr);
    ~TFleetDialog() override;

    const TCheckedPlan& Plan() const { return plan_; }
    const TFleetRun* Run() const { return run_.get(); }
    TFleetModel& Model() { return model_; }

    void MakeRangePlan();
    void LoadPlanFile(const QString& path);
    void StartRun();
    void CancelRun();
    void SaveReport();

protected:
    void reject() override;

private:
    void ShowPlan(TCheckedPlan plan);
    void RunChanged();
    void RunFinished();

    TSession& session_;
    ICredentialsProvider& credentials_;
    std::vector<TDevInfo> selected_;
    TFleetDialogSetup setup_;
    TCheckedPlan plan_;
    std::unique_ptr<TFleetRun> run_;
    TFleetModel model_;

    TIPEdit* edFirst_ = nullptr;
    TIPEdit* edMask_ = nullptr;
    TIPEdit* edGateway_ = nullptr;
    QTableView* tvPlan_ = nullptr;
    QLabel* lblSummary_ = nullptr;
    QProgressBar* pbFleet_ = nullptr;
    QPushButton* btnStart_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
    QPushButton* btnSaveReport_ = nullptr;
    QPushButton* btnClose_ = nullptr;
};

} // namespace zadari
