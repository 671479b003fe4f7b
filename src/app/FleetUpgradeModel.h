#pragma once
// The table of a fleet upgrade as a view shows it: one row per camera with its MAC, name,
// address, version, the upload's percent and its stage. Before the upgrade starts it shows the
// chosen cameras as waiting. It holds no widget.
#include "app/FleetUpgrade.h"

#include <QAbstractTableModel>

#include <vector>

namespace zadari {

class TFleetUpgradeModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { kMac, kName, kIp, kVersion, kUpload, kStage, kColumnCount };
    /// Role of data() with the upload's percent (an int, 0 to 100) in every column.
    static constexpr int kPercentRole = Qt::UserRole + 1;
    /// Role of data() with the stage (an int of TUpgradeStage) in every column.
    static constexpr int kStageRole = Qt::UserRole + 2;

    explicit TFleetUpgradeModel(QObject* parent = nullptr);

    /// The cameras an upgrade is about to get, each waiting.
    void ShowCameras(const std::vector<TDevInfo>& cameras);
    /// Follows an upgrade (which must outlive the model or be followed by another Show call).
    void FollowUpgrade(const TFleetUpgrade* upgrade);

    /// The stage column's text: the stage, with the reason of a failure or the version of a
    /// camera that is back.
    static QString StageText(const TUpgradeCamera& camera);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void CameraChanged(int index);
    void Forget();

    std::vector<TUpgradeCamera> lines_;
    const TFleetUpgrade* upgrade_ = nullptr;
};

} // namespace zadari
