// The list under random merges, refreshes, changes, ageing, deletions and column clicks: after
// every step it must hold what a plain re-implementation of the merge rules holds, in sorted
// order, and a view that only follows the model's signals must show exactly the same rows.
#include "app/DeviceList.h"

#include <QPersistentModelIndex>
#ifdef ZADARI_HAVE_QTTEST
#include <QAbstractItemModelTester>
#endif

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace zadari {
namespace {

/// What a view knows of the list: only what the model's signals told it.
class TShadowView {
public:
    using TLine = std::array<QString, 4>; // mac and the three shown texts

    explicit TShadowView(TDeviceList& list) : list_(list) {
        QObject::connect(&list, &QAbstractItemModel::rowsInserted, &list,
                         [this](const QModelIndex&, int first, int last) {
                             for (int r = first; r <= last; ++r)
                                 lines_.insert(lines_.begin() + r, Read(r));
                         });
        QObject::connect(&list, &QAbstractItemModel::rowsRemoved, &list,
                         [this](const QModelIndex&, int first, int last) {
                             lines_.erase(lines_.begin() + first, lines_.begin() + last + 1);
                         });
        QObject::connect(
            &list, &QAbstractItemModel::rowsMoved, &list,
            [this](const QModelIndex&, int start, int end, const QModelIndex&, int destination) {
                std::vector<TLine> block(lines_.begin() + start, lines_.begin() + end + 1);
                lines_.erase(lines_.begin() + start, lines_.begin() + end + 1);
                const int at = destination > end ? destination - (end - start + 1) : destination;
                lines_.insert(lines_.begin() + at, block.begin(), block.end());
            });
        QObject::connect(&list, &QAbstractItemModel::dataChanged, &list,
                         [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                             for (int r = topLeft.row(); r <= bottomRight.row(); ++r)
                                 lines_[static_cast<std::size_t>(r)] = Read(r);
                         });
        QObject::connect(&list, &QAbstractItemModel::layoutChanged, &list, [this] { ReadAll(); });
        QObject::connect(&list, &QAbstractItemModel::modelReset, &list, [this] { ReadAll(); });
        ReadAll();
    }

    const std::vector<TLine>& Lines() const { return lines_; }

    TLine Read(int r) const {
        return {list_.data(list_.index(r, 0), TDeviceList::kMacRole).toString(),
                list_.data(list_.index(r, 0)).toString(), list_.data(list_.index(r, 1)).toString(),
                list_.data(list_.index(r, 2)).toString()};
    }

private:
    void ReadAll() {
        lines_.clear();
        for (int r = 0; r < list_.rowCount(); ++r)
            lines_.push_back(Read(r));
    }

    TDeviceList& list_;
    std::vector<TLine> lines_;
};

/// The merge and ageing rules written as plainly as possible.
class TReferenceList {
public:
    void Merge(const TDevInfo& d) {
        if (d.family == kFamilyNone)
            return;
        auto it = records_.find(d.mac);
        if (it == records_.end()) {
            records_[d.mac] = d;
            records_[d.mac].age = 10;
            return;
        }
        TDevInfo& r = it->second;
        const bool differs =
            r.ip != d.ip || r.name != d.name || r.httpPort != d.httpPort || r.family != d.family ||
            r.mask != d.mask || r.gateway != d.gateway || r.dns1 != d.dns1 || r.dns2 != d.dns2 ||
            r.dataPort != d.dataPort || r.ipMode != d.ipMode || r.ddnsUser != d.ddnsUser ||
            r.ddnsPassword != d.ddnsPassword || r.version != d.version || r.ddnsHost != d.ddnsHost;
        if (differs)
            r = d;
        r.age = 10;
    }
    void Age() {
        for (auto it = records_.begin(); it != records_.end();) {
            if (it->second.family != kFamilySdk && --it->second.age == 0)
                it = records_.erase(it);
            else
                ++it;
        }
    }
    void Remove(const std::string& mac) { records_.erase(mac); }
    void Clear() { records_.clear(); }
    const std::map<std::string, TDevInfo>& Records() const { return records_; }

private:
    std::map<std::string, TDevInfo> records_;
};

class TRandomDevices {
public:
    explicit TRandomDevices(unsigned seed) : rng_(seed) {}

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    template <std::size_t N> const char* Pick(const char* const (&pool)[N]) {
        return pool[static_cast<std::size_t>(Int(0, static_cast<int>(N) - 1))];
    }

    std::string Mac() { return "mac" + std::to_string(Int(0, 59)); }

    TDevInfo Device() {
        static const char* const kIps[] = {
            "10.0.0.9",        "10.0.0.10", "10.0.0.1", "192.168.1.2",
            "1.2.3",           "1.2.3.4",   "",         "x.y",
            "5.0.0",           "9.0.0.0",   "10.0.0.0", "1.2.3.4.5",
            "255.255.255.255", " 7.0.0.1",  "1..2.3"};
        static const char* const kNames[] = {"cam",
                                             "CAM",
                                             "Cam1",
                                             "",
                                             "door",
                                             "Door",
                                             "\xe9t\xe9",
                                             "yard",
                                             "Camera in the hallway",
                                             "camera in the hallway 2",
                                             "Camera in the hallwaX",
                                             "Camera in the hall"};
        static const std::int32_t kFamilies[] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 999, 42};
        TDevInfo d;
        d.mac = Mac();
        d.family = kFamilies[Int(0, static_cast<int>(std::size(kFamilies)) - 1)];
        d.ip = Pick(kIps);
        d.name = Pick(kNames);
        d.httpPort = static_cast<std::uint16_t>(Int(0, 1) ? 80 : 8080);
        d.deviceId = std::to_string(Int(0, 3));
        d.version = Int(0, 5) ? "v1" : "v2";
        return d;
    }

private:
    std::mt19937 rng_;
};

class TRandomOperations : public ::testing::TestWithParam<unsigned> {};

TEST_P(TRandomOperations, KeepTheListSortedAndTheViewsInStep) {
    TDeviceList list;
#ifdef ZADARI_HAVE_QTTEST
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
#endif
    TShadowView view(list);
    TReferenceList reference;
    TRandomDevices random(GetParam());
    int countSignals = 0;
    QObject::connect(&list, &TDeviceList::CountChanged, &list, [&] { ++countSignals; });
    std::vector<std::pair<QPersistentModelIndex, std::string>> held;

    for (int step = 0; step < 3000; ++step) {
        const int countBefore = list.RowCount();
        const int signalsBefore = countSignals;
        const int op = random.Int(0, 99);
        std::string what;
        if (op < 40) {
            const auto d = random.Device();
            what = "merge " + d.mac;
            reference.Merge(d);
            list.MergeDevice(d);
        } else if (op < 55 && list.RowCount() > 0) {
            // A reply that repeats a row, possibly with one compared field changed.
            auto d = list.Row(random.Int(0, list.RowCount() - 1)).record;
            switch (random.Int(0, 4)) {
            case 0:
                d.ip = random.Device().ip;
                break;
            case 1:
                d.name = random.Device().name;
                break;
            case 2:
                d.family = random.Device().family;
                break;
            default:
                d.userName = "u" + std::to_string(step); // not compared
                break;
            }
            what = "repeat " + d.mac;
            reference.Merge(d);
            list.MergeDevice(d);
        } else if (op < 70) {
            what = "age";
            reference.Age();
            list.AgePass();
        } else if (op < 75 && list.RowCount() > 0) {
            const int r = random.Int(0, list.RowCount() - 1);
            what = "delete row " + std::to_string(r);
            reference.Remove(list.Row(r).record.mac);
            list.DeleteRow(r);
        } else if (op < 82) {
            const int column = random.Int(0, 3);
            what = "click " + std::to_string(column);
            list.ColumnClick(column);
        } else if (op < 83) {
            what = "clear";
            reference.Clear();
            list.ClearDeviceList();
        } else if (list.RowCount() > 0) {
            const int r = random.Int(0, list.RowCount() - 1);
            held.emplace_back(QPersistentModelIndex(list.index(r, random.Int(0, 2))),
                              list.Row(r).record.mac);
            if (held.size() > 8)
                held.erase(held.begin());
            continue;
        }
        SCOPED_TRACE("step " + std::to_string(step) + ": " + what);

        // Same content as the plain rules.
        ASSERT_EQ(static_cast<std::size_t>(list.RowCount()), reference.Records().size());
        for (int r = 0; r < list.RowCount(); ++r) {
            const auto& row = list.Row(r);
            const auto it = reference.Records().find(row.record.mac);
            ASSERT_NE(it, reference.Records().end());
            ASSERT_EQ(row.record, it->second);
            ASSERT_EQ(row.caption, FamilyLetters(row.record.family));
            ASSERT_EQ(row.text1, row.record.name);
            ASSERT_EQ(row.text2, row.record.ip);
            ASSERT_EQ(list.RowOfMac(row.record.mac), r);
            ASSERT_EQ(list.FindRowByMac(row.record.mac), &row.record);
        }
        // In the order a full sort would give.
        for (int r = 0; r + 1 < list.RowCount(); ++r)
            ASSERT_LE(TDeviceList::ListViewCompare(list.Row(r), list.Row(r + 1), list.SortColumn(),
                                                   list.SortDescending()),
                      0)
                << "rows " << r << " and " << r + 1;
        // A view that follows the signals shows the same.
        ASSERT_EQ(view.Lines().size(), static_cast<std::size_t>(list.RowCount()));
        for (int r = 0; r < list.RowCount(); ++r)
            ASSERT_EQ(view.Lines()[static_cast<std::size_t>(r)], view.Read(r)) << "row " << r;
        // Held indexes follow their rows, and die with them.
        for (const auto& [index, mac] : held) {
            if (list.FindRowByMac(mac)) {
                ASSERT_TRUE(index.isValid()) << mac;
                ASSERT_EQ(index.row(), list.RowOfMac(mac));
            } else {
                ASSERT_FALSE(index.isValid()) << mac;
            }
        }
        // A device that left may come back later with a new row; its old index stays dead.
        std::erase_if(held, [](const auto& h) { return !h.first.isValid(); });
        ASSERT_EQ(countSignals != signalsBefore, list.RowCount() != countBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, TRandomOperations, ::testing::Values(1u, 2u, 3u, 4u, 5u));

TEST(AgePass, SlotsMayReadAndChangeTheListWhileRowsLeave) {
    TDeviceList list;
#ifdef ZADARI_HAVE_QTTEST
    QAbstractItemModelTester tester(&list, QAbstractItemModelTester::FailureReportingMode::Fatal);
#endif
    const auto device = [](int i) {
        TDevInfo d;
        d.family = kFamilyZorix;
        d.mac = "m" + std::to_string(i);
        d.ip = "10.0.0." + std::to_string(i);
        return d;
    };
    for (int i = 0; i < 20; ++i)
        list.MergeDevice(device(i));
    for (int tick = 0; tick < 5; ++tick)
        list.AgePass();
    for (int i = 0; i < 20; i += 3)
        list.MergeDevice(device(i));
    for (int tick = 0; tick < 4; ++tick)
        list.AgePass();
    TShadowView view(list);

    int removals = 0;
    int misplaced = 0;
    QObject::connect(&list, &QAbstractItemModel::rowsRemoved, &list, [&] {
        for (int r = 0; r < list.RowCount(); ++r) {
            const std::string mac = list.Row(r).record.mac;
            if (list.RowOfMac(mac) != r || list.FindRowByMac(mac) != &list.Row(r).record)
                ++misplaced;
        }
        if (++removals == 1) {
            list.MergeDevice(device(4)); // an answer just in time
            TDevInfo late = device(100);
            late.mac = "new";
            list.MergeDevice(late);
            list.DeleteRow(list.RowOfMac("m0"));
        }
    });
    list.AgePass();

    std::vector<std::string> macs;
    for (int r = 0; r < list.RowCount(); ++r)
        macs.push_back(list.Row(r).record.mac);
    EXPECT_EQ(macs, (std::vector<std::string>{"m3", "m4", "m6", "m9", "m12", "m15", "m18", "new"}));
    EXPECT_EQ(misplaced, 0);
    ASSERT_EQ(view.Lines().size(), macs.size());
    for (int r = 0; r < list.RowCount(); ++r)
        EXPECT_EQ(view.Lines()[static_cast<std::size_t>(r)], view.Read(r));
}

TEST(SortOrder, AFullSortOfMalformedAddressesFinishesInOrder) {
    // Thousands of rows with addresses of every shape: the sort must stay in bounds and end
    // ordered (a comparison that is not a strict weak order could do neither).
    TDeviceList list;
    TRandomDevices random(99);
    for (int i = 0; i < 5000; ++i) {
        auto d = random.Device();
        d.mac = std::to_string(i);
        d.ip.clear();
        for (int parts = random.Int(1, 5); parts > 0; --parts)
            d.ip += std::to_string(random.Int(0, 12)) + (parts > 1 ? "." : "");
        list.MergeDevice(d);
    }
    for (const int column : {0, 2, 2, 1, 2}) {
        list.ColumnClick(column);
        for (int r = 0; r + 1 < list.RowCount(); ++r)
            ASSERT_LE(TDeviceList::ListViewCompare(list.Row(r), list.Row(r + 1), list.SortColumn(),
                                                   list.SortDescending()),
                      0);
    }
}

} // namespace
} // namespace zadari
