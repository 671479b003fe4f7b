#pragma once
// The table of a re-addressing plan and its run, as a view shows it: one row per camera with
// its MAC, name, current and new address and its state (a problem of the plan, or the run's
// status). It holds no widget.
#include "app/FleetPlan.h"
#include "app/FleetRun.h"

#include <QAbstractTableModel>

#include <vector>

namespace zadari {

class TFleetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { kMac, kName, kIp, kNewIp, kState, kColumnCount };
    /// Role of data() that says whether the row shows a problem of the plan (a bool).
    static constexpr int kProblemRole = Qt::UserRole + 1;

    explicit TFleetModel(QObject* parent = nullptr);

    /// Shows a checked plan: its steps in sending order, then the cameras not found; a camera
    /// with a problem shows the problem.
    void ShowPlan(const TCheckedPlan& plan);
    /// Follows a run (which must outlive the model or be followed by another ShowPlan).
    void FollowRun(const TFleetRun* run);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    struct TLine {
        std::string mac;
        std::string name;
        std::string ip;
        std::string newIp;
        QString state;
        bool problem = false;
    };
    void CameraChanged(int index);
    static QString StateText(const TFleetCamera& camera);

    std::vector<TLine> lines_;
    const TFleetRun* run_ = nullptr;
};

} // namespace zadari
