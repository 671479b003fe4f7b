#include "upgrade/UploadJob.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace zadari {
namespace {

void RunEventsUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

TEST(UploadJob, WorkRunsOffTheMainThreadAndReportsOnIt) {
    std::atomic<bool> workOnMain{true};
    TUploadJob job([&](const TUploadProgress& progress) {
        workOnMain = QThread::currentThread() == qApp->thread();
        for (int i = 1; i <= 100; ++i) {
            progress(i * 10, 1000);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return TUpgradeResult::Success;
    });
    std::vector<std::pair<qint64, qint64>> seen;
    bool reportsOnMain = true;
    int result = -1;
    QObject::connect(&job, &TUploadJob::Progress, &job, [&](qint64 sent, qint64 total) {
        reportsOnMain = reportsOnMain && QThread::currentThread() == qApp->thread();
        seen.emplace_back(sent, total);
    });
    QObject::connect(&job, &TUploadJob::Finished, &job, [&](int r) {
        reportsOnMain = reportsOnMain && QThread::currentThread() == qApp->thread();
        result = r;
    });
    job.Start();
    EXPECT_TRUE(job.Running());
    RunEventsUntil([&] { return result >= 0; });
    EXPECT_EQ(result, static_cast<int>(TUpgradeResult::Success));
    EXPECT_FALSE(job.Running());
    EXPECT_FALSE(workOnMain);
    EXPECT_TRUE(reportsOnMain);
    ASSERT_FALSE(seen.empty());
    EXPECT_LE(seen.size(), 100u);
    EXPECT_EQ(seen.back(), (std::pair<qint64, qint64>{1000, 1000}));
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_GE(seen[i].first, seen[i - 1].first);
}

TEST(UploadJob, CancelTellsTheWorkThroughItsProgress) {
    std::atomic<bool> toldToStop{false};
    std::atomic<bool> started{false};
    int result = -1;
    TUploadJob job([&](const TUploadProgress& progress) {
        started = true;
        for (int i = 0; i < 5000; ++i) {
            if (!progress(i, 5000)) {
                toldToStop = true;
                return TUpgradeResult::Failed;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return TUpgradeResult::Success;
    });
    QObject::connect(&job, &TUploadJob::Finished, &job, [&](int r) { result = r; });
    job.Start();
    while (!started)
        std::this_thread::yield();
    job.Cancel();
    RunEventsUntil([&] { return result >= 0; });
    EXPECT_TRUE(toldToStop);
    EXPECT_EQ(result, static_cast<int>(TUpgradeResult::Failed));
}

TEST(UploadJob, CancelledBeforeItsWorkBeganItFailsWithoutRunningIt) {
    bool ran = false;
    int result = -1;
    TUploadJob job([&](const TUploadProgress&) {
        ran = true;
        return TUpgradeResult::Success;
    });
    QObject::connect(&job, &TUploadJob::Finished, &job, [&](int r) { result = r; });
    job.Cancel();
    job.Start();
    RunEventsUntil([&] { return result >= 0; });
    EXPECT_FALSE(ran);
    EXPECT_EQ(result, static_cast<int>(TUpgradeResult::Failed));
}

TEST(UploadJob, DestroyingARunningJobWaitsForItsWorker) {
    std::atomic<bool> done{false};
    std::atomic<bool> started{false};
    {
        TUploadJob job([&](const TUploadProgress& progress) {
            started = true;
            while (progress(0, 1))
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            done = true;
            return TUpgradeResult::Failed;
        });
        job.Start();
        while (!started)
            std::this_thread::yield();
    }
    EXPECT_TRUE(done);
    // The result the worker posted is dropped with the job: nothing runs on a freed object.
    QCoreApplication::processEvents();
}

} // namespace
} // namespace zadari
