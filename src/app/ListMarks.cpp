#include "app/ListMarks.h"

#include "app/DeviceList.h"
#include "app/FleetPlan.h"
#include "i18n/StrRes.h"
#include "net/NetInterfaces.h"

#include <QStringList>

#include <algorithm>
#include <unordered_map>

namespace zadari {

TListMarks::TListMarks(TDeviceList& list, TSubnetSource subnets, QObject* parent)
    : QObject(parent), list_(list), subnets_(subnets ? std::move(subnets) : &InterfaceSubnets) {
    // Many replies come in a burst: the marks are worked out once after it.
    refresh_.setSingleShot(true);
    refresh_.setInterval(100);
    connect(&refresh_, &QTimer::timeout, this, [this] { Refresh(); });
    auto later = [this] {
        if (!refresh_.isActive())
            refresh_.start();
    };
    connect(&list_, &QAbstractItemModel::rowsInserted, this, later);
    connect(&list_, &QAbstractItemModel::rowsRemoved, this, later);
    connect(&list_, &QAbstractItemModel::modelReset, this, later);
    connect(&list_, &TDeviceList::RecordReplaced, this, later);
}

TListMarks::~TListMarks() = default;

TDeviceMarks TListMarks::MarksOf(const std::string& mac) const {
    const auto found = marks_.find(mac);
    return found == marks_.end() ? TDeviceMarks() : found->second;
}

QString TListMarks::TooltipOf(const std::string& mac) const {
    const TDeviceMarks marks = MarksOf(mac);
    QStringList lines;
    if (!marks.sameAddressAs.empty()) {
        QStringList others;
        for (const std::string& other : marks.sameAddressAs)
            others << QString::fromLatin1(other.data(), static_cast<qsizetype>(other.size()));
        lines << GetStrRes("IDS_MARK_SAMEIP").arg(others.join(QStringLiteral(", ")));
    }
    if (marks.otherSubnet)
        lines << GetStrRes("IDS_MARK_OTHERSUBNET");
    return lines.join(QLatin1Char('\n'));
}

void TListMarks::Refresh() {
    refresh_.stop();
    std::map<std::string, TDeviceMarks> marks;
    std::unordered_map<std::string, std::vector<std::string>> macsAt;
    std::unordered_map<int, std::vector<TInterfaceSubnet>> subnetsOf;
    for (int row = 0; row < list_.RowCount(); ++row) {
        const TDevInfo& record = list_.Row(row).record;
        macsAt[record.ip].push_back(record.mac);
        if (record.seenOnInterface <= 0)
            continue;
        auto found = subnetsOf.find(record.seenOnInterface);
        if (found == subnetsOf.end())
            found =
                subnetsOf.emplace(record.seenOnInterface, subnets_(record.seenOnInterface)).first;
        const std::optional<std::uint32_t> ip = ParseIpv4(record.ip);
        if (!ip || found->second.empty())
            continue;
        bool inside = false;
        for (const TInterfaceSubnet& subnet : found->second)
            inside = inside || (*ip & subnet.mask) == (subnet.address & subnet.mask);
        if (!inside)
            marks[record.mac].otherSubnet = true;
    }
    for (const auto& [ip, macs] : macsAt) {
        if (macs.size() < 2 || ip.empty())
            continue;
        for (const std::string& mac : macs) {
            for (const std::string& other : macs) {
                if (other != mac)
                    marks[mac].sameAddressAs.push_back(other);
            }
        }
    }
    if (marks.size() == marks_.size() &&
        std::equal(marks.begin(), marks.end(), marks_.begin(), [](const auto& a, const auto& b) {
            return a.first == b.first && a.second.sameAddressAs == b.second.sameAddressAs &&
                   a.second.otherSubnet == b.second.otherSubnet;
        }))
        return;
    marks_ = std::move(marks);
    Q_EMIT Changed();
}

} // namespace zadari
