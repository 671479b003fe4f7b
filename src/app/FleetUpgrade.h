#pragma once
// A fleet upgrade: firmware uploaded to many cameras of the families that take it, each in its
// family's own exchange (the same upload the single upgrade sends), at most N at a time, and
// each camera then followed through its restart until the search hears it again. The object
// lives on the main thread's event loop beside the search, which keeps running; the uploads run
// on worker threads (TUploadJob) and report back through queued signals, so the cameras' states
// and the device list are only ever touched on the main thread. It holds no widget: the window
// shows its table, zadari-cli prints its lines and report.
#include "app/Credentials.h"
#include "protocols/DevInfo.h"
#include "upgrade/UpgradeUpload.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zadari {

class TFleetCredentials;
class TSession;
class TUploadJob;

enum class TUpgradeStage {
    kWaiting,   ///< its upload has not started
    kUploading, ///< the file is on its way (percent)
    kRebooting, ///< the upload was taken; waiting for the camera to restart and answer again
    kBack,      ///< it answers again; it must keep answering for a moment
    kDone,      ///< back and answering, with the version it reports
    kFailed,    ///< not uploaded (the reason says why)
    kNotBack,   ///< uploaded, but not back within the limit
    kNotFound,  ///< no listed camera has the MAC
    kCancelled, ///< the upgrade was cancelled before its upload started
};

/// The report's word for a stage ("done", "not-back", ...).
const char* UpgradeStageWord(TUpgradeStage stage);
/// The message key the window shows for a stage.
const char* UpgradeStageKey(TUpgradeStage stage);

struct TUpgradeCamera {
    std::string mac; ///< as the list has it, or as asked for when not found
    TDevInfo listed; ///< the camera's record when the upgrade started; empty when not found
    TUpgradeStage stage = TUpgradeStage::kWaiting;
    int percent = 0;     ///< of its upload
    bool silent = false; ///< it stopped answering after its upload
    std::string versionAfter;
    std::string detail; ///< English, for the report
    qint64 uploadStartMs = -1;
    qint64 uploadEndMs = -1;
    qint64 heardMs = -1; ///< when it was last heard after its upload
    qint64 backMs = -1;  ///< when it answered again after its restart

    bool Final() const {
        return stage == TUpgradeStage::kDone || stage == TUpgradeStage::kFailed ||
               stage == TUpgradeStage::kNotBack || stage == TUpgradeStage::kNotFound ||
               stage == TUpgradeStage::kCancelled;
    }
};

struct TFleetUpgradeSetup {
    /// The file for every family that has none of its own in `familyFiles`.
    QString file;
    std::map<std::int32_t, QString> familyFiles;
    TFirmwareKind kind = TFirmwareKind::SystemFirmware;
    /// Uploads at once, at least 1.
    int parallel = 4;
    /// How long after its upload a camera has to answer again for good.
    int backMs = 300000;
    /// A camera that has not answered for this long after its upload is restarting.
    int silentMs = 3000;
    /// A camera that answers again counts as back for good once it kept answering this long.
    int settleMs = 3000;
    /// Makes the upload of one camera; empty for the family's own upload (TUploadJob::ForUpgrade
    /// with the session's family-9 client). The job is started by the upgrade.
    std::function<TUploadJob*(const TUpgradeTarget& target, TFirmwareKind kind,
                              const QString& path)>
        makeJob;

    QString FileFor(std::int32_t family) const;
};

class TFleetUpgrade : public QObject {
    Q_OBJECT
public:
    /// `session` must outlive the upgrade; `asker` is asked for the account once per family.
    /// `cameras` are the listed records to upgrade, `notFound` the MACs nobody answered for.
    TFleetUpgrade(TSession& session, ICredentialsProvider& asker, std::vector<TDevInfo> cameras,
                  std::vector<std::string> notFound, TFleetUpgradeSetup setup,
                  QObject* parent = nullptr);
    /// Cancels running uploads and waits for their threads.
    ~TFleetUpgrade() override;

    /// Asks for the accounts (once per family, in the cameras' order), checks the files, then
    /// starts the uploads from the event loop.
    void Start();
    /// Starts no further upload; running uploads finish and their cameras are still followed.
    void Cancel();
    bool Cancelled() const { return cancelled_; }
    bool Started() const { return started_; }
    bool Done() const;

    const std::vector<TUpgradeCamera>& Cameras() const { return cameras_; }
    const TFleetUpgradeSetup& Setup() const { return setup_; }
    int FinishedCount() const;
    /// Uploads running now, and the most that ever ran at once.
    int Uploading() const { return static_cast<int>(jobs_.size()); }
    int MostUploading() const { return mostUploading_; }
    /// Whether every camera is done.
    bool AllDone() const;
    /// How many cameras are in `stage`.
    int Count(TUpgradeStage stage) const;

    /// The report as a JSON array: mac, ip, family, status, versionBefore, versionAfter,
    /// uploadSeconds, detail.
    std::string ReportJson() const;
    /// The same as CSV with a header line.
    std::string ReportCsv() const;

    /// One step (what the timer calls): follows the uploaded cameras, starts uploads.
    void Step();

Q_SIGNALS:
    /// A camera's stage or upload percent changed.
    void CameraChanged(int index);
    /// Every camera has its final stage.
    void Finished();

private:
    void SetStage(std::size_t index, TUpgradeStage stage, std::string detail = {});
    void Follow(std::size_t index, qint64 now);
    void StartUploads();
    void StartUpload(std::size_t index);
    void UploadProgress(std::size_t index, qint64 sent, qint64 total);
    void UploadFinished(std::size_t index, int result);
    TUploadJob* MakeJob(const TUpgradeTarget& target, const QString& path);
    void CheckFinished();

    TSession& session_;
    std::unique_ptr<TFleetCredentials> credentials_;
    std::vector<TUpgradeCamera> cameras_;
    TFleetUpgradeSetup setup_;
    std::map<std::size_t, TUploadJob*> jobs_;
    std::map<std::int32_t, TUpgradeTarget> accounts_; ///< user and password per family
    int mostUploading_ = 0;
    bool started_ = false;
    bool cancelled_ = false;
    bool finished_ = false;
    QTimer timer_;
    QElapsedTimer clock_;
};

} // namespace zadari
