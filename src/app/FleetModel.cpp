#include "app/FleetModel.h"

#include "app/DeviceText.h"
#include "i18n/StrRes.h"

#include <map>

namespace zadari {

TFleetModel::TFleetModel(QObject* parent) : QAbstractTableModel(parent) {}

QString TFleetModel::StateText(const TFleetCamera& camera) {
    QString text = GetStrRes(FleetStatusKey(camera.status));
    if (camera.status == TFleetStatus::kFailed || camera.status == TFleetStatus::kUnverified)
        text += QStringLiteral(": ") + QString::fromStdString(camera.detail);
    return text;
}

void TFleetModel::ShowPlan(const TCheckedPlan& plan) {
    beginResetModel();
    if (run_ != nullptr)
        disconnect(run_, nullptr, this, nullptr);
    run_ = nullptr;
    lines_.clear();
    std::map<std::string, QString> problemOf;
    for (const TPlanProblem& problem : plan.problems) {
        QString& text = problemOf[problem.mac];
        text += (text.isEmpty() ? QString() : QStringLiteral("; ")) +
                GetStrRes(PlanProblemKey(problem.kind));
    }
    for (const TPlanStep& step : plan.steps) {
        TLine line{step.listed.mac, step.listed.name, step.listed.ip, step.NewIp(), {}, false};
        const auto problem = problemOf.find(step.entry.mac);
        if (problem != problemOf.end()) {
            line.state = problem->second;
            line.problem = true;
        } else {
            line.state = GetStrRes("IDS_FLEET_WAITING");
        }
        lines_.push_back(std::move(line));
    }
    for (const TPlanEntry& entry : plan.notFound)
        lines_.push_back(
            TLine{entry.mac, {}, {}, entry.ip, GetStrRes("IDS_FLEET_NOTFOUND"), false});
    // Problems that name no listed camera of the plan (lines that did not read, a camera the
    // plan cannot reach, swaps) get lines of their own.
    for (const TPlanProblem& problem : plan.problems) {
        bool shown = false;
        for (const TPlanStep& step : plan.steps)
            shown = shown || (!problem.mac.empty() && step.entry.mac == problem.mac);
        if (!shown)
            lines_.push_back(TLine{problem.mac,
                                   {},
                                   {},
                                   {},
                                   GetStrRes(PlanProblemKey(problem.kind)) + QStringLiteral(": ") +
                                       QString::fromStdString(problem.text),
                                   true});
    }
    endResetModel();
}

void TFleetModel::FollowRun(const TFleetRun* run) {
    beginResetModel();
    run_ = run;
    lines_.clear();
    for (const TFleetCamera& camera : run->Cameras())
        lines_.push_back(TLine{camera.listed.mac.empty() ? camera.entry.mac : camera.listed.mac,
                               camera.listed.name, camera.listed.ip, camera.newIp,
                               StateText(camera), false});
    connect(run, &TFleetRun::CameraChanged, this, [this](int index) { CameraChanged(index); });
    endResetModel();
}

void TFleetModel::CameraChanged(int index) {
    if (run_ == nullptr || index < 0 || index >= static_cast<int>(lines_.size()))
        return;
    lines_[static_cast<std::size_t>(index)].state =
        StateText(run_->Cameras()[static_cast<std::size_t>(index)]);
    Q_EMIT dataChanged(this->index(index, kState), this->index(index, kState));
}

int TFleetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int TFleetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TFleetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(lines_.size()))
        return {};
    const TLine& line = lines_[static_cast<std::size_t>(index.row())];
    if (role == kProblemRole)
        return line.problem;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    switch (index.column()) {
    case kMac:
        return QString::fromLatin1(line.mac.data(), static_cast<qsizetype>(line.mac.size()));
    case kName:
        return DecodeDeviceText(line.name);
    case kIp:
        return QString::fromStdString(line.ip);
    case kNewIp:
        return QString::fromStdString(line.newIp);
    case kState:
        return line.state;
    default:
        return {};
    }
}

QVariant TFleetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kKeys[kColumnCount] = {"IDS_FLEET_COLMAC", "IDS_FLEET_COLNAME",
                                                    "IDS_FLEET_COLIP", "IDS_FLEET_COLNEWIP",
                                                    "IDS_FLEET_COLSTATE"};
    return section >= 0 && section < kColumnCount ? GetStrRes(kKeys[section]) : QVariant();
}

} // namespace zadari
