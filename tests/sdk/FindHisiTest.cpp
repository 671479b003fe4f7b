#include "app/DeviceForwarder.h"
#include "app/SR_Hisi.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLibrary>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

namespace zadari {
namespace {

// The tests' own library sits in 402/ beside the test program.
QString ProgramDir() {
    return QCoreApplication::applicationDirPath();
}

struct TDoubleControl {
    QLibrary library{TFind_Hisi::LibraryPath(ProgramDir())};
    void Configure(int threads, int perThread, bool synchronous) {
        using TFn = void (*)(int, int, int);
        reinterpret_cast<TFn>(library.resolve("DVSNETDouble_Configure"))(threads, perThread,
                                                                         synchronous ? 1 : 0);
    }
    void Join() { reinterpret_cast<void (*)()>(library.resolve("DVSNETDouble_Join"))(); }
    int Call(const char* name) { return reinterpret_cast<int (*)()>(library.resolve(name))(); }
    void ConfigureLate(int milliseconds) {
        reinterpret_cast<void (*)(int)>(library.resolve("DVSNETDouble_ConfigureLate"))(
            milliseconds);
    }
    std::string LastConfig() {
        using TFn = int (*)(char*, int);
        char buffer[512] = {};
        reinterpret_cast<TFn>(library.resolve("DVSNETDouble_LastConfig"))(buffer, sizeof buffer);
        return buffer;
    }
};

// Runs the event loop until `done` holds or five seconds pass.
template <typename TPredicate> bool SpinUntil(TPredicate done) {
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

TEST(FindHisi, WithoutTheLibraryTheFamilyIsSilentlyAbsent) {
    QTemporaryDir empty;
    TFind_Hisi finder(empty.path());
    EXPECT_FALSE(finder.IsLoaded());
    EXPECT_FALSE(finder.StartSearch());
    TDevInfo record;
    record.family = kFamilySdk;
    record.mac = "001122AABBCC";
    EXPECT_FALSE(finder.ConfigDevice(record));
}

TEST(FindHisi, ReportsFromSeveralThreadsAreAllHandedToTheMainThread) {
    TDoubleControl control;
    ASSERT_TRUE(control.library.load()) << control.library.errorString().toStdString();
    control.Configure(4, 50, false);

    std::set<std::string> macs;
    int offThread = 0;
    const auto mainThread = std::this_thread::get_id();
    TDeviceForwarder forwarder([&](const TDevInfo& record) {
        if (std::this_thread::get_id() != mainThread)
            ++offThread;
        macs.insert(record.mac);
    });
    {
        TFind_Hisi finder(ProgramDir());
        ASSERT_TRUE(finder.IsLoaded());
        finder.SetFoundHandler(
            [&](const TDevInfo& record) { forwarder.ForwardDeviceToWindow(record); });
        ASSERT_TRUE(finder.StartSearch());
        EXPECT_TRUE(SpinUntil([&] { return macs.size() == 200; })) << macs.size();
        forwarder.Close();
    }
    EXPECT_EQ(offThread, 0);
    EXPECT_EQ(macs.count("001122000000"), 1u);
    EXPECT_EQ(macs.count("001122030031"), 1u);
}

TEST(FindHisi, AReportOnTheMainThreadIsHandledDirectly) {
    TDoubleControl control;
    ASSERT_TRUE(control.library.load());
    control.Configure(1, 3, true);
    std::vector<TDevInfo> records;
    TDeviceForwarder forwarder([&](const TDevInfo& record) { records.push_back(record); });
    TFind_Hisi finder(ProgramDir());
    finder.SetFoundHandler(
        [&](const TDevInfo& record) { forwarder.ForwardDeviceToWindow(record); });
    // The library reports from inside StartSearch, on this thread: waiting for our own event
    // loop here would never end.
    ASSERT_TRUE(finder.StartSearch());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].family, kFamilySdk);
    EXPECT_EQ(records[0].mac, "001122000000");
    EXPECT_EQ(records[0].macKey, "");
    EXPECT_EQ(records[0].name, "sdk-0-0");
    EXPECT_EQ(records[0].httpPort, 80);
    EXPECT_EQ(records[0].dataPort, 9000);
    EXPECT_EQ(records[0].sdkText, "sdk-text");
    EXPECT_EQ(records[0].dns1, "10.4.0.53");
    EXPECT_EQ(records[0].sdkWord, 0x1234);
    EXPECT_EQ(records[0].sdkValue, 77);
    // DHCP indicators 0, 1, 2 in report order.
    EXPECT_EQ(records[0].ipMode, 2);
    EXPECT_EQ(records[1].ipMode, 1);
    EXPECT_EQ(records[2].ipMode, 2);
}

TEST(FindHisi, CloseReleasesReportersThatWaitForTheMainThread) {
    TDoubleControl control;
    ASSERT_TRUE(control.library.load());
    control.Configure(3, 5, false);
    int handled = 0;
    TDeviceForwarder forwarder([&](const TDevInfo&) { ++handled; });
    TFind_Hisi finder(ProgramDir());
    finder.SetFoundHandler(
        [&](const TDevInfo& record) { forwarder.ForwardDeviceToWindow(record); });
    ASSERT_TRUE(finder.StartSearch());
    // The main thread never runs its event loop here; without Close() the reporters would wait
    // for it forever and the library's stop would never return.
    forwarder.Close();
    control.Join();
    EXPECT_EQ(handled, 0);
}

TEST(FindHisi, DestroyingTheFinderStopsTheSearchAndDropsLaterReports) {
    TDoubleControl control;
    ASSERT_TRUE(control.library.load());
    control.Configure(1, 1, false);
    control.ConfigureLate(300);
    const int stops = control.Call("DVSNETDouble_StopCount");
    int handled = 0;
    {
        TDeviceForwarder forwarder([&](const TDevInfo&) { ++handled; });
        TFind_Hisi finder(ProgramDir());
        finder.SetFoundHandler(
            [&](const TDevInfo& record) { forwarder.ForwardDeviceToWindow(record); });
        ASSERT_TRUE(finder.StartSearch());
        ASSERT_TRUE(SpinUntil([&] { return handled == 1; }));
        forwarder.Close();
    }
    control.ConfigureLate(0);
    EXPECT_EQ(control.Call("DVSNETDouble_StopCount"), stops + 1);
    // The library's reporter goes on after the stop; its reports reach nothing that is gone.
    const int late = control.Call("DVSNETDouble_LateReports");
    EXPECT_TRUE(SpinUntil([&] { return control.Call("DVSNETDouble_LateReports") >= late + 5; }));
    EXPECT_EQ(handled, 1);
}

TEST(FindHisi, ConfigDevicePassesExactlyTheEditedValues) {
    TDoubleControl control;
    ASSERT_TRUE(control.library.load());
    TFind_Hisi finder(ProgramDir());
    TDevInfo edited;
    edited.family = kFamilySdk;
    edited.mac = "001122AABBCC";
    edited.userName = "admin";
    edited.userPassword = "secret";
    edited.name = "gate";
    edited.ip = "10.4.0.9";
    edited.httpPort = 8080;
    edited.dataPort = 9001;
    edited.mask = "255.255.0.0";
    edited.gateway = "10.4.0.1";
    edited.sdkText = "kept";
    edited.dns1 = "10.4.0.53";
    edited.sdkWord = 42;
    edited.ipMode = 1;
    ASSERT_TRUE(finder.ConfigDevice(edited));
    EXPECT_EQ(control.LastConfig(), "001122AABBCC|admin|secret|gate|10.4.0.9|8080|9001|"
                                    "255.255.0.0|10.4.0.1|kept|10.4.0.53|42|1");
    edited.ipMode = 2;
    edited.userName = "reject";
    EXPECT_FALSE(finder.ConfigDevice(edited));
    EXPECT_EQ(control.LastConfig().back(), '0');
}

} // namespace
} // namespace zadari
