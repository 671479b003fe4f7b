#include "app/FleetUpgrade.h"

#include "app/ApplyFlow.h"
#include "app/DevInfoJson.h"
#include "app/DeviceList.h"
#include "app/DeviceText.h"
#include "app/FleetRun.h"
#include "app/ReportText.h"
#include "app/Session.h"
#include "protocols/Encoding.h"
#include "protocols/FamilyTable.h"
#include "upgrade/UploadJob.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace zadari {
namespace {

/// How often the upgrade looks at the list.
constexpr int kStepMs = 100;

std::string Seconds(qint64 ms, int decimals = 1) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(ms) / 1000.0);
    return text;
}

/// A device's text (a version, an address) as UTF-8, decoded as the window shows it.
std::string Utf8(const std::string& deviceText) {
    return DecodeDeviceText(deviceText).toStdString();
}

/// "300 s", "0.5 s".
std::string Limit(int ms) {
    return (ms % 1000 == 0 ? std::to_string(ms / 1000) : Seconds(ms)) + " s";
}

bool PostsItsOwnForm(std::int32_t family) {
    const TFamilyRow* row = FindFamily(family);
    return row != nullptr && row->upgrade == TUpgradeKind::kQueryAuthForm;
}

} // namespace

const char* UpgradeStageWord(TUpgradeStage stage) {
    switch (stage) {
    case TUpgradeStage::kWaiting:
        return "waiting";
    case TUpgradeStage::kUploading:
        return "uploading";
    case TUpgradeStage::kRebooting:
        return "rebooting";
    case TUpgradeStage::kBack:
        return "back";
    case TUpgradeStage::kDone:
        return "done";
    case TUpgradeStage::kFailed:
        return "failed";
    case TUpgradeStage::kNotBack:
        return "not-back";
    case TUpgradeStage::kNotFound:
        return "not-found";
    case TUpgradeStage::kCancelled:
        return "cancelled";
    }
    return "failed";
}

const char* UpgradeStageKey(TUpgradeStage stage) {
    switch (stage) {
    case TUpgradeStage::kWaiting:
        return "IDS_FLEET_WAITING";
    case TUpgradeStage::kUploading:
        return "IDS_FUPG_UPLOADING";
    case TUpgradeStage::kRebooting:
        return "IDS_FUPG_REBOOTING";
    case TUpgradeStage::kBack:
        return "IDS_FUPG_BACK";
    case TUpgradeStage::kDone:
        return "IDS_FUPG_DONE";
    case TUpgradeStage::kFailed:
        return "IDS_FLEET_FAILED";
    case TUpgradeStage::kNotBack:
        return "IDS_FUPG_NOTBACK";
    case TUpgradeStage::kNotFound:
        return "IDS_FLEET_NOTFOUND";
    case TUpgradeStage::kCancelled:
        return "IDS_FLEET_CANCELLED";
    }
    return "IDS_FLEET_FAILED";
}

QString TFleetUpgradeSetup::FileFor(std::int32_t family) const {
    const auto own = familyFiles.find(family);
    return own != familyFiles.end() && !own->second.isEmpty() ? own->second : file;
}

TFleetUpgrade::TFleetUpgrade(TSession& session, ICredentialsProvider& asker,
                             std::vector<TDevInfo> cameras, std::vector<std::string> notFound,
                             TFleetUpgradeSetup setup, QObject* parent)
    : QObject(parent), session_(session), credentials_(std::make_unique<TFleetCredentials>(asker)),
      setup_(std::move(setup)) {
    setup_.parallel = std::max(1, setup_.parallel);
    for (TDevInfo& record : cameras) {
        TUpgradeCamera camera;
        camera.mac = MacKeyOf(record.mac);
        camera.listed = std::move(record);
        cameras_.push_back(std::move(camera));
    }
    for (const std::string& mac : notFound) {
        TUpgradeCamera camera;
        camera.mac = MacKeyOf(mac);
        camera.stage = TUpgradeStage::kNotFound;
        camera.detail = "no listed camera has this MAC";
        cameras_.push_back(std::move(camera));
    }
    timer_.setInterval(kStepMs);
    connect(&timer_, &QTimer::timeout, this, [this] { Step(); });
}

TFleetUpgrade::~TFleetUpgrade() {
    // Each job's destructor cancels its upload and waits for its thread.
    for (const auto& [index, job] : jobs_) {
        disconnect(job, nullptr, this, nullptr);
        delete job;
    }
    jobs_.clear();
}

bool TFleetUpgrade::Done() const {
    return std::all_of(cameras_.begin(), cameras_.end(),
                       [](const TUpgradeCamera& camera) { return camera.Final(); });
}

bool TFleetUpgrade::AllDone() const {
    return std::all_of(cameras_.begin(), cameras_.end(), [](const TUpgradeCamera& camera) {
        return camera.stage == TUpgradeStage::kDone;
    });
}

int TFleetUpgrade::FinishedCount() const {
    return static_cast<int>(std::count_if(cameras_.begin(), cameras_.end(),
                                          [](const TUpgradeCamera& c) { return c.Final(); }));
}

int TFleetUpgrade::Count(TUpgradeStage stage) const {
    return static_cast<int>(
        std::count_if(cameras_.begin(), cameras_.end(),
                      [stage](const TUpgradeCamera& c) { return c.stage == stage; }));
}

void TFleetUpgrade::SetStage(std::size_t index, TUpgradeStage stage, std::string detail) {
    TUpgradeCamera& camera = cameras_[index];
    camera.stage = stage;
    camera.detail = std::move(detail);
    Q_EMIT CameraChanged(static_cast<int>(index));
}

void TFleetUpgrade::Start() {
    if (started_)
        return;
    started_ = true;
    clock_.start();
    std::map<std::int32_t, bool> fileSuits;
    std::set<std::int32_t> refused;
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        TUpgradeCamera& camera = cameras_[i];
        if (camera.stage != TUpgradeStage::kWaiting)
            continue;
        const std::int32_t family = camera.listed.family;
        if (!HasUpgrade(family)) {
            SetStage(i, TUpgradeStage::kFailed,
                     "a camera of family " + std::to_string(family) + " takes no firmware upgrade");
            continue;
        }
        const QString path = setup_.FileFor(family);
        const auto checked = fileSuits.find(family);
        const bool suits = checked != fileSuits.end()
                               ? checked->second
                               : (fileSuits[family] = CheckUpgradeFile(path, family, setup_.kind));
        if (!suits) {
            SetStage(i, TUpgradeStage::kFailed,
                     path.isEmpty() ? std::string("no firmware file was given for its family")
                                    : std::string(UpgradeMessageEnglish(TUpgradeResult::BadFile)) +
                                          " (" + path.toStdString() + ")");
            continue;
        }
        if (refused.count(family) != 0) {
            SetStage(i, TUpgradeStage::kCancelled, "no account was given");
            continue;
        }
        if (accounts_.count(family) == 0) {
            // The single upgrade's presets: the account "admin" and an empty password.
            const std::optional<TCredentials> account =
                credentials_->AskCredentials(family, TCredentials{"admin", ""});
            if (!account) {
                // Not asked again for the family's other cameras.
                refused.insert(family);
                SetStage(i, TUpgradeStage::kCancelled, "no account was given");
                continue;
            }
            TUpgradeTarget target;
            target.user = account->user;
            target.password = account->password;
            accounts_[family] = target;
        }
    }
    // The first uploads start from the event loop too, so whoever follows the upgrade sees them.
    timer_.start();
}

void TFleetUpgrade::Cancel() {
    cancelled_ = true;
}

void TFleetUpgrade::Step() {
    if (finished_ || !started_)
        return;
    const qint64 now = clock_.elapsed();
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        const TUpgradeStage stage = cameras_[i].stage;
        if (stage == TUpgradeStage::kRebooting || stage == TUpgradeStage::kBack)
            Follow(i, now);
    }
    if (cancelled_) {
        for (std::size_t i = 0; i < cameras_.size(); ++i) {
            if (cameras_[i].stage == TUpgradeStage::kWaiting)
                SetStage(i, TUpgradeStage::kCancelled, "cancelled before its upload started");
        }
    } else {
        StartUploads();
    }
    CheckFinished();
}

void TFleetUpgrade::CheckFinished() {
    if (finished_ || !Done())
        return;
    finished_ = true;
    timer_.stop();
    Q_EMIT Finished();
}

void TFleetUpgrade::Follow(std::size_t index, qint64 now) {
    TUpgradeCamera& camera = cameras_[index];
    const TDevInfo* row = session_.List().FindRowByMac(camera.listed.mac);
    // Answered in this cycle or the one before: a reply may still be on its way after a tick.
    const bool answering = row != nullptr && row->age >= TDeviceList::kFreshAge - 1;
    if (camera.stage == TUpgradeStage::kRebooting) {
        if (answering) {
            // A restart shorter than a cycle shows only as another version.
            const bool otherVersion =
                !row->version.empty() && row->version != camera.listed.version;
            camera.heardMs = now;
            if (camera.silent || otherVersion) {
                camera.backMs = now;
                camera.versionAfter = row->version;
                SetStage(index, TUpgradeStage::kBack,
                         "answers again after " + Seconds(now - camera.uploadEndMs) + " s");
                return;
            }
        } else if (!camera.silent && now - camera.heardMs >= setup_.silentMs) {
            camera.silent = true;
            SetStage(index, TUpgradeStage::kRebooting, "silent since its upload");
        }
        if (now - camera.uploadEndMs > setup_.backMs) {
            const std::string limit = Limit(setup_.backMs);
            SetStage(index, TUpgradeStage::kNotBack,
                     camera.silent ? "silent since its upload, not back within " + limit
                                   : "kept answering with version " + Utf8(camera.listed.version) +
                                         "; no restart seen within " + limit);
        }
        return;
    }
    // Back: it must keep answering for a moment (a camera may come up, then restart once more).
    if (answering) {
        camera.heardMs = now;
        camera.versionAfter = row->version;
        if (now - camera.backMs >= setup_.settleMs)
            SetStage(index, TUpgradeStage::kDone,
                     "back after " + Seconds(camera.backMs - camera.uploadEndMs) + " s, version " +
                         Utf8(camera.versionAfter));
    } else if (now - camera.heardMs >= setup_.silentMs) {
        camera.silent = true;
        SetStage(index, TUpgradeStage::kRebooting, "went silent again");
    }
    if (camera.stage == TUpgradeStage::kBack && now - camera.uploadEndMs > setup_.backMs)
        SetStage(index, TUpgradeStage::kNotBack,
                 "answered again but not steadily within " + Limit(setup_.backMs));
}

void TFleetUpgrade::StartUploads() {
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        if (static_cast<int>(jobs_.size()) >= setup_.parallel)
            return;
        if (cameras_[i].stage == TUpgradeStage::kWaiting)
            StartUpload(i);
    }
}

TUploadJob* TFleetUpgrade::MakeJob(const TUpgradeTarget& target, const QString& path) {
    if (setup_.makeJob)
        return setup_.makeJob(target, setup_.kind, path);
    const TFirmwareKind kind = setup_.kind;
    if (IT517Series* client = session_.Family9Client())
        return TUploadJob::ForUpgrade(*client, target, kind, path);
    if (PostsItsOwnForm(target.family))
        return new TUploadJob([target, kind, path](const TUploadProgress& progress) {
            return UploadQueryAuth(target, kind, path, progress);
        });
    return nullptr;
}

void TFleetUpgrade::StartUpload(std::size_t index) {
    TUpgradeCamera& camera = cameras_[index];
    TUpgradeTarget target = accounts_[camera.listed.family];
    target.family = camera.listed.family;
    target.host = camera.listed.ip;
    target.port = camera.listed.httpPort;
    TUploadJob* job = MakeJob(target, setup_.FileFor(target.family));
    if (job == nullptr) {
        SetStage(index, TUpgradeStage::kFailed, "no client for the family's upload");
        return;
    }
    job->setParent(this);
    connect(job, &TUploadJob::Progress, this,
            [this, index](qint64 sent, qint64 total) { UploadProgress(index, sent, total); });
    connect(job, &TUploadJob::Finished, this,
            [this, index](int result) { UploadFinished(index, result); });
    jobs_[index] = job;
    mostUploading_ = std::max(mostUploading_, static_cast<int>(jobs_.size()));
    camera.uploadStartMs = clock_.elapsed();
    camera.percent = 0;
    SetStage(index, TUpgradeStage::kUploading);
    job->Start();
}

void TFleetUpgrade::UploadProgress(std::size_t index, qint64 sent, qint64 total) {
    TUpgradeCamera& camera = cameras_[index];
    if (camera.stage != TUpgradeStage::kUploading || total <= 0)
        return;
    const int percent = static_cast<int>(std::clamp<qint64>(sent * 100 / total, 0, 100));
    if (percent == camera.percent)
        return;
    camera.percent = percent;
    Q_EMIT CameraChanged(static_cast<int>(index));
}

void TFleetUpgrade::UploadFinished(std::size_t index, int result) {
    const auto found = jobs_.find(index);
    if (found != jobs_.end()) {
        found->second->deleteLater();
        jobs_.erase(found);
    }
    TUpgradeCamera& camera = cameras_[index];
    const qint64 now = clock_.elapsed();
    camera.uploadEndMs = now;
    switch (static_cast<TUpgradeResult>(result)) {
    case TUpgradeResult::Success:
        camera.percent = 100;
        camera.heardMs = now;
        SetStage(index, TUpgradeStage::kRebooting,
                 "uploaded in " + Seconds(now - camera.uploadStartMs) + " s");
        break;
    case TUpgradeResult::BadFile:
        SetStage(index, TUpgradeStage::kFailed, UpgradeMessageEnglish(TUpgradeResult::BadFile));
        break;
    case TUpgradeResult::Failed:
        SetStage(index, TUpgradeStage::kFailed,
                 camera.percent >= 100
                     ? std::string("the camera did not accept the upload")
                     : "the upload broke off at " + std::to_string(camera.percent) + " %");
        break;
    }
    if (!cancelled_)
        StartUploads();
    CheckFinished();
}

std::string TFleetUpgrade::ReportJson() const {
    std::string json = "[";
    for (std::size_t i = 0; i < cameras_.size(); ++i) {
        const TUpgradeCamera& camera = cameras_[i];
        const bool uploaded = camera.uploadStartMs >= 0 && camera.uploadEndMs >= 0;
        json += i == 0 ? "\n" : ",\n";
        const bool listed = camera.stage != TUpgradeStage::kNotFound;
        json += "  {\"mac\": " + JsonQuote(ColonMac(camera.mac)) +
                ", \"ip\": " + JsonQuote(Utf8(camera.listed.ip)) + ", \"family\": " +
                (listed ? std::to_string(camera.listed.family) : std::string("null")) +
                ", \"status\": " + JsonQuote(UpgradeStageWord(camera.stage)) +
                ", \"versionBefore\": " + JsonQuote(Utf8(camera.listed.version)) +
                ", \"versionAfter\": " + JsonQuote(Utf8(camera.versionAfter)) +
                ", \"uploadSeconds\": " +
                (uploaded ? Seconds(camera.uploadEndMs - camera.uploadStartMs, 3) : "null") +
                ", \"detail\": " + JsonQuote(camera.detail) + "}";
    }
    json += cameras_.empty() ? "]\n" : "\n]\n";
    return json;
}

std::string TFleetUpgrade::ReportCsv() const {
    std::string csv = "mac,ip,family,status,versionBefore,versionAfter,uploadSeconds,detail\n";
    for (const TUpgradeCamera& camera : cameras_) {
        const bool uploaded = camera.uploadStartMs >= 0 && camera.uploadEndMs >= 0;
        const bool listed = camera.stage != TUpgradeStage::kNotFound;
        csv += ColonMac(camera.mac) + "," + CsvField(Utf8(camera.listed.ip)) + "," +
               (listed ? std::to_string(camera.listed.family) : std::string()) + "," +
               UpgradeStageWord(camera.stage) + "," + CsvField(Utf8(camera.listed.version)) + "," +
               CsvField(Utf8(camera.versionAfter)) + "," +
               (uploaded ? Seconds(camera.uploadEndMs - camera.uploadStartMs, 3) : std::string()) +
               "," + CsvField(camera.detail) + "\n";
    }
    return csv;
}

} // namespace zadari
