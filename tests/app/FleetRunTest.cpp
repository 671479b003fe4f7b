// A fleet run against a session whose sockets record what is sent: each camera gets one
// command, in the order that frees addresses first, and counts as verified only when its MAC
// answers at the new address.
#include "app/FleetRun.h"
#include "app/AtomicFile.h"
#include "app/Session.h"
#include "net/SearchEndpoints.h"
#include "protocols/FamilyTable.h"
#include "standards/StandardsMac.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace zadari {
namespace {

class TCountingSender : public TDatagramSender {
public:
    explicit TCountingSender(int* sent) : sent_(sent) {}
    bool SendTo(TByteView, const std::string&, std::uint16_t) override {
        ++*sent_;
        return true;
    }
    void Pause(int) override {}

private:
    int* sent_;
};

class TCountingEndpoints : public TSearchEndpoints {
public:
    explicit TCountingEndpoints(int* sent) : sender_(sent) {}
    bool Open(TReceiveHandler) override { return true; }
    void Close() override {}
    TDatagramSender& Udp(int) override { return sender_; }
    TDatagramSender& MulticastSender() override { return sender_; }

private:
    TCountingSender sender_;
};

class TCountingAsker : public ICredentialsProvider {
public:
    std::optional<TCredentials> AskCredentials(std::int32_t, const TCredentials& presets) override {
        ++asked;
        return presets;
    }
    int asked = 0;
};

TDevInfo Camera(std::int32_t family, const std::string& mac, const std::string& ip) {
    TDevInfo record;
    record.family = family;
    record.protocolVersion = 2;
    record.mac = mac;
    record.macKey = mac;
    record.ip = ip;
    record.mask = "255.255.255.0";
    record.gateway = "192.168.1.1";
    record.name = "cam";
    record.httpPort = 80;
    record.dns1 = "192.168.1.1";
    record.ipMode = 2;
    return record;
}

TPlanEntry Entry(const std::string& mac, const std::string& ip) {
    TPlanEntry entry;
    entry.mac = NormalisedMac(mac);
    entry.ip = ip;
    return entry;
}

struct FleetRunTest : ::testing::Test {
    int sent = 0;
    TCountingAsker asker;
    std::unique_ptr<TSession> session;
    /// Cameras that answer at their new address once their command went out.
    std::set<std::string> comesBack;
    std::vector<std::string> sendOrder;

    void SetUp() override {
        TSessionSetup setup;
        setup.makeEndpoints = [this] { return std::make_unique<TCountingEndpoints>(&sent); };
        session = std::make_unique<TSession>(setup, asker);
        session->ApplyFlow().pause = [](int) {};
    }

    void List(const std::vector<TDevInfo>& cameras) {
        for (const TDevInfo& camera : cameras)
            session->Engine().MergeFound(camera);
    }

    /// Runs the plan until it finishes (or 10 s pass), playing the cameras that come back.
    std::unique_ptr<TFleetRun> Run(const std::vector<TPlanEntry>& entries, int verifyMs,
                                   std::function<void(TFleetRun&)> afterFirstSend = {}) {
        const TCheckedPlan plan = CheckPlanAgainst(*session, entries);
        EXPECT_TRUE(plan.Valid());
        auto run = std::make_unique<TFleetRun>(*session, asker, plan, verifyMs);
        TFleetRun* r = run.get();
        QObject::connect(r, &TFleetRun::CameraChanged, r, [this, r, afterFirstSend](int index) {
            const TFleetCamera& camera = r->Cameras()[static_cast<std::size_t>(index)];
            if (camera.status != TFleetStatus::kVerifying)
                return;
            sendOrder.push_back(camera.listed.mac);
            if (sendOrder.size() == 1 && afterFirstSend)
                afterFirstSend(*r);
            if (comesBack.count(camera.listed.mac) == 0)
                return;
            TDevInfo moved = camera.listed;
            moved.ip = camera.newIp;
            QTimer::singleShot(20, r, [this, moved] { session->Engine().MergeFound(moved); });
        });
        run->Start();
        QElapsedTimer waited;
        waited.start();
        while (!run->Done() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return run;
    }
};

TEST_F(FleetRunTest, EachCameraGetsOneCommandInTheOrderThatFreesAddresses) {
    List({Camera(kFamilyPeltra, "00:11:22:33:44:01", "192.168.1.11"),
          Camera(kFamilyPeltra, "00:11:22:33:44:02", "192.168.1.12"),
          Camera(kFamilyPeltra, "00:11:22:33:44:03", "192.168.1.13")});
    comesBack = {"00:11:22:33:44:01", "00:11:22:33:44:02", "00:11:22:33:44:03"};
    const int before = sent;
    auto run = Run(
        {Entry("00:11:22:33:44:01", "192.168.1.12"), Entry("00:11:22:33:44:02", "192.168.1.13"),
         Entry("00:11:22:33:44:03", "192.168.1.50"), Entry("00:11:22:33:44:99", "192.168.1.51")},
        5000);
    ASSERT_TRUE(run->Done());
    EXPECT_EQ(sendOrder, (std::vector<std::string>{"00:11:22:33:44:03", "00:11:22:33:44:02",
                                                   "00:11:22:33:44:01"}));
    EXPECT_EQ(sent - before, 3);
    const std::vector<TFleetCamera>& cameras = run->Cameras();
    ASSERT_EQ(cameras.size(), 4u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(cameras[i].status, TFleetStatus::kVerified) << cameras[i].detail;
    EXPECT_EQ(cameras[3].status, TFleetStatus::kNotFound);
    EXPECT_FALSE(run->AllVerified());
    EXPECT_NE(run->ReportJson().find("\"mac\": \"00:11:22:33:44:99\", \"ip\": \"192.168.1.51\","),
              std::string::npos)
        << run->ReportJson();
    EXPECT_NE(run->ReportJson().find("\"status\": \"not-found\""), std::string::npos);
    EXPECT_EQ(run->ReportCsv().substr(0, 34), "mac,ip,oldIp,family,status,detail\n");
}

TEST_F(FleetRunTest, ACameraThatDoesNotComeBackIsUnverifiedAndItsAddressIsNotTaken) {
    List({Camera(kFamilyPeltra, "00:11:22:33:44:01", "192.168.1.11"),
          Camera(kFamilyPeltra, "00:11:22:33:44:02", "192.168.1.12"),
          Camera(kFamilyPeltra, "00:11:22:33:44:03", "192.168.1.13")});
    comesBack = {"00:11:22:33:44:03"};
    const int before = sent;
    // 02 leaves .12 for .20 but is never seen again: 01 must not take .12.
    auto run =
        Run({Entry("00:11:22:33:44:01", "192.168.1.12"), Entry("00:11:22:33:44:02", "192.168.1.20"),
             Entry("00:11:22:33:44:03", "192.168.1.30")},
            300);
    ASSERT_TRUE(run->Done());
    std::map<std::string, TFleetStatus> status;
    for (const TFleetCamera& camera : run->Cameras())
        status[camera.listed.mac] = camera.status;
    EXPECT_EQ(status["00:11:22:33:44:02"], TFleetStatus::kUnverified);
    EXPECT_EQ(status["00:11:22:33:44:01"], TFleetStatus::kFailed);
    EXPECT_EQ(status["00:11:22:33:44:03"], TFleetStatus::kVerified);
    EXPECT_EQ(sent - before, 2);
}

TEST_F(FleetRunTest, TheAccountIsAskedOncePerFamilyAndCancelStartsNoFurtherCamera) {
    List({Camera(kFamilyMoi, "00:11:22:33:44:01", "192.168.1.11"),
          Camera(kFamilyMoi, "00:11:22:33:44:02", "192.168.1.12"),
          Camera(kFamilyMoi, "00:11:22:33:44:03", "192.168.1.13")});
    comesBack = {"00:11:22:33:44:01", "00:11:22:33:44:02"};
    auto twoAndStop = [](TFleetRun&) {};
    auto run = Run(
        {Entry("00:11:22:33:44:01", "192.168.1.21"), Entry("00:11:22:33:44:02", "192.168.1.22")},
        5000, twoAndStop);
    ASSERT_TRUE(run->Done());
    for (const TFleetCamera& camera : run->Cameras())
        EXPECT_EQ(camera.status, TFleetStatus::kVerified) << camera.detail;
    EXPECT_EQ(asker.asked, 1);

    comesBack = {"00:11:22:33:44:03"};
    sendOrder.clear();
    List({Camera(kFamilyPeltra, "00:11:22:33:44:04", "192.168.1.14")});
    auto cancelled = Run(
        {Entry("00:11:22:33:44:03", "192.168.1.23"), Entry("00:11:22:33:44:04", "192.168.1.24")},
        5000, [](TFleetRun& r) { r.Cancel(); });
    ASSERT_TRUE(cancelled->Done());
    EXPECT_EQ(sendOrder.size(), 1u);
    EXPECT_EQ(cancelled->Cameras()[0].status, TFleetStatus::kVerified);
    EXPECT_EQ(cancelled->Cameras()[1].status, TFleetStatus::kCancelled);
}

TEST_F(FleetRunTest, ReportIsWrittenWholeOrNotAtAll) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.json"));
    QString error;
    ASSERT_TRUE(WriteFileAtomically(path, "[]\n", &error));
    EXPECT_FALSE(
        WriteFileAtomically(dir.filePath(QStringLiteral("missing/report.json")), "[]\n", &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
} // namespace zadari
