#include "app/DeviceList.h"

#include "app/DeviceText.h"
#include "i18n/StrRes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

namespace zadari {
namespace {

TDevInfo Device(const std::string& mac, const std::string& ip, const std::string& name = "cam",
                std::int32_t family = kFamilyZorix) {
    TDevInfo d;
    d.family = family;
    d.mac = mac;
    d.ip = ip;
    d.name = name;
    d.httpPort = 80;
    return d;
}

/// Counts the list's own signals.
struct TSignalCounts {
    int countChanged = 0;
    int inserted = 0;
    int removed = 0;
    int moved = 0;
    int changed = 0;
    int layout = 0;
    std::vector<QString> replaced;

    explicit TSignalCounts(TDeviceList& list) {
        QObject::connect(&list, &TDeviceList::CountChanged, &list, [this] { ++countChanged; });
        QObject::connect(&list, &TDeviceList::RecordReplaced, &list,
                         [this](const QString& mac) { replaced.push_back(mac); });
        QObject::connect(&list, &QAbstractItemModel::rowsInserted, &list, [this] { ++inserted; });
        QObject::connect(&list, &QAbstractItemModel::rowsRemoved, &list, [this] { ++removed; });
        QObject::connect(&list, &QAbstractItemModel::rowsMoved, &list, [this] { ++moved; });
        QObject::connect(&list, &QAbstractItemModel::dataChanged, &list, [this] { ++changed; });
        QObject::connect(&list, &QAbstractItemModel::layoutChanged, &list, [this] { ++layout; });
    }
};

std::vector<std::string> MacsInOrder(const TDeviceList& list) {
    std::vector<std::string> macs;
    for (int i = 0; i < list.RowCount(); ++i)
        macs.push_back(list.Row(i).record.mac);
    return macs;
}

TEST(MergeDevice, IgnoresARecordOfFamilyMinusOne) {
    TDeviceList list;
    TSignalCounts counts(list);
    EXPECT_FALSE(list.MergeDevice(Device("001122334455", "10.0.0.1", "cam", kFamilyNone)));
    EXPECT_EQ(list.RowCount(), 0);
    list.MergeDevice(Device("001122334455", "10.0.0.1"));
    auto unparsed = Device("001122334455", "10.9.9.9", "other", kFamilyNone);
    EXPECT_FALSE(list.MergeDevice(unparsed));
    EXPECT_EQ(list.Row(0).record.ip, "10.0.0.1");
    EXPECT_EQ(counts.countChanged, 1);
    EXPECT_TRUE(counts.replaced.empty());
}

TEST(MergeDevice, AddsARowWithCaptionTextsAndAFreshAge) {
    TDeviceList list;
    TSignalCounts counts(list);
    auto d = Device("00-1a-2b-3c-4d-5e", "192.168.1.20", "Front door", kFamilyCtp);
    d.httpPort = 8080;
    d.age = 3;
    d.rawReply = TBytes(520, 0x5A);
    EXPECT_TRUE(list.MergeDevice(d));
    ASSERT_EQ(list.RowCount(), 1);
    const auto& row = list.Row(0);
    EXPECT_EQ(row.caption, "E");
    EXPECT_EQ(row.text1, "Front door");
    EXPECT_EQ(row.text2, "192.168.1.20");
    EXPECT_EQ(row.text3, "8080");
    EXPECT_EQ(row.record.age, 10);
    EXPECT_EQ(row.record.rawReply, d.rawReply);
    EXPECT_EQ(d.age, 3); // the caller's record is untouched
    EXPECT_EQ(counts.countChanged, 1);
    EXPECT_EQ(counts.inserted, 1);
    ASSERT_NE(list.FindRowByMac("00-1a-2b-3c-4d-5e"), nullptr);
    EXPECT_EQ(list.FindRowByMac("00-1a-2b-3c-4d-5e")->name, "Front door");
    EXPECT_EQ(list.FindRowByMac("00-1A-2B-3C-4D-5E"), nullptr);
    EXPECT_EQ(list.RowOfMac("00-1a-2b-3c-4d-5e"), 0);
    EXPECT_EQ(list.RowOfMac("nothing"), -1);
}

TEST(MergeDevice, ARefreshOnlyResetsTheAge) {
    TDeviceList list;
    list.MergeDevice(Device("A", "10.0.0.1"));
    list.AgePass();
    list.AgePass();
    ASSERT_EQ(list.Row(0).record.age, 8);
    TSignalCounts counts(list);
    EXPECT_FALSE(list.MergeDevice(Device("A", "10.0.0.1")));
    EXPECT_EQ(list.Row(0).record.age, 10);
    EXPECT_EQ(list.RowCount(), 1);
    EXPECT_EQ(counts.countChanged, 0);
    EXPECT_EQ(counts.changed, 0);
    EXPECT_EQ(counts.moved, 0);
    EXPECT_TRUE(counts.replaced.empty());
}

struct TFieldChange {
    const char* field;
    std::function<void(TDevInfo&)> change;
};

class ComparedFieldChange : public ::testing::TestWithParam<TFieldChange> {};

TEST_P(ComparedFieldChange, ReplacesTheWholeRecord) {
    TDeviceList list;
    auto old = Device("00:11:22:33:44:55", "10.0.0.5", "cam", kFamilyHds);
    old.deviceId = "old id";
    old.rawReply = TBytes(520, 1);
    list.MergeDevice(old);
    list.AgePass();
    TSignalCounts counts(list);

    auto reply = old;
    reply.age = 0;
    GetParam().change(reply);
    reply.deviceId = "new id"; // not compared, but taken over with the rest
    reply.userName = "admin";
    reply.rawReply = TBytes(520, 2);
    EXPECT_FALSE(list.MergeDevice(reply));

    ASSERT_EQ(list.RowCount(), 1);
    const auto& row = list.Row(0);
    auto expected = reply;
    expected.age = 10;
    EXPECT_EQ(row.record, expected) << GetParam().field;
    EXPECT_EQ(row.caption, FamilyLetters(reply.family));
    EXPECT_EQ(row.text1, reply.name);
    EXPECT_EQ(row.text2, reply.ip);
    EXPECT_EQ(row.text3, std::to_string(reply.httpPort));
    ASSERT_EQ(counts.replaced.size(), 1u) << GetParam().field;
    EXPECT_EQ(counts.replaced[0], QStringLiteral("00:11:22:33:44:55"));
    EXPECT_EQ(counts.changed, 1);
    EXPECT_EQ(counts.countChanged, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Fourteen, ComparedFieldChange,
    ::testing::Values(TFieldChange{"ip", [](TDevInfo& d) { d.ip = "10.0.0.6"; }},
                      TFieldChange{"name", [](TDevInfo& d) { d.name = "Cam"; }},
                      TFieldChange{"httpPort", [](TDevInfo& d) { d.httpPort = 81; }},
                      TFieldChange{"family", [](TDevInfo& d) { d.family = kFamilyCtp; }},
                      TFieldChange{"mask", [](TDevInfo& d) { d.mask = "255.0.0.0"; }},
                      TFieldChange{"gateway", [](TDevInfo& d) { d.gateway = "10.0.0.1"; }},
                      TFieldChange{"dns1", [](TDevInfo& d) { d.dns1 = "1.1.1.1"; }},
                      TFieldChange{"dns2", [](TDevInfo& d) { d.dns2 = "8.8.8.8"; }},
                      TFieldChange{"dataPort", [](TDevInfo& d) { d.dataPort = 9000; }},
                      TFieldChange{"ipMode", [](TDevInfo& d) { d.ipMode = 2; }},
                      TFieldChange{"ddnsUser", [](TDevInfo& d) { d.ddnsUser = "u"; }},
                      TFieldChange{"ddnsPassword", [](TDevInfo& d) { d.ddnsPassword = "p"; }},
                      TFieldChange{"version", [](TDevInfo& d) { d.version = "V2"; }},
                      TFieldChange{"ddnsHost", [](TDevInfo& d) { d.ddnsHost = "h:80"; }}),
    [](const auto& info) { return std::string(info.param.field); });

class OtherFieldChange : public ::testing::TestWithParam<TFieldChange> {};

TEST_P(OtherFieldChange, KeepsTheOlderValues) {
    TDeviceList list;
    auto old = Device("AB", "10.0.0.5");
    old.rawReply = TBytes(520, 1);
    list.MergeDevice(old);
    list.AgePass();
    TSignalCounts counts(list);

    auto reply = old;
    GetParam().change(reply);
    list.MergeDevice(reply);
    auto expected = old;
    expected.age = 10;
    EXPECT_EQ(list.Row(0).record, expected) << GetParam().field;
    EXPECT_TRUE(counts.replaced.empty());
    EXPECT_EQ(counts.changed, 0);
}

INSTANTIATE_TEST_SUITE_P(
    NotCompared, OtherFieldChange,
    ::testing::Values(TFieldChange{"dnsAuto", [](TDevInfo& d) { d.dnsAuto = 1; }},
                      TFieldChange{"deviceId", [](TDevInfo& d) { d.deviceId = "X"; }},
                      TFieldChange{"userName", [](TDevInfo& d) { d.userName = "root"; }},
                      TFieldChange{"ddnsPort", [](TDevInfo& d) { d.ddnsPort = 808; }},
                      TFieldChange{"ddnsEnabled", [](TDevInfo& d) { d.ddnsEnabled = 1; }},
                      TFieldChange{"macKey", [](TDevInfo& d) { d.macKey = "AB"; }},
                      TFieldChange{"sdkText", [](TDevInfo& d) { d.sdkText = "s"; }},
                      TFieldChange{"ddnsHost2", [](TDevInfo& d) { d.ddnsHost2 = "h2"; }},
                      TFieldChange{"protocolVersion", [](TDevInfo& d) { d.protocolVersion = 2; }},
                      TFieldChange{"rawReply", [](TDevInfo& d) { d.rawReply = TBytes(520, 9); }},
                      TFieldChange{"binWord", [](TDevInfo& d) { d.binWord = 7; }}),
    [](const auto& info) { return std::string(info.param.field); });

TEST(MergeDevice, OneDeviceThroughTwoFamiliesKeepsOneRow) {
    TDeviceList list;
    list.MergeDevice(Device("M1", "10.0.0.1", "cam", kFamilyKt352));
    list.MergeDevice(Device("M1", "10.0.0.1", "cam", kFamilyHds));
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.Row(0).caption, "V");
}

TEST(MergeDevice, MacsDifferingInCaseOrSeparatorsAreTwoDevices) {
    TDeviceList list;
    EXPECT_TRUE(list.MergeDevice(Device("00-1a-2b-3c-4d-5e", "10.0.0.1")));
    EXPECT_TRUE(list.MergeDevice(Device("00-1A-2B-3C-4D-5E", "10.0.0.1")));
    EXPECT_TRUE(list.MergeDevice(Device("00:1a:2b:3c:4d:5e", "10.0.0.1")));
    EXPECT_EQ(list.RowCount(), 3);
}

TEST(AgePass, RemovesARowOnTheTenthTickAndNeverAFamilyFourRow) {
    TDeviceList list;
    list.MergeDevice(Device("gone", "10.0.0.1"));
    list.MergeDevice(Device("sdk", "10.0.0.2", "dvr", kFamilySdk));
    TSignalCounts counts(list);
    for (int tick = 1; tick <= 9; ++tick)
        list.AgePass();
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.FindRowByMac("gone")->age, 1);
    EXPECT_EQ(counts.countChanged, 0);
    list.AgePass();
    EXPECT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.FindRowByMac("gone"), nullptr);
    EXPECT_EQ(list.RowOfMac("gone"), -1);
    EXPECT_EQ(counts.countChanged, 1);
    for (int tick = 0; tick < 50; ++tick)
        list.AgePass();
    ASSERT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.Row(0).record.mac, "sdk");
    EXPECT_EQ(list.Row(0).record.age, 10);
}

TEST(AgePass, AReplyInBetweenStartsTheTenTicksAgain) {
    TDeviceList list;
    list.MergeDevice(Device("A", "10.0.0.1"));
    for (int tick = 0; tick < 9; ++tick)
        list.AgePass();
    list.MergeDevice(Device("A", "10.0.0.1"));
    for (int tick = 0; tick < 9; ++tick)
        list.AgePass();
    EXPECT_EQ(list.RowCount(), 1);
    list.AgePass();
    EXPECT_EQ(list.RowCount(), 0);
}

TEST(AgePass, RemovesScatteredRowsAndKeepsTheOthersInOrder) {
    TDeviceList list;
    for (int i = 0; i < 20; ++i)
        list.MergeDevice(Device("m" + std::to_string(i), "10.0.0." + std::to_string(i)));
    for (int tick = 0; tick < 5; ++tick)
        list.AgePass();
    for (int i = 0; i < 20; i += 3) // refreshed rows stay
        list.MergeDevice(Device("m" + std::to_string(i), "10.0.0." + std::to_string(i)));
    TSignalCounts counts(list);
    for (int tick = 0; tick < 5; ++tick)
        list.AgePass();
    std::vector<std::string> expected;
    for (int i = 0; i < 20; i += 3)
        expected.push_back("m" + std::to_string(i));
    EXPECT_EQ(MacsInOrder(list), expected);
    EXPECT_EQ(counts.countChanged, 1);
    EXPECT_EQ(counts.removed, 7); // one removal per run of expired rows
    for (const auto& mac : expected)
        EXPECT_EQ(list.Row(list.RowOfMac(mac)).record.mac, mac);
}

TEST(DeviceList, ClearAndDeleteRow) {
    TDeviceList list;
    list.MergeDevice(Device("A", "10.0.0.1"));
    list.MergeDevice(Device("B", "10.0.0.2"));
    list.MergeDevice(Device("C", "10.0.0.3"));
    TSignalCounts counts(list);
    list.DeleteRow(1);
    EXPECT_EQ(MacsInOrder(list), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(list.FindRowByMac("B"), nullptr);
    list.DeleteRow(2);  // out of range: nothing
    list.DeleteRow(-1); // likewise
    EXPECT_EQ(list.RowCount(), 2);
    EXPECT_EQ(counts.countChanged, 1);
    list.ClearDeviceList();
    EXPECT_EQ(list.RowCount(), 0);
    EXPECT_EQ(list.FindRowByMac("A"), nullptr);
    EXPECT_EQ(counts.countChanged, 2);
    EXPECT_TRUE(list.MergeDevice(Device("A", "10.0.0.1")));
}

TEST(DeviceList, CountTextIsTheMessageFollowedByTheNumber) {
    TDeviceList list;
    EXPECT_EQ(list.CountText(), GetStrRes("IDS_DEVCOUNT") + QStringLiteral("0"));
    for (int i = 0; i < 12; ++i)
        list.MergeDevice(Device(std::to_string(i), "10.0.0.1"));
    EXPECT_EQ(list.CountText(), GetStrRes("IDS_DEVCOUNT") + QStringLiteral("12"));
}

// --- sorting ---------------------------------------------------------------------------------

TDeviceList::TRow RowOf(const std::string& caption, const std::string& name,
                        const std::string& ip) {
    TDeviceList::TRow row;
    row.caption = caption;
    row.text1 = name;
    row.text2 = ip;
    return row;
}

struct TRowCompareCase {
    int column;
    bool descending;
    const char* a[3];
    const char* b[3];
    int expected;
};

class ListViewCompareCases : public ::testing::TestWithParam<TRowCompareCase> {};

TEST_P(ListViewCompareCases, ComparesTheSortColumn) {
    const auto& c = GetParam();
    const auto a = RowOf(c.a[0], c.a[1], c.a[2]);
    const auto b = RowOf(c.b[0], c.b[1], c.b[2]);
    EXPECT_EQ(TDeviceList::ListViewCompare(a, b, c.column, c.descending), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListViewCompareCases,
    ::testing::Values(TRowCompareCase{0, false, {"E", "z", "9.9.9.9"}, {"F", "a", "1.1.1.1"}, -1},
                      TRowCompareCase{0, true, {"E", "z", "9.9.9.9"}, {"F", "a", "1.1.1.1"}, 1},
                      TRowCompareCase{0, false, {"F", "", ""}, {"F1", "", ""}, -1},
                      TRowCompareCase{0, false, {"h", "a", ""}, {"H", "b", ""}, 0},
                      TRowCompareCase{1, false, {"E", "cam", ""}, {"E", "CAM", ""}, 0},
                      TRowCompareCase{1, false, {"E", "Door", ""}, {"E", "cellar", ""}, 1},
                      TRowCompareCase{1, true, {"E", "Door", ""}, {"E", "cellar", ""}, -1},
                      TRowCompareCase{1, false, {"E", "cam", ""}, {"E", "cam1", ""}, -1},
                      TRowCompareCase{2, false, {"", "", "10.0.0.9"}, {"", "", "10.0.0.10"}, -1},
                      TRowCompareCase{2, true, {"", "", "10.0.0.9"}, {"", "", "10.0.0.10"}, 1},
                      TRowCompareCase{2, false, {"", "", "1.2.3"}, {"", "", "1.2.3.4"}, -1},
                      TRowCompareCase{2, false, {"", "", ""}, {"", "", "0.0.0.1"}, -1},
                      TRowCompareCase{2, false, {"", "", "1.x.3.4"}, {"", "", "1.0.3.4"}, 0}));

struct TSortCase {
    const char* name;
    std::vector<int> clicks;
    int column;
    bool descending;
    std::vector<std::string> order;
};

class SortOrder : public ::testing::TestWithParam<TSortCase> {};

TEST_P(SortOrder, FollowsTheColumnClicks) {
    TDeviceList list;
    // mac, family, name, ip
    list.MergeDevice(Device("a", "10.0.0.10", "Porch", kFamilyHds));      // V
    list.MergeDevice(Device("b", "10.0.0.9", "attic", kFamilyKt352));     // E
    list.MergeDevice(Device("c", "192.168.0.1", "Garage", kFamilyZorix)); // F2
    list.MergeDevice(Device("d", "2.0.0.1", "yard", kFamilyMoi));         // F
    for (const int column : GetParam().clicks)
        list.ColumnClick(column);
    EXPECT_EQ(list.SortColumn(), GetParam().column);
    EXPECT_EQ(list.SortDescending(), GetParam().descending);
    EXPECT_EQ(MacsInOrder(list), GetParam().order);
    for (const auto& mac : GetParam().order)
        EXPECT_EQ(list.Row(list.RowOfMac(mac)).record.mac, mac);
}

INSTANTIATE_TEST_SUITE_P(
    Clicks, SortOrder,
    ::testing::Values(TSortCase{"StartsAscendingByIp", {}, 2, false, {"d", "b", "a", "c"}},
                      TSortCase{"FirstIpClickDescends", {2}, 2, true, {"c", "a", "b", "d"}},
                      TSortCase{"SecondIpClickAscends", {2, 2}, 2, false, {"d", "b", "a", "c"}},
                      TSortCase{"ModeAscending", {0}, 0, false, {"b", "d", "c", "a"}},
                      TSortCase{"ModeDescending", {0, 0}, 0, true, {"a", "c", "d", "b"}},
                      TSortCase{"NameAscending", {1}, 1, false, {"b", "c", "a", "d"}},
                      TSortCase{"NameDescending", {1, 1}, 1, true, {"d", "a", "c", "b"}},
                      TSortCase{"OtherColumnAscends", {2, 1}, 1, false, {"b", "c", "a", "d"}},
                      TSortCase{"BadColumnIgnored", {3, -1}, 2, false, {"d", "b", "a", "c"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SortOrder, MixedPartCountsAndEmptyAddresses) {
    TDeviceList list;
    list.MergeDevice(Device("4", "1.2.3.4"));
    list.MergeDevice(Device("3", "1.2.3"));
    list.MergeDevice(Device("0", ""));
    list.MergeDevice(Device("5", "1.2.3.4.5"));
    EXPECT_EQ(MacsInOrder(list), (std::vector<std::string>{"0", "3", "4", "5"}));
}

TEST(SortOrder, AChangedRowMovesToItsPlace) {
    TDeviceList list;
    for (int i = 1; i <= 5; ++i)
        list.MergeDevice(Device(std::to_string(i), "10.0.0." + std::to_string(i)));
    TSignalCounts counts(list);
    list.MergeDevice(Device("1", "10.0.0.40"));
    EXPECT_EQ(MacsInOrder(list), (std::vector<std::string>{"2", "3", "4", "5", "1"}));
    list.MergeDevice(Device("4", "10.0.0.0"));
    EXPECT_EQ(MacsInOrder(list), (std::vector<std::string>{"4", "2", "3", "5", "1"}));
    list.MergeDevice(Device("3", "10.0.0.3", "renamed")); // same place
    EXPECT_EQ(counts.moved, 2);
    EXPECT_EQ(counts.changed, 3);
    EXPECT_EQ(counts.layout, 0);
}

// --- export -----------------------------------------------------------------------------------

TEST(Export, WritesSixTabSeparatedFieldsAndCrLfAfterEveryLine) {
    TDeviceList list;
    auto a = Device("00-1a-2b-3c-4d-5e", "192.168.1.9", "Front", kFamilyHds);
    a.httpPort = 8080;
    auto b = Device("00:1a:2b:3c:4d:5e", "192.168.1.10", "Back", 42);
    b.httpPort = 0;
    auto c = Device("00 1a 2b 3c 4d 5e", "192.168.1.11", "Side", kFamilyZorixNet);
    list.MergeDevice(c);
    list.MergeDevice(b);
    list.MergeDevice(a);
    EXPECT_EQ(list.ExportText(), "1\tV\tFront\t192.168.1.9\t8080\t001A2B3C4D5E\r\n"
                                 "2\t\tBack\t192.168.1.10\t0\t00:1A:2B:3C:4D:5E\r\n"
                                 "3\tNAS\tSide\t192.168.1.11\t80\t0001A02B03C04D05E\r\n");
}

TEST(Export, AnEmptyListGivesZeroBytes) {
    TDeviceList list;
    EXPECT_EQ(list.ExportText(), "");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ipcam.txt"));
    QString error;
    ASSERT_TRUE(list.ExportToFile(path, &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.exists());
    EXPECT_EQ(file.size(), 0);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

TEST(Export, ReplacesAnExistingFile) {
    TDeviceList list;
    list.MergeDevice(Device("m", "10.0.0.1", "n\xe9", kFamilyMoi));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ipcam.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older and much longer export file\r\n");
    }
    QString error;
    ASSERT_TRUE(list.ExportToFile(path, &error));
    EXPECT_EQ(ReadAll(path), QByteArray("1\tF\tn\xe9\t10.0.0.1\t80\tM\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("ipcam.txt")});
}

// Root may write into any folder; for the scope of this object the calling thread gives that
// right up (capabilities belong to a thread), so folder permissions count as for any user.
class TFolderPermissionsApply {
public:
    TFolderPermissionsApply() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        if (syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~(1u << CAP_DAC_OVERRIDE);
        restore_ = syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~TFolderPermissionsApply() {
        if (restore_)
            syscall(SYS_capset, &header_, saved_);
    }
    TFolderPermissionsApply(const TFolderPermissionsApply&) = delete;
    TFolderPermissionsApply& operator=(const TFolderPermissionsApply&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool restore_ = false;
};

TEST(Export, AnExistingFileInAReadOnlyFolderIsWrittenInPlace) {
    TDeviceList list;
    list.MergeDevice(Device("m", "10.0.0.1", "n", kFamilyMoi));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ipcam.txt"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older and much longer export file\r\n");
    }
    QFile folder(dir.path());
    const QFileDevice::Permissions was = folder.permissions();
    ASSERT_TRUE(folder.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QString error;
    bool written = false;
    {
        TFolderPermissionsApply asUser;
        written = list.ExportToFile(path, &error);
    }
    folder.setPermissions(was);
    ASSERT_TRUE(written) << error.toStdString();
    EXPECT_EQ(ReadAll(path), QByteArray("1\tF\tn\t10.0.0.1\t80\tM\r\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("ipcam.txt")});
}

TEST(Export, AFileThatCannotBeWrittenFailsWithAMessageAndLeavesNoFile) {
    TDeviceList list;
    list.MergeDevice(Device("m", "10.0.0.1"));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A folder that is a plain file cannot hold the export, whoever runs the test.
    const QString notAFolder = dir.filePath(QStringLiteral("plain"));
    {
        QFile f(notAFolder);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    const std::pair<QString, int> cases[] = {
        {notAFolder + QStringLiteral("/ipcam.txt"), ENOTDIR},
        {dir.filePath(QStringLiteral("missing/ipcam.txt")), ENOENT}};
    for (const auto& [path, code] : cases) {
        QString error;
        EXPECT_FALSE(list.ExportToFile(path, &error)) << path.toStdString();
        EXPECT_EQ(error, qt_error_string(code)); // the platform's own text
        EXPECT_FALSE(QFile::exists(path));
    }
    // Nothing else was left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("plain")});
}

TEST(Export, ATargetThatIsAFolderStaysAndNoTemporaryFileRemains) {
    TDeviceList list;
    list.MergeDevice(Device("m", "10.0.0.1"));
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("ipcam.txt")));
    QString error;
    EXPECT_FALSE(list.ExportToFile(dir.filePath(QStringLiteral("ipcam.txt")), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("ipcam.txt")});
}

// --- model -----------------------------------------------------------------------------------

TEST(Model, ShowsThreeColumnsWithTheirHeaders) {
    TDeviceList list;
    EXPECT_EQ(list.columnCount(), 3);
    EXPECT_EQ(list.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Mode"));
    EXPECT_EQ(list.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(list.headerData(2, Qt::Horizontal).toString(), QStringLiteral("IP"));
    EXPECT_FALSE(list.headerData(3, Qt::Horizontal).isValid());
    int headerChanges = 0;
    QObject::connect(&list, &QAbstractItemModel::headerDataChanged, &list,
                     [&] { ++headerChanges; });
    list.SetHeaderCaption(1, QStringLiteral("Nom"));
    EXPECT_EQ(list.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Nom"));
    EXPECT_EQ(headerChanges, 1);
    // Views and the window translation set captions through the model interface.
    EXPECT_TRUE(list.setHeaderData(2, Qt::Horizontal, QStringLiteral("Adresse IP")));
    EXPECT_EQ(list.headerData(2, Qt::Horizontal).toString(), QStringLiteral("Adresse IP"));
    EXPECT_FALSE(list.setHeaderData(3, Qt::Horizontal, QStringLiteral("x")));
    EXPECT_FALSE(list.setHeaderData(0, Qt::Vertical, QStringLiteral("x")));

    list.MergeDevice(Device("m1", "10.0.0.1", "Caf\xc3\xa9", kFamilyUicam));
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.data(list.index(0, 0)).toString(), QStringLiteral("F1"));
    EXPECT_EQ(list.data(list.index(0, 1)).toString(), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(list.data(list.index(0, 2)).toString(), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(list.data(list.index(0, 0), TDeviceList::kMacRole).toString(), QStringLiteral("m1"));
    EXPECT_FALSE(list.data(list.index(1, 0)).isValid());
}

// Tests run in a locale whose ANSI code page is 1252, which agrees with Latin-1 on these bytes.
TEST(DeviceText, ShowsUtf8AsUtf8AndOtherBytesInTheAnsiCodePage) {
    EXPECT_EQ(DecodeDeviceText(""), QString());
    EXPECT_EQ(DecodeDeviceText("Cam 1"), QStringLiteral("Cam 1"));
    EXPECT_EQ(DecodeDeviceText("Caf\xc3\xa9"), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(DecodeDeviceText("\xe6\x91\x84\xe5\x83\x8f"), QString::fromUtf8("摄像"));
    EXPECT_EQ(DecodeDeviceText("Caf\xe9"), QString::fromLatin1("Caf\xe9"));
    // A sequence cut short at the end is not UTF-8 either.
    EXPECT_EQ(DecodeDeviceText("ab\xc3"), QString::fromLatin1("ab\xc3"));
    EXPECT_EQ(DecodeDeviceText("\xc0\xaf"), QString::fromLatin1("\xc0\xaf"));
}

} // namespace
} // namespace zadari
