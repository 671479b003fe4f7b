// Marks of the device list (an address answered by two devices, an address outside the
// adapter's subnet) and the optional columns.
#include "app/ListMarks.h"
#include "app/DeviceList.h"
#include "i18n/Language.h"
#include "i18n/LanguageStore.h"
#include "net/NetInterfaces.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zadari {
namespace {

TDevInfo Device(const std::string& mac, const std::string& ip, int adapter = 0) {
    TDevInfo record;
    record.family = kFamilyPeltra;
    record.mac = mac;
    record.ip = ip;
    record.name = "cam";
    record.version = "1.2.3";
    record.httpPort = 8080;
    record.seenOnInterface = adapter;
    return record;
}

/// The language files written out, English chosen: the texts are the program's own.
struct TEnglish {
    QTemporaryDir base;
    TLanguageStore store{base.path()};
    TEnglish() { SetLanguage(QStringLiteral("en")); }
};

TEST(ListMarksTest, SharedAddressesAndForeignSubnetsAreMarkedAndUnmarkedAgain) {
    const TEnglish english;
    TDeviceList list;
    int asked = 0;
    TListMarks marks(list, [&asked](int index) {
        ++asked;
        // Adapter 3 sits in 192.168.1.0/24; adapter 4 has no IPv4 address (nothing to judge).
        return index == 3 ? std::vector<TInterfaceSubnet>{{0xC0A80105u, 0xFFFFFF00u}}
                          : std::vector<TInterfaceSubnet>{};
    });
    int changed = 0;
    QObject::connect(&marks, &TListMarks::Changed, [&changed] { ++changed; });
    list.MergeDevice(Device("00:11:22:33:44:01", "192.168.1.20", 3));
    list.MergeDevice(Device("00:11:22:33:44:02", "192.168.1.20", 3));
    list.MergeDevice(Device("00:11:22:33:44:03", "10.0.0.7", 3));
    list.MergeDevice(Device("00:11:22:33:44:04", "10.0.0.8", 4));
    list.MergeDevice(Device("00:11:22:33:44:05", "10.0.0.9", 0));
    marks.Refresh();
    EXPECT_EQ(changed, 1);
    EXPECT_LE(asked, 2); // once per adapter and pass
    EXPECT_EQ(marks.MarksOf("00:11:22:33:44:01").sameAddressAs,
              std::vector<std::string>{"00:11:22:33:44:02"});
    EXPECT_EQ(marks.MarksOf("00:11:22:33:44:02").sameAddressAs,
              std::vector<std::string>{"00:11:22:33:44:01"});
    EXPECT_FALSE(marks.MarksOf("00:11:22:33:44:01").otherSubnet);
    EXPECT_TRUE(marks.MarksOf("00:11:22:33:44:03").otherSubnet);
    EXPECT_FALSE(marks.MarksOf("00:11:22:33:44:04").Any());
    EXPECT_FALSE(marks.MarksOf("00:11:22:33:44:05").Any());
    EXPECT_TRUE(marks.TooltipOf("00:11:22:33:44:01").contains(QStringLiteral("00:11:22:33:44:02")));
    EXPECT_TRUE(marks.TooltipOf("00:11:22:33:44:05").isEmpty());

    // The second device moves away: neither is marked any more.
    list.MergeDevice(Device("00:11:22:33:44:02", "192.168.1.21", 3));
    marks.Refresh();
    EXPECT_EQ(changed, 2);
    EXPECT_FALSE(marks.MarksOf("00:11:22:33:44:01").Any());
    marks.Refresh();
    EXPECT_EQ(changed, 2); // nothing new: no repaint asked for
}

TEST(ListMarksTest, OptionalColumnsAppearOnlyWhenAskedFor) {
    const TEnglish english;
    TDeviceList list;
    list.SetAdapterNamer([](int index) { return QStringLiteral("eth%1").arg(index); });
    list.MergeDevice(Device("00:11:22:33:44:01", "192.168.1.20", 2));
    EXPECT_EQ(list.columnCount(), 3);
    int inserted = 0;
    QObject::connect(&list, &QAbstractItemModel::columnsInserted, [&inserted] { ++inserted; });
    list.ShowOptionalColumns();
    list.ShowOptionalColumns();
    EXPECT_EQ(inserted, 1);
    ASSERT_EQ(list.columnCount(), TDeviceList::kAllColumnCount);
    auto cell = [&](int column) { return list.data(list.index(0, column)).toString(); };
    EXPECT_EQ(cell(TDeviceList::kColMac), QStringLiteral("00:11:22:33:44:01"));
    EXPECT_EQ(cell(TDeviceList::kColVersion), QStringLiteral("1.2.3"));
    EXPECT_EQ(cell(TDeviceList::kColHttpPort), QStringLiteral("8080"));
    EXPECT_EQ(cell(TDeviceList::kColAdapter), QStringLiteral("eth2"));
    EXPECT_EQ(cell(TDeviceList::kColSeenVia), QString::fromStdString(FamilyLetters(kFamilyPeltra)));
    EXPECT_EQ(list.headerData(TDeviceList::kColModel, Qt::Horizontal).toString(),
              QStringLiteral("Model"));
    // The three columns keep their texts.
    EXPECT_EQ(cell(2), QStringLiteral("192.168.1.20"));
}

} // namespace
} // namespace zadari
