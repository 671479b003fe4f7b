// The fleet upgrade against a session whose list the test plays: uploads are fakes on worker
// threads, cameras answer (a merge per tick), fall silent while they restart and come back. It
// checks the limit of uploads at once, that one camera's failure stops no other, the stages, the
// account asked once per family, Cancel, and the report.
#include "app/FleetUpgrade.h"
#include "app/FleetUpgradeModel.h"
#include "app/Session.h"
#include "net/SearchEndpoints.h"
#include "upgrade/UploadJob.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "common/QuietEndpoints.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <set>

namespace zadari {
namespace {

class TCountingAsker : public ICredentialsProvider {
public:
    std::optional<TCredentials> AskCredentials(std::int32_t family,
                                               const TCredentials& presets) override {
        askedFamilies.push_back(family);
        EXPECT_EQ(presets, (TCredentials{"admin", ""}));
        if (refuse.count(family) != 0)
            return std::nullopt;
        return TCredentials{"user" + std::to_string(family), "pw" + std::to_string(family)};
    }
    std::vector<std::int32_t> askedFamilies;
    std::set<std::int32_t> refuse;
};

TDevInfo Camera(std::int32_t family, int n) {
    TDevInfo record;
    record.family = family;
    record.mac = "02:5A:00:00:00:" + std::string(n < 10 ? "0" : "") + std::to_string(n);
    record.macKey = "025A000000" + std::string(n < 10 ? "0" : "") + std::to_string(n);
    record.ip = "192.168.1." + std::to_string(10 + n);
    record.httpPort = 80 + n;
    record.name = "cam" + std::to_string(n);
    record.version = "1.0";
    record.mask = "255.255.255.0";
    return record;
}

/// What the fake upload of one camera (by its address) does.
struct TBehaviour {
    TUpgradeResult result = TUpgradeResult::Success;
    int restartTicks = 15;  ///< silent for so many ticks after the upload; -1: never back
    bool newVersion = true; ///< back with version "2.0"
};

struct FleetUpgradeTest : ::testing::Test {
    TCountingAsker asker;
    std::unique_ptr<TSession> session;
    std::vector<TDevInfo> cameras;
    std::map<std::string, TBehaviour> behaviour; ///< by IP
    std::mutex mutex;
    std::vector<TUpgradeTarget> targets; ///< the uploads started, in order
    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
    /// Ticks each camera still stays silent (absent: answering).
    std::map<std::string, int> silentFor;
    std::set<std::string> upgraded;
    QTemporaryDir dir;
    QString file;

    void SetUp() override {
        TSessionSetup setup;
        setup.makeEndpoints = [] { return std::make_unique<TQuietEndpoints>(); };
        session = std::make_unique<TSession>(setup, asker);
        ASSERT_TRUE(dir.isValid());
        file = dir.filePath(QStringLiteral("fw.bin"));
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BNEG0123456789");
    }

    TFleetUpgradeSetup Setup(int parallel = 3) {
        TFleetUpgradeSetup setup;
        setup.file = file;
        setup.parallel = parallel;
        setup.silentMs = 30;
        setup.settleMs = 60;
        setup.backMs = 3000;
        setup.makeJob = [this](const TUpgradeTarget& target, TFirmwareKind, const QString& path) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                targets.push_back(target);
            }
            const TBehaviour b = behaviour[target.host];
            EXPECT_EQ(path, file);
            return new TUploadJob([this, b](const TUploadProgress& progress) {
                const int now = ++running;
                int most = mostRunning.load();
                while (now > most && !mostRunning.compare_exchange_weak(most, now)) {
                }
                for (int sent = 0; sent <= 100; sent += 25) {
                    progress(sent, 100);
                    QThread::msleep(8);
                }
                --running;
                return b.result;
            });
        };
        return setup;
    }

    void List(std::vector<TDevInfo> records) {
        cameras = std::move(records);
        for (const TDevInfo& camera : cameras)
            session->Engine().MergeFound(camera);
    }

    /// A search tick: the list ages, every answering camera answers.
    void Tick() {
        session->List().AgePass();
        for (const TDevInfo& camera : cameras) {
            const auto silent = silentFor.find(camera.ip);
            if (silent != silentFor.end()) {
                if (silent->second < 0 || silent->second-- > 0)
                    continue;
                silentFor.erase(silent);
            }
            TDevInfo answer = camera;
            if (upgraded.count(camera.ip) != 0 && behaviour[camera.ip].newVersion)
                answer.version = "2.0";
            session->Engine().MergeFound(answer);
        }
    }

    /// Runs the upgrade to its end (or 20 s), ticking every 20 ms; an uploaded camera restarts
    /// as its behaviour says.
    void Run(TFleetUpgrade& upgrade, const std::function<void(int)>& changed = {}) {
        QObject::connect(&upgrade, &TFleetUpgrade::CameraChanged, &upgrade, [&](int index) {
            const TUpgradeCamera& camera = upgrade.Cameras()[static_cast<std::size_t>(index)];
            if (camera.stage == TUpgradeStage::kRebooting &&
                upgraded.insert(camera.listed.ip).second)
                silentFor[camera.listed.ip] = behaviour[camera.listed.ip].restartTicks;
            if (changed)
                changed(index);
        });
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [this] { Tick(); });
        ticker.start(20);
        upgrade.Start();
        QElapsedTimer waited;
        waited.start();
        while (!upgrade.Done() && waited.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_TRUE(upgrade.Done());
    }
};

TEST_F(FleetUpgradeTest, EveryCameraIsUploadedAtMostNAtOnceAndFollowedUntilItIsBack) {
    std::vector<TDevInfo> records;
    for (int i = 0; i < 8; ++i)
        records.push_back(Camera(std::vector<std::int32_t>{2, 3, 9}[i % 3], i));
    List(records);
    TFleetUpgrade upgrade(*session, asker, records, {}, Setup(3));
    std::map<int, std::vector<TUpgradeStage>> seen;
    std::vector<int> percents;
    Run(upgrade, [&](int index) {
        const TUpgradeCamera& camera = upgrade.Cameras()[static_cast<std::size_t>(index)];
        auto& stages = seen[index];
        if (stages.empty() || stages.back() != camera.stage)
            stages.push_back(camera.stage);
        if (camera.stage == TUpgradeStage::kUploading)
            percents.push_back(camera.percent);
    });
    EXPECT_TRUE(upgrade.AllDone());
    EXPECT_EQ(targets.size(), 8u);
    EXPECT_EQ(upgrade.MostUploading(), 3);
    EXPECT_LE(mostRunning.load(), 3);
    EXPECT_GE(mostRunning.load(), 2);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const TUpgradeCamera& camera = upgrade.Cameras()[i];
        EXPECT_EQ(camera.versionAfter, "2.0") << i;
        EXPECT_TRUE(camera.silent) << i;
        EXPECT_EQ(seen[static_cast<int>(i)],
                  (std::vector<TUpgradeStage>{TUpgradeStage::kUploading, TUpgradeStage::kRebooting,
                                              TUpgradeStage::kBack, TUpgradeStage::kDone}))
            << i;
    }
    // Progress came through while the files travelled.
    EXPECT_NE(std::find(percents.begin(), percents.end(), 50), percents.end());
    // Each upload went to the camera's address and port with its family's account.
    for (const TUpgradeTarget& target : targets) {
        const auto record = std::find_if(records.begin(), records.end(),
                                         [&](const TDevInfo& r) { return r.ip == target.host; });
        ASSERT_NE(record, records.end());
        EXPECT_EQ(target.port, record->httpPort);
        EXPECT_EQ(target.family, record->family);
        EXPECT_EQ(target.user, "user" + std::to_string(record->family));
        EXPECT_EQ(target.password, "pw" + std::to_string(record->family));
    }
    // The account was asked once per family, in the cameras' order.
    EXPECT_EQ(asker.askedFamilies, (std::vector<std::int32_t>{2, 3, 9}));
    // The uploads started in the cameras' order.
    EXPECT_EQ(targets.front().host, records.front().ip);
    EXPECT_EQ(targets.back().host, records.back().ip);
}

TEST_F(FleetUpgradeTest, OneFailureStopsNoOtherAndEachOutcomeHasItsReason) {
    std::vector<TDevInfo> records;
    for (int i = 0; i < 6; ++i)
        records.push_back(Camera(9, i));
    records.push_back(Camera(1, 6)); // a family without firmware upgrades
    List(records);
    behaviour[records[1].ip].result = TUpgradeResult::Failed;
    behaviour[records[2].ip].restartTicks = -1;  // never back
    behaviour[records[3].ip].restartTicks = 0;   // restarts between two ticks...
    behaviour[records[4].ip].restartTicks = 0;   // ...and so does this one,
    behaviour[records[4].ip].newVersion = false; // but it shows no sign of it
    TFleetUpgradeSetup setup = Setup(2);
    setup.backMs = 600;
    TFleetUpgrade upgrade(*session, asker, records, {"02:5A:00:00:00:99"}, setup);
    Run(upgrade);
    const auto& c = upgrade.Cameras();
    ASSERT_EQ(c.size(), 8u);
    EXPECT_EQ(c[0].stage, TUpgradeStage::kDone);
    EXPECT_EQ(c[1].stage, TUpgradeStage::kFailed);
    EXPECT_EQ(c[1].detail, "the camera did not accept the upload");
    EXPECT_EQ(c[2].stage, TUpgradeStage::kNotBack);
    EXPECT_EQ(c[2].detail, "silent since its upload, not back within 0.6 s");
    EXPECT_EQ(c[3].stage, TUpgradeStage::kDone) << "a new version shows a restart";
    EXPECT_FALSE(c[3].silent);
    EXPECT_EQ(c[4].stage, TUpgradeStage::kNotBack);
    EXPECT_EQ(c[4].detail, "kept answering with version 1.0; no restart seen within 0.6 s");
    EXPECT_EQ(c[5].stage, TUpgradeStage::kDone);
    EXPECT_EQ(c[6].stage, TUpgradeStage::kFailed);
    EXPECT_EQ(c[6].detail, "a camera of family 1 takes no firmware upgrade");
    EXPECT_EQ(c[7].stage, TUpgradeStage::kNotFound);
    EXPECT_EQ(c[7].mac, "025A00000099");
    EXPECT_EQ(targets.size(), 6u) << "no upload for family 1";
    EXPECT_FALSE(upgrade.AllDone());
    EXPECT_EQ(upgrade.Count(TUpgradeStage::kDone), 3);
    EXPECT_EQ(upgrade.FinishedCount(), 8);
}

TEST_F(FleetUpgradeTest, AFileThatDoesNotSuitAFamilyFailsItsCamerasOnlyAndWithoutAnAccount) {
    // "ABCD..." suits families 3 and 9 but not family 2, whose firmware begins "BNEG".
    const QString other = dir.filePath(QStringLiteral("other.bin"));
    {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("ABCD0123");
    }
    std::vector<TDevInfo> records = {Camera(2, 1), Camera(9, 2), Camera(2, 3)};
    List(records);
    TFleetUpgradeSetup setup = Setup();
    setup.file = other;
    setup.makeJob = [this, inner = setup.makeJob](const TUpgradeTarget& target, TFirmwareKind kind,
                                                  const QString&) {
        return inner(target, kind, file); // the fake checks the path against `file`
    };
    TFleetUpgrade upgrade(*session, asker, records, {}, setup);
    Run(upgrade);
    EXPECT_EQ(upgrade.Cameras()[0].stage, TUpgradeStage::kFailed);
    EXPECT_EQ(upgrade.Cameras()[0].detail.rfind("The selected file is incorrect.", 0), 0u);
    EXPECT_EQ(upgrade.Cameras()[1].stage, TUpgradeStage::kDone);
    EXPECT_EQ(upgrade.Cameras()[2].stage, TUpgradeStage::kFailed);
    EXPECT_EQ(asker.askedFamilies, (std::vector<std::int32_t>{9}));
    EXPECT_EQ(targets.size(), 1u);
}

TEST_F(FleetUpgradeTest, AFamilyFileGoesToItsFamilyAndAMissingFileFailsItsCameras) {
    const QString nine = dir.filePath(QStringLiteral("nine.bin"));
    {
        QFile f(nine);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("NINE");
    }
    std::vector<TDevInfo> records = {Camera(9, 1), Camera(3, 2)};
    List(records);
    TFleetUpgradeSetup setup = Setup();
    setup.file.clear();
    setup.familyFiles[9] = nine;
    std::vector<QString> paths;
    setup.makeJob = [&](const TUpgradeTarget&, TFirmwareKind, const QString& path) {
        paths.push_back(path);
        return new TUploadJob([](const TUploadProgress&) { return TUpgradeResult::Success; });
    };
    EXPECT_EQ(setup.FileFor(9), nine);
    EXPECT_EQ(setup.FileFor(3), QString());
    TFleetUpgrade upgrade(*session, asker, records, {}, setup);
    Run(upgrade);
    EXPECT_EQ(paths, std::vector<QString>{nine});
    EXPECT_EQ(upgrade.Cameras()[0].stage, TUpgradeStage::kDone);
    EXPECT_EQ(upgrade.Cameras()[1].stage, TUpgradeStage::kFailed);
    EXPECT_EQ(upgrade.Cameras()[1].detail, "no firmware file was given for its family");
}

TEST_F(FleetUpgradeTest, CancelStartsNoFurtherUploadAndLetsTheRunningOneFinish) {
    std::vector<TDevInfo> records = {Camera(9, 1), Camera(9, 2), Camera(9, 3)};
    List(records);
    TFleetUpgrade upgrade(*session, asker, records, {}, Setup(1));
    bool cancelled = false;
    Run(upgrade, [&](int index) {
        if (!cancelled &&
            upgrade.Cameras()[static_cast<std::size_t>(index)].stage == TUpgradeStage::kUploading) {
            cancelled = true;
            upgrade.Cancel();
        }
    });
    EXPECT_EQ(targets.size(), 1u);
    EXPECT_EQ(upgrade.Cameras()[0].stage, TUpgradeStage::kDone);
    EXPECT_EQ(upgrade.Cameras()[1].stage, TUpgradeStage::kCancelled);
    EXPECT_EQ(upgrade.Cameras()[2].stage, TUpgradeStage::kCancelled);
}

TEST_F(FleetUpgradeTest, AFamilyWithoutAnAccountIsLeftOutAndTheOthersGoOn) {
    std::vector<TDevInfo> records = {Camera(2, 1), Camera(9, 2), Camera(2, 3)};
    List(records);
    asker.refuse.insert(2);
    TFleetUpgrade upgrade(*session, asker, records, {}, Setup());
    Run(upgrade);
    EXPECT_EQ(asker.askedFamilies, (std::vector<std::int32_t>{2, 9}))
        << "a family whose account was not given is not asked again";
    EXPECT_EQ(upgrade.Cameras()[0].stage, TUpgradeStage::kCancelled);
    EXPECT_EQ(upgrade.Cameras()[0].detail, "no account was given");
    EXPECT_EQ(upgrade.Cameras()[1].stage, TUpgradeStage::kDone);
    EXPECT_EQ(upgrade.Cameras()[2].stage, TUpgradeStage::kCancelled);
}

TEST_F(FleetUpgradeTest, ACameraThatFallsSilentAgainAfterComingBackIsFollowedOn) {
    std::vector<TDevInfo> records = {Camera(9, 1)};
    List(records);
    TFleetUpgradeSetup setup = Setup();
    setup.settleMs = 600;
    TFleetUpgrade upgrade(*session, asker, records, {}, setup);
    std::vector<TUpgradeStage> stages;
    bool second = false;
    Run(upgrade, [&](int) {
        const TUpgradeCamera& camera = upgrade.Cameras()[0];
        if (stages.empty() || stages.back() != camera.stage)
            stages.push_back(camera.stage);
        if (camera.stage == TUpgradeStage::kBack && !second) {
            // Up for a moment, then a second restart.
            second = true;
            silentFor[camera.listed.ip] = 15;
        }
    });
    EXPECT_EQ(stages,
              (std::vector<TUpgradeStage>{TUpgradeStage::kUploading, TUpgradeStage::kRebooting,
                                          TUpgradeStage::kBack, TUpgradeStage::kRebooting,
                                          TUpgradeStage::kBack, TUpgradeStage::kDone}));
}

TEST_F(FleetUpgradeTest, TheReportHasEveryCameraWithItsStatusAndVersions) {
    std::vector<TDevInfo> records = {Camera(9, 1), Camera(2, 2)};
    records[1].version = "1,0 \"b\""; // a version that needs quoting in CSV
    List(records);
    behaviour[records[1].ip].result = TUpgradeResult::Failed;
    TFleetUpgrade upgrade(*session, asker, records, {"02-5a-00-00-00-77"}, Setup());
    Run(upgrade);
    const QJsonArray rows =
        QJsonDocument::fromJson(QByteArray::fromStdString(upgrade.ReportJson())).array();
    ASSERT_EQ(rows.size(), 3);
    const QJsonObject first = rows[0].toObject();
    EXPECT_EQ(first[QStringLiteral("mac")].toString(), QStringLiteral("02:5A:00:00:00:01"));
    EXPECT_EQ(first[QStringLiteral("ip")].toString(), QStringLiteral("192.168.1.11"));
    EXPECT_EQ(first[QStringLiteral("family")].toInt(), 9);
    EXPECT_EQ(first[QStringLiteral("status")].toString(), QStringLiteral("done"));
    EXPECT_EQ(first[QStringLiteral("versionBefore")].toString(), QStringLiteral("1.0"));
    EXPECT_EQ(first[QStringLiteral("versionAfter")].toString(), QStringLiteral("2.0"));
    EXPECT_GT(first[QStringLiteral("uploadSeconds")].toDouble(), 0.0);
    EXPECT_EQ(rows[1].toObject()[QStringLiteral("status")].toString(), QStringLiteral("failed"));
    const QJsonObject missing = rows[2].toObject();
    EXPECT_EQ(missing[QStringLiteral("mac")].toString(), QStringLiteral("02:5A:00:00:00:77"));
    EXPECT_EQ(missing[QStringLiteral("status")].toString(), QStringLiteral("not-found"));
    EXPECT_TRUE(missing[QStringLiteral("uploadSeconds")].isNull());

    const std::string csv = upgrade.ReportCsv();
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "mac,ip,family,status,versionBefore,versionAfter,uploadSeconds,detail");
    EXPECT_NE(csv.find("\n02:5A:00:00:00:02,192.168.1.12,2,failed,\"1,0 \"\"b\"\"\",,"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\n02:5A:00:00:00:77,,,not-found,,,,no listed camera has this MAC\n"),
              std::string::npos)
        << csv;
}

TEST_F(FleetUpgradeTest, TheModelShowsEachCameraWithItsUploadAndStage) {
    std::vector<TDevInfo> records = {Camera(9, 1), Camera(9, 2)};
    List(records);
    behaviour[records[1].ip].result = TUpgradeResult::Failed;
    TFleetUpgradeModel model;
    model.ShowCameras(records);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(0, TFleetUpgradeModel::kMac)).toString(),
              QStringLiteral("02:5A:00:00:00:01"));
    EXPECT_EQ(model.data(model.index(0, TFleetUpgradeModel::kStage), TFleetUpgradeModel::kStageRole)
                  .toInt(),
              static_cast<int>(TUpgradeStage::kWaiting));
    TFleetUpgrade upgrade(*session, asker, records, {}, Setup());
    model.FollowUpgrade(&upgrade);
    std::set<int> percentsSeen;
    QObject::connect(
        &model, &QAbstractItemModel::dataChanged, &model, [&](const QModelIndex& from) {
            percentsSeen.insert(model.data(from, TFleetUpgradeModel::kPercentRole).toInt());
        });
    Run(upgrade);
    EXPECT_TRUE(percentsSeen.count(50) == 1 || percentsSeen.count(75) == 1);
    EXPECT_EQ(model.data(model.index(0, TFleetUpgradeModel::kVersion)).toString(),
              QStringLiteral("1.0 -> 2.0"));
    EXPECT_EQ(
        model.data(model.index(0, TFleetUpgradeModel::kUpload), TFleetUpgradeModel::kPercentRole)
            .toInt(),
        100);
    EXPECT_EQ(model.data(model.index(1, TFleetUpgradeModel::kStage), TFleetUpgradeModel::kStageRole)
                  .toInt(),
              static_cast<int>(TUpgradeStage::kFailed));
}

} // namespace
} // namespace zadari
