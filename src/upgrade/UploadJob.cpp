#include "upgrade/UploadJob.h"

#include <QMetaObject>

namespace zadari {

TUploadJob::TUploadJob(TWork work, QObject* parent) : QObject(parent), work_(std::move(work)) {}

TUploadJob::~TUploadJob() {
    cancelled_ = true;
    if (worker_.joinable())
        worker_.join();
}

TUploadJob* TUploadJob::ForUpgrade(IT517Series& client, const TUpgradeTarget& target,
                                   TFirmwareKind kind, const QString& path, QObject* parent) {
    IT517Series* c = &client;
    return new TUploadJob(
        [c, target, kind, path](const TUploadProgress& progress) {
            return RunUpgradeUpload(*c, target, kind, path, progress);
        },
        parent);
}

void TUploadJob::Start() {
    if (started_)
        return;
    started_ = true;
    running_ = true;
    worker_ = std::thread([this] {
        const TUploadProgress progress = [this](std::int64_t sent, std::int64_t total) {
            sent_ = sent;
            total_ = total;
            if (!progressQueued_.exchange(true))
                QMetaObject::invokeMethod(this, &TUploadJob::DeliverProgress, Qt::QueuedConnection);
            return !cancelled_.load();
        };
        TUpgradeResult result = TUpgradeResult::Failed;
        if (!cancelled_ && work_)
            result = work_(progress);
        // The queued call is dropped if the job is deleted first; the destructor joins us.
        QMetaObject::invokeMethod(
            this, [this, result] { DeliverResult(result); }, Qt::QueuedConnection);
    });
}

void TUploadJob::Cancel() {
    cancelled_ = true;
}

void TUploadJob::DeliverProgress() {
    progressQueued_ = false;
    Q_EMIT Progress(sent_.load(), total_.load());
}

void TUploadJob::DeliverResult(TUpgradeResult result) {
    if (worker_.joinable())
        worker_.join();
    running_ = false;
    Q_EMIT Finished(static_cast<int>(result));
}

} // namespace zadari
