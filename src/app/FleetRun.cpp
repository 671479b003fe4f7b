#include "app/FleetRun.h"

#include "app/DevInfoJson.h"
#include "app/DeviceList.h"
#include "app/ReportText.h"
#include "app/SearchEngine.h"
#include "app/Session.h"
#include "protocols/FamilyTable.h"

namespace zadari {
namespace {

/// How often the run looks at the list and sends the next camera.
constexpr int kStepMs = 50;

} // namespace

const char* FleetStatusWord(TFleetStatus status) {
    switch (status) {
    case TFleetStatus::kWaiting:
        return "waiting";
    case TFleetStatus::kVerifying:
        return "verifying";
    case TFleetStatus::kVerified:
        return "verified";
    case TFleetStatus::kUnverified:
        return "unverified";
    case TFleetStatus::kFailed:
        return "failed";
    case TFleetStatus::kNotFound:
        return "not-found";
    case TFleetStatus::kCancelled:
        return "cancelled";
    }
    return "failed";
}

const char* FleetStatusKey(TFleetStatus status) {
    switch (status) {
    case TFleetStatus::kWaiting:
        return "IDS_FLEET_WAITING";
    case TFleetStatus::kVerifying:
        return "IDS_FLEET_VERIFYING";
    case TFleetStatus::kVerified:
        return "IDS_FLEET_VERIFIED";
    case TFleetStatus::kUnverified:
        return "IDS_FLEET_UNVERIFIED";
    case TFleetStatus::kFailed:
        return "IDS_FLEET_FAILED";
    case TFleetStatus::kNotFound:
        return "IDS_FLEET_NOTFOUND";
    case TFleetStatus::kCancelled:
        return "IDS_FLEET_CANCELLED";
    }
    return "IDS_FLEET_FAILED";
}

std::optional<TCredentials> TFleetCredentials::AskCredentials(std::int32_t family,
                                                              const TCredentials& presets) {
    const auto known = accounts_.find(family);
    if (known != accounts_.end())
        return known->second;
    std::optional<TCredentials> answer = asker_.AskCredentials(family, presets);
    if (answer)
        accounts_[family] = *answer;
    return answer;
}

std::optional<TCredentials> TFleetCredentials::Known(std::int32_t family) const {
    const auto known = accounts_.find(family);
    if (known == accounts_.end())
        return std::nullopt;
    return known->second;
}

TFleetRun::TFleetRun(TSession& session, ICredentialsProvider& asker, const TCheckedPlan& plan,
                     int verifyMs, QObject* parent)
    : QObject(parent), session_(session), credentials_(asker),
      flow_(session.MakeApplyFlow(credentials_)), verifyMs_(verifyMs) {
    // The list is cleared by a search started after each camera; in a run the timer's cycles
    // find the cameras, and the others stay listed meanwhile.
    flow_->searchAfterApply = false;
    if (plan.Valid()) {
        for (const TPlanStep& step : plan.steps) {
            TFleetCamera camera;
            camera.entry = step.entry;
            camera.listed = step.listed;
            camera.newIp = step.NewIp();
            camera.waitsFor = step.waitsFor;
            cameras_.push_back(std::move(camera));
        }
    }
    for (const TPlanEntry& entry : plan.notFound) {
        TFleetCamera camera;
        camera.entry = entry;
        camera.newIp = entry.ip;
        camera.status = TFleetStatus::kNotFound;
        camera.detail = "no listed camera has this MAC";
        cameras_.push_back(std::move(camera));
    }
    timer_.setInterval(kStepMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
}

TFleetRun::~TFleetRun() = default;

void TFleetRun::Start() {
    // The first camera goes from the event loop too, so whoever follows the run sees it.
    clock_.start();
    timer_.start();
}

void TFleetRun::Cancel() {
    cancelled_ = true;
}

bool TFleetRun::Done() const {
    for (const TFleetCamera& camera : cameras_) {
        if (!camera.Final())
            return false;
    }
    return true;
}

int TFleetRun::FinishedCount() const {
    int count = 0;
    for (const TFleetCamera& camera : cameras_)
        count += camera.Final() ? 1 : 0;
    return count;
}

bool TFleetRun::AllVerified() const {
    for (const TFleetCamera& camera : cameras_) {
        if (camera.status != TFleetStatus::kVerified)
            return false;
    }
    return true;
}

void TFleetRun::SetStatus(std::size_t index, TFleetStatus status, std::string detail) {
    TFleetCamera& camera = cameras_[index];
    camera.status = status;
    camera.detail = std::move(detail);
    Q_EMIT CameraChanged(static_cast<int>(index));
}

void TFleetRun::Step() {
    if (finished_)
        return;
    Verify();
    if (cancelled_) {
        for (std::size_t i = 0; i < cameras_.size(); ++i) {
            if (cameras_[i].status == TFleetStatus::kWaiting)
                SetStatus(i, TFleetStatus::kCancelled, "the run was cancelled before its turn");
        }
    } else {
        SendNext();
    }
    if (Done()) {
        finished_ = true;
        timer_.stop();
        Q_EMIT Finished();
    }
}

void TFleetRun::Verify() {
    const TDeviceList& list = session_.List();
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        TFleetCamera& camera = cameras_[i];
        if (camera.status != TFleetStatus::kVerifying)
            continue;
        const TDevInfo* found = list.FindRowByMac(camera.listed.mac);
        if (found != nullptr && found->ip == camera.newIp) {
            SetStatus(i, TFleetStatus::kVerified,
                      "answers at " + camera.newIp + " after " +
                          std::to_string(clock_.elapsed() - camera.sentAtMs) + " ms");
        } else if (clock_.elapsed() - camera.sentAtMs > verifyMs_) {
            SetStatus(i, TFleetStatus::kUnverified,
                      found != nullptr ? "still answers at " + found->ip
                                       : "not found at " + camera.newIp + " within " +
                                             std::to_string(verifyMs_ / 1000) + " s");
        }
    }
}

bool TFleetRun::SendNext() {
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        TFleetCamera& camera = cameras_[i];
        if (camera.status != TFleetStatus::kWaiting)
            continue;
        if (camera.waitsFor >= 0) {
            // The address is taken only after the camera holding it was found elsewhere.
            const TFleetCamera& holder = cameras_[static_cast<std::size_t>(camera.waitsFor)];
            if (!holder.Final())
                return false;
            if (holder.status != TFleetStatus::kVerified) {
                SetStatus(i, TFleetStatus::kFailed,
                          "not sent: " + camera.newIp + " may still be held by " +
                              holder.listed.mac + " (" + FleetStatusWord(holder.status) + ")");
                continue;
            }
        }

        TEditedValues values = TEditedValues::FromRecord(camera.listed);
        values.ip = camera.newIp;
        values.mask = camera.entry.mask.empty() ? camera.listed.mask : camera.entry.mask;
        values.gateway =
            camera.entry.gateway.empty() ? camera.listed.gateway : camera.entry.gateway;
        if (camera.entry.name)
            values.name = *camera.entry.name;

        const std::int32_t family = camera.listed.family;
        TApplyResult result = flow_->Apply(camera.listed, values);
        if (!result.Applied() && result.reason == TNotAppliedReason::kCommandFailed &&
            result.askedCredentials && !result.carriedBy.empty()) {
            // The camera refused the account: ask again, and send once more only with another.
            const TCredentials refused = credentials_.Known(family).value_or(TCredentials{});
            credentials_.Forget(family);
            const std::optional<TCredentials> presets = CredentialPresets(family);
            const std::optional<TCredentials> again =
                presets ? credentials_.AskCredentials(family, *presets) : std::nullopt;
            if (again && *again != refused)
                result = flow_->Apply(camera.listed, values);
        }
        if (result.Applied()) {
            camera.sentAtMs = clock_.elapsed();
            SetStatus(i, TFleetStatus::kVerifying, result.detail);
        } else {
            if (result.reason == TNotAppliedReason::kCancelled)
                credentials_.Forget(family);
            SetStatus(i, TFleetStatus::kFailed,
                      result.detail.empty() ? ReasonText(result.reason) : result.detail);
        }
        return true;
    }
    return false;
}

std::vector<TDevInfo> ListedCameras(const TDeviceList& list) {
    std::vector<TDevInfo> cameras;
    cameras.reserve(static_cast<std::size_t>(list.RowCount()));
    for (int row = 0; row < list.RowCount(); ++row)
        cameras.push_back(list.Row(row).record);
    return cameras;
}

TCheckedPlan CheckPlanAgainst(TSession& session, const std::vector<TPlanEntry>& entries) {
    const TApplyFlow& flow = session.ApplyFlow();
    return CheckPlan(entries, ListedCameras(session.List()),
                     [&flow](const TDevInfo& record) { return flow.WhyNoCommand(record); });
}

std::string TFleetRun::ReportJson() const {
    std::string json = "[";
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        const TFleetCamera& camera = cameras_[i];
        json += i == 0 ? "\n" : ",\n";
        json += "  {\"mac\": " + JsonQuote(ColonMac(camera.entry.mac)) +
                ", \"ip\": " + JsonQuote(camera.newIp) +
                ", \"oldIp\": " + JsonQuote(camera.listed.ip) +
                ", \"family\": " + std::to_string(camera.listed.family) +
                ", \"status\": " + JsonQuote(FleetStatusWord(camera.status)) +
                ", \"detail\": " + JsonQuote(camera.detail) + "}";
    }
    json += cameras_.empty() ? "]\n" : "\n]\n";
    return json;
}

std::string TFleetRun::ReportCsv() const {
    std::string csv = "mac,ip,oldIp,family,status,detail\n";
    for (const TFleetCamera& camera : cameras_) {
        csv += ColonMac(camera.entry.mac) + "," + camera.newIp + "," + camera.listed.ip + "," +
               std::to_string(camera.listed.family) + "," + FleetStatusWord(camera.status) + "," +
               CsvField(camera.detail) + "\n";
    }
    return csv;
}

} // namespace zadari
