#include "app/SdkFamily.h"
#include "app/DeviceList.h"
#include "app/SR_Hisi.h"
#include "app/SearchEngine.h"
#include "common/QuietEndpoints.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLibrary>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zadari {
namespace {

QString ProgramDir() {
    return QCoreApplication::applicationDirPath();
}

void ConfigureDouble(int threads, int perThread) {
    QLibrary library(TFind_Hisi::LibraryPath(ProgramDir()));
    ASSERT_TRUE(library.load());
    using TFn = void (*)(int, int, int);
    reinterpret_cast<TFn>(library.resolve("DVSNETDouble_Configure"))(threads, perThread, 0);
}

TEST(SdkFamily, FindListsTheLibrarysDevicesAndTheyNeverAgeOut) {
    ConfigureDouble(3, 20);
    TDeviceList list;
    TQuietEndpoints endpoints;
    TSdkFamily sdk(ProgramDir());
    TSearchEngine engine(list, endpoints);
    engine.AddProvider(sdk, 10);
    ASSERT_TRUE(sdk.IsLoaded());
    ASSERT_TRUE(engine.Start());
    engine.StopTimer();

    // Only a cycle with the SDK search asks the library.
    engine.RunFirstCycle();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(list.RowCount(), 0);

    engine.Find();
    QDeadlineTimer deadline(5000);
    while (list.RowCount() < 60 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(list.RowCount(), 60);
    EXPECT_EQ(list.Row(0).record.family, kFamilySdk);
    EXPECT_EQ(list.Row(0).caption, "H");

    for (int tick = 0; tick < 15; ++tick)
        engine.Tick();
    EXPECT_EQ(list.RowCount(), 60);

    TDevInfo edited = list.Row(0).record;
    edited.userName = "admin";
    EXPECT_TRUE(sdk.SendSettings(TCredentials{"admin", ""}, list.Row(0).record, edited));
    engine.Stop();
}

TEST(SdkFamily, WithoutTheLibraryApplyHasNoWayToTheDevice) {
    QTemporaryDir empty;
    TDeviceList list;
    TQuietEndpoints endpoints;
    TSdkFamily sdk(empty.path());
    TSearchEngine engine(list, endpoints);
    engine.AddProvider(sdk, 10);
    EXPECT_FALSE(sdk.IsLoaded());
    engine.Find();
    TDevInfo record;
    record.family = kFamilySdk;
    record.mac = "001122AABBCC";
    EXPECT_FALSE(sdk.SendSettings(TCredentials{"admin", ""}, record, record));
    EXPECT_EQ(list.RowCount(), 0);
}

} // namespace
} // namespace zadari
