#pragma once
// "Fleet upgrade…": firmware for the selected cameras that take it, one file per kind of
// camera, system firmware or web UI, at most N uploads at once. One row per camera with its
// upload's progress bar and its stage, a summary, Cancel (no further upload starts), and the
// report saved as CSV or JSON. The search keeps running meanwhile.
#include "app/Credentials.h"
#include "app/FleetUpgrade.h"
#include "app/FleetUpgradeModel.h"

#include <QDialog>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableView;

namespace zadari {

class TSession;

struct TFleetUpgradeDialogSetup {
    /// The firmware file chosen for a family ("" when cancelled); empty for the open dialog.
    std::function<QString(QWidget* owner, std::int32_t family)> chooseFirmwareFile;
    /// The report file chosen by the user ("" when cancelled); empty for the save dialog.
    std::function<QString(QWidget* owner)> chooseReportFile;
    /// The upgrade's limits and, for tests, its uploads; the dialog sets the files, the kind
    /// and the number of uploads at once.
    TFleetUpgradeSetup upgrade;
};

class TFleetUpgradeDialog : public QDialog {
    Q_OBJECT
public:
    /// `selected` are the cameras chosen in the list; those whose family takes no firmware are
    /// left out (a line says how many).
    TFleetUpgradeDialog(TSession& session, ICredentialsProvider& credentials,
                        const std::vector<TDevInfo>& selected, TFleetUpgradeDialogSetup setup = {},
                        QWidget* parent = nullptr);
    ~TFleetUpgradeDialog() override;

    const std::vector<TDevInfo>& Cameras() const { return cameras_; }
    /// The families of the cameras, in the order their file fields are shown.
    const std::vector<std::int32_t>& Families() const { return families_; }
    const TFleetUpgrade* Upgrade() const { return upgrade_.get(); }
    TFleetUpgradeModel& Model() { return model_; }

    /// Sets the file field of a family.
    void SetFile(std::int32_t family, const QString& path);
    /// Checks the files and starts the upgrade; false when a file is missing or does not suit
    /// its family (a message says which).
    bool StartUpgrade();
    void CancelUpgrade();
    void SaveReport();

protected:
    void reject() override;

private:
    void UpgradeChanged();
    void UpgradeFinished();
    void UpdateButtons();

    TSession& session_;
    ICredentialsProvider& credentials_;
    std::vector<TDevInfo> cameras_;
    std::vector<std::int32_t> families_;
    TFleetUpgradeDialogSetup setup_;
    std::unique_ptr<TFleetUpgrade> upgrade_;
    TFleetUpgradeModel model_;

    std::map<std::int32_t, QLineEdit*> fileEdits_;
    QRadioButton* rbSystem_ = nullptr;
    QRadioButton* rbWebUi_ = nullptr;
    QSpinBox* sbParallel_ = nullptr;
    QTableView* tvCameras_ = nullptr;
    QLabel* lblSummary_ = nullptr;
    QProgressBar* pbFleet_ = nullptr;
    QPushButton* btnStart_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
    QPushButton* btnSaveReport_ = nullptr;
    QPushButton* btnClose_ = nullptr;
};

} // namespace zadari
