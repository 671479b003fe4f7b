#pragma once
// Runs one blocking upload on a worker thread and reports back on the thread that made the job
// (the main thread): progress while it runs, the result at the end. The window keeps painting
// its modal progress dialog meanwhile and the CLI its progress bar; no nested event loop is
// needed. Nothing of the device list is touched by the worker.
#include "upgrade/UpgradeUpload.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace zadari {

class TUploadJob : public QObject {
    Q_OBJECT
public:
    /// The work gets a progress function to call; that function returns false once the job was
    /// cancelled, and the work should then give up.
    using TWork = std::function<TUpgradeResult(const TUploadProgress& progress)>;

    explicit TUploadJob(TWork work, QObject* parent = nullptr);
    /// Cancels a running upload and waits for its thread.
    ~TUploadJob() override;

    /// The upgrade of `target` with the family's upload. `client` must outlive the job.
    static TUploadJob* ForUpgrade(IT517Series& client, const TUpgradeTarget& target,
                                  TFirmwareKind kind, const QString& path,
                                  QObject* parent = nullptr);

    /// Starts the worker; a job runs once.
    void Start();
    /// Asks the upload to stop; Finished still follows (with Failed, as nothing was upgraded).
    void Cancel();
    bool Running() const { return running_; }

Q_SIGNALS:
    /// Body bytes sent of the total. Updates are coalesced: at most one is queued at a time.
    void Progress(qint64 sent, qint64 total);
    /// The upload ended; `result` is a TUpgradeResult.
    void Finished(int result);

private:
    void DeliverProgress();
    void DeliverResult(TUpgradeResult result);

    TWork work_;
    std::thread worker_;
    bool started_ = false;
    bool running_ = false;
    std::atomic<bool> cancelled_{false};
    std::atomic<qint64> sent_{0};
    std::atomic<qint64> total_{0};
    std::atomic<bool> progressQueued_{false};
};

} // namespace zadari
