#include "app/FleetUpgradeModel.h"

#include "app/DeviceText.h"
#include "i18n/StrRes.h"
#include "protocols/Encoding.h"

namespace zadari {
namespace {

QString ColonMacText(const std::string& key) {
    QString text;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (i > 0 && i % 2 == 0)
            text += QLatin1Char(':');
        text += QLatin1Char(key[i]);
    }
    return text;
}

} // namespace

TFleetUpgradeModel::TFleetUpgradeModel(QObject* parent) : QAbstractTableModel(parent) {}

QString TFleetUpgradeModel::StageText(const TUpgradeCamera& camera) {
    QString text = GetStrRes(UpgradeStageKey(camera.stage));
    switch (camera.stage) {
    case TUpgradeStage::kUploading:
        text += QStringLiteral(" %1 %").arg(camera.percent);
        break;
    case TUpgradeStage::kBack:
    case TUpgradeStage::kDone:
        if (!camera.versionAfter.empty())
            text += QStringLiteral(": ") + DecodeDeviceText(camera.versionAfter);
        break;
    case TUpgradeStage::kFailed:
    case TUpgradeStage::kNotBack:
        if (!camera.detail.empty())
            text += QStringLiteral(": ") + QString::fromStdString(camera.detail);
        break;
    default:
        break;
    }
    return text;
}

void TFleetUpgradeModel::Forget() {
    if (upgrade_ != nullptr)
        disconnect(upgrade_, nullptr, this, nullptr);
    upgrade_ = nullptr;
}

void TFleetUpgradeModel::ShowCameras(const std::vector<TDevInfo>& cameras) {
    beginResetModel();
    Forget();
    lines_.clear();
    for (const TDevInfo& record : cameras) {
        TUpgradeCamera line;
        line.mac = MacKeyOf(record.mac);
        line.listed = record;
        lines_.push_back(std::move(line));
    }
    endResetModel();
}

void TFleetUpgradeModel::FollowUpgrade(const TFleetUpgrade* upgrade) {
    beginResetModel();
    Forget();
    upgrade_ = upgrade;
    lines_ = upgrade->Cameras();
    connect(upgrade, &TFleetUpgrade::CameraChanged, this,
            [this](int index) { CameraChanged(index); });
    endResetModel();
}

void TFleetUpgradeModel::CameraChanged(int index) {
    if (upgrade_ == nullptr || index < 0 || index >= static_cast<int>(lines_.size()))
        return;
    lines_[static_cast<std::size_t>(index)] = upgrade_->Cameras()[static_cast<std::size_t>(index)];
    Q_EMIT dataChanged(this->index(index, 0), this->index(index, kColumnCount - 1));
}

int TFleetUpgradeModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int TFleetUpgradeModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TFleetUpgradeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(lines_.size()))
        return {};
    const TUpgradeCamera& line = lines_[static_cast<std::size_t>(index.row())];
    if (role == kPercentRole)
        return line.percent;
    if (role == kStageRole)
        return static_cast<int>(line.stage);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case kMac:
        return ColonMacText(line.mac);
    case kName:
        return DecodeDeviceText(line.listed.name);
    case kIp:
        return DecodeDeviceText(line.listed.ip);
    case kVersion:
        if (!line.versionAfter.empty() && line.versionAfter != line.listed.version)
            return DecodeDeviceText(line.listed.version) + QStringLiteral(" -> ") +
                   DecodeDeviceText(line.versionAfter);
        return DecodeDeviceText(line.listed.version);
    case kUpload:
        return QStringLiteral("%1 %").arg(line.percent);
    case kStage:
        return StageText(line);
    default:
        return {};
    }
}

QVariant TFleetUpgradeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kKeys[kColumnCount] = {"IDS_FLEET_COLMAC",   "IDS_FLEET_COLNAME",
                                                    "IDS_FLEET_COLIP",    "IDS_COL_VERSION",
                                                    "IDS_FUPG_COLUPLOAD", "IDS_FUPG_COLSTAGE"};
    return section >= 0 && section < kColumnCount ? GetStrRes(kKeys[section]) : QVariant();
}

} // namespace zadari
