#include "app/DeviceList.h"

#include "app/AtomicFile.h"
#include "app/DeviceText.h"
#include "i18n/StrRes.h"
#include "net/Tools_Net.h"
#include "protocols/DevInfoFields.h"
#include "protocols/Encoding.h"
#include "protocols/FamilyTable.h"
#include "standards/StandardsMac.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>
#include <vector>

namespace zadari {

namespace {

/// The MAC as the export file writes it: "-" removed, blanks as "0", letters upper case; a ":"
/// stays.
std::string ExportMac(const std::string& mac) {
    std::string out;
    out.reserve(mac.size());
    for (const char c : mac) {
        if (c == '-')
            continue;
        if (c == ' ')
            out.push_back('0');
        else if (c >= 'a' && c <= 'z')
            out.push_back(static_cast<char>(c - 'a' + 'A'));
        else
            out.push_back(c);
    }
    return out;
}

/// The exported fields in the order of their columns.
const std::vector<const TDevInfoField*>& ExportedFields() {
    static const std::vector<const TDevInfoField*> fields = [] {
        std::vector<const TDevInfoField*> out;
        for (const TDevInfoField& field : DevInfoFields()) {
            if (field.exportColumn > 0)
                out.push_back(&field);
        }
        std::sort(out.begin(), out.end(),
                  [](const auto* a, const auto* b) { return a->exportColumn < b->exportColumn; });
        return out;
    }();
    return fields;
}

/// Rows of unknown families age like the others.
bool AgesOut(std::int32_t family) {
    const TFamilyRow* row = FindFamily(family);
    return row == nullptr || row->agesOut;
}

/// Rows of a standard discovery protocol (their findings may ride on another family's row).
bool IsStandard(std::int32_t family) {
    const TFamilyRow* row = FindFamily(family);
    return row != nullptr && row->standard;
}

/// A row of standard protocols only shows what the first protocol that found it says; the name
/// follows the protocols' order of preference.
void ComposeStandardRow(TDevInfo& record) {
    const TStandardsInfo& info = record.standards.Get();
    record.family = StandardsFamily(info);
    const std::string name = StandardsName(info);
    if (!name.empty())
        record.name = name;
}

int Sign(int v) {
    return (v > 0) - (v < 0);
}

} // namespace

struct TDeviceList::TNode {
    TRow row;
    std::vector<std::int32_t> ipKey; ///< TTools_Net::IpSortKey(row.text2), kept for sorting

    void Fill(const TDevInfo& record) {
        row.record = record;
        row.record.age = kFreshAge;
        row.caption = FamilyLetters(record.family);
        row.text1 = record.name;
        row.text2 = record.ip;
        row.text3 = std::to_string(record.httpPort);
        ipKey = TTools_Net::IpSortKey(record.ip);
    }
};

struct TDeviceList::TImpl {
    /// Display order. During the age pass a gap of `gapSize` slots (already released rows) may
    /// stand at display position `gapAt`; everywhere else the gap is empty.
    std::vector<std::unique_ptr<TNode>> rows;
    std::size_t gapAt = 0;
    std::size_t gapSize = 0;
    std::unordered_map<std::string, TNode*> byMac;
    /// The rows by the hardware address their mac names (12 hex digits), for the standard
    /// protocols' findings, which come with the MAC written their own way.
    std::unordered_map<std::string, TNode*> byHardware;
    int sortColumn = 2;
    bool descending = false;
    QString headers[kColumnCount] = {QStringLiteral("Mode"), QStringLiteral("Name"),
                                     QStringLiteral("IP")};

    std::size_t Count() const { return rows.size() - gapSize; }

    void Index(TNode* node) {
        byMac.emplace(node->row.record.mac, node);
        const std::string hardware = NormalisedMac(node->row.record.mac);
        if (!hardware.empty())
            byHardware.emplace(hardware, node);
    }

    void Unindex(const TNode* node) {
        const std::string& mac = node->row.record.mac;
        if (const auto found = byMac.find(mac); found != byMac.end() && found->second == node)
            byMac.erase(found);
        const std::string hardware = NormalisedMac(mac);
        if (const auto found = byHardware.find(hardware);
            found != byHardware.end() && found->second == node)
            byHardware.erase(found);
    }

    /// The row a record belongs to: the one with its exact mac, else, for the standard
    /// protocols' findings and for a device so far found only by them, the row of the same
    /// hardware address.
    TNode* RowFor(const TDevInfo& record, bool standard) const {
        if (const auto found = byMac.find(record.mac); found != byMac.end())
            return found->second;
        const std::string hardware = NormalisedMac(record.mac);
        if (hardware.empty())
            return nullptr;
        const auto found = byHardware.find(hardware);
        if (found == byHardware.end())
            return nullptr;
        return standard || IsStandard(found->second->row.record.family) ? found->second : nullptr;
    }

    TNode* At(std::size_t displayRow) const {
        return rows[displayRow < gapAt ? displayRow : displayRow + gapSize].get();
    }

    /// The sort comparison made total by the MAC (unique in the list), so that every row has
    /// exactly one place; descending is the exact reverse of ascending.
    int Compare(const TNode& a, const TNode& b) const {
        int c = 0;
        switch (sortColumn) {
        case 0:
            c = CompareText(a.row.caption, b.row.caption);
            break;
        case 1:
            c = CompareText(a.row.text1, b.row.text1);
            break;
        default:
            c = TTools_Net::CompareIpSortKeys(a.ipKey, b.ipKey);
            break;
        }
        c = Sign(c);
        if (c == 0)
            c = Sign(a.row.record.mac.compare(b.row.record.mac));
        return descending ? -c : c;
    }

    bool Less(const TNode& a, const TNode& b) const { return Compare(a, b) < 0; }

    /// Where `node` stands or would stand among the display rows [first, last).
    std::size_t LowerBound(const TNode& node, std::size_t first, std::size_t last) const {
        while (first < last) {
            const std::size_t middle = first + (last - first) / 2;
            if (Less(*At(middle), node))
                first = middle + 1;
            else
                last = middle;
        }
        return first;
    }

    /// Display row of a node that is in the list. The rows are always in order when anyone
    /// outside can ask; the walk is only a safety net.
    std::size_t PositionOf(const TNode& node) const {
        const std::size_t n = Count();
        const std::size_t at = LowerBound(node, 0, n);
        if (at < n && At(at) == &node)
            return at;
        for (std::size_t i = 0; i < n; ++i) {
            if (At(i) == &node)
                return i;
        }
        return n;
    }

    /// A full sort. Each row's sort key is first packed into a few integers beside its pointer
    /// so that most comparisons need not visit the row; rows whose packed keys are equal are
    /// compared in full.
    void SortRows() {
        struct TItem {
            std::array<std::uint64_t, 4> key;
            TNode* node;
        };
        std::vector<TItem> items(rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const TNode& node = *rows[i];
            auto& key = items[i].key;
            key = {};
            if (sortColumn == 2) {
                // Part i as 1 + value + 2^31 (0 for a missing part): lexicographic order of the
                // first four parts, a shorter address first.
                for (std::size_t p = 0; p < 4 && p < node.ipKey.size(); ++p)
                    key[p] = static_cast<std::uint64_t>(std::int64_t{node.ipKey[p]} +
                                                        (std::int64_t{1} << 31) + 1);
            } else {
                // The first 16 bytes, letters folded, big-endian; 0 pads a shorter text.
                const std::string& text = sortColumn == 0 ? node.row.caption : node.row.text1;
                for (std::size_t b = 0; b < 16 && b < text.size(); ++b) {
                    auto c = static_cast<unsigned char>(text[b]);
                    if (c >= 'a' && c <= 'z')
                        c = static_cast<unsigned char>(c - 'a' + 'A');
                    key[b / 8] |= std::uint64_t{c} << (8 * (7 - b % 8));
                }
            }
        }
        for (std::size_t i = 0; i < rows.size(); ++i)
            items[i].node = rows[i].release();
        std::sort(items.begin(), items.end(), [this](const TItem& a, const TItem& b) {
            if (a.key != b.key)
                return descending ? b.key < a.key : a.key < b.key;
            return Less(*a.node, *b.node);
        });
        for (std::size_t i = 0; i < rows.size(); ++i)
            rows[i].reset(items[i].node);
    }

    /// Gives the age pass's released slots back, so that the rows are one plain sequence again.
    /// Changes nothing a view can see.
    void CloseGap() {
        if (gapSize == 0)
            return;
        const auto gap = rows.begin() + static_cast<std::ptrdiff_t>(gapAt);
        std::move(gap + static_cast<std::ptrdiff_t>(gapSize), rows.end(), gap);
        rows.resize(rows.size() - gapSize);
        gapAt = 0;
        gapSize = 0;
    }

    /// Counts changes of the row sequence, so that the age pass notices a change made by a
    /// slot connected to its removal signals.
    std::uint64_t changes = 0;
    /// Called first by everything that changes the row sequence.
    void BeginChange() {
        CloseGap();
        ++changes;
    }
};

TDeviceList::TDeviceList(QObject* parent) : QAbstractTableModel(parent), impl_(new TImpl) {}

TDeviceList::~TDeviceList() {
    delete impl_;
}

int TDeviceList::ListViewCompare(const TRow& a, const TRow& b, int column, bool descending) {
    int c = 0;
    switch (column) {
    case 0:
        c = CompareText(a.caption, b.caption);
        break;
    case 1:
        c = CompareText(a.text1, b.text1);
        break;
    default:
        c = TTools_Net::CompareIpOrder(a.text2, b.text2);
        break;
    }
    c = Sign(c);
    return descending ? -c : c;
}

bool TDeviceList::MergeDevice(const TDevInfo& record) {
    if (record.family == kFamilyNone)
        return false;
    TImpl& d = *impl_;
    const bool standard = IsStandard(record.family);
    if (TNode* node = d.RowFor(record, standard)) {
        const TDevInfo& current = node->row.record;
        if (!standard && record.mac == current.mac && record.standards == current.standards) {
            // The usual case, a proprietary reply for its own row: no copy needed.
            if (!ComparedFieldsDiffer(current, record)) {
                node->row.record.age = kFreshAge;
                return false;
            }
            ReplaceRecord(node, record);
            return false;
        }
        TDevInfo merged;
        if (standard && !IsStandard(current.family)) {
            // The device's own family keeps its row; what the protocol said rides along.
            merged = current;
            MergeStandards(merged.standards.Edit(), record.standards.Get());
        } else if (standard) {
            merged = record;
            merged.mac = current.mac;
            TStandardsInfo info = current.standards.Get();
            MergeStandards(info, record.standards.Get());
            merged.standards = TStandardsRef(std::move(info));
            ComposeStandardRow(merged);
            // Address, port and version come from the protocol the row shows, so that two
            // protocols answering in turn do not make the row flicker.
            if (merged.family != record.family) {
                merged.ip = current.ip;
                merged.httpPort = current.httpPort;
                merged.version = current.version;
            }
            // The discovery protocols carry no network settings: those read from the device
            // itself (its mask is set then), and the name that came with them, stay until the
            // row goes.
            if (record.mask.empty() && !current.mask.empty()) {
                merged.name = current.name;
                merged.httpPort = current.httpPort;
                merged.ipMode = current.ipMode;
                merged.mask = current.mask;
                merged.gateway = current.gateway;
                merged.dnsAuto = current.dnsAuto;
                merged.dns1 = current.dns1;
                merged.dns2 = current.dns2;
                if (record.version.empty())
                    merged.version = current.version;
            }
        } else {
            // A proprietary reply: the device's findings by the standard protocols stay.
            merged = record;
            merged.standards = current.standards;
        }
        if (merged.mac == current.mac && merged.standards == current.standards &&
            !ComparedFieldsDiffer(current, merged)) {
            node->row.record.age = kFreshAge;
            return false;
        }
        ReplaceRecord(node, merged);
        return false;
    }
    d.BeginChange();
    auto node = std::make_unique<TNode>();
    node->Fill(record);
    const auto row = d.LowerBound(*node, 0, d.rows.size());
    beginInsertRows(QModelIndex(), static_cast<int>(row), static_cast<int>(row));
    d.Index(node.get());
    d.rows.insert(d.rows.begin() + static_cast<std::ptrdiff_t>(row), std::move(node));
    endInsertRows();
    Q_EMIT CountChanged();
    return true;
}

void TDeviceList::ReplaceRecord(TNode* node, const TDevInfo& record) {
    TImpl& d = *impl_;
    d.BeginChange();
    const auto oldRow = static_cast<int>(d.PositionOf(*node));
    d.Unindex(node);
    node->Fill(record);
    d.Index(node);
    // The row is moved before anyone hears of the change, so every slot sees the rows in
    // order; nothing here touches `node` after a signal (a slot might delete the row).
    const int newRow = PlaceChangedRow(node, oldRow);
    Q_EMIT dataChanged(index(newRow, 0), index(newRow, columnCount() - 1));
    Q_EMIT RecordReplaced(
        QString::fromLatin1(record.mac.data(), static_cast<qsizetype>(record.mac.size())));
}

bool TDeviceList::RemoveStandard(const std::string& key, std::int32_t family) {
    TImpl& d = *impl_;
    TDevInfo probe;
    probe.mac = key;
    TNode* node = d.RowFor(probe, true);
    if (node == nullptr)
        return false;
    const TDevInfo& current = node->row.record;
    TStandardsInfo info = current.standards.Get();
    if (!DropStandard(info, family))
        return false;
    if (IsStandard(current.family) && info.Empty()) {
        DeleteRow(static_cast<int>(d.PositionOf(*node)));
        return true;
    }
    TDevInfo merged = current;
    merged.standards = info.Empty() ? TStandardsRef() : TStandardsRef(std::move(info));
    if (IsStandard(current.family))
        ComposeStandardRow(merged);
    ReplaceRecord(node, merged);
    return true;
}

int TDeviceList::PlaceChangedRow(TNode* node, int oldRow) {
    TImpl& d = *impl_;
    const auto from = static_cast<std::size_t>(oldRow);
    // The new place among the other rows, which are still in order.
    std::size_t to = from;
    if (from > 0 && d.Less(*node, *d.rows[from - 1]))
        to = d.LowerBound(*node, 0, from);
    else if (from + 1 < d.rows.size() && d.Less(*d.rows[from + 1], *node))
        to = d.LowerBound(*node, from + 1, d.rows.size()) - 1;
    if (to == from)
        return oldRow;
    const auto destination = static_cast<int>(to > from ? to + 1 : to);
    beginMoveRows(QModelIndex(), oldRow, oldRow, QModelIndex(), destination);
    const auto first = d.rows.begin();
    if (to > from)
        std::rotate(first + static_cast<std::ptrdiff_t>(from),
                    first + static_cast<std::ptrdiff_t>(from + 1),
                    first + static_cast<std::ptrdiff_t>(to + 1));
    else
        std::rotate(first + static_cast<std::ptrdiff_t>(to),
                    first + static_cast<std::ptrdiff_t>(from),
                    first + static_cast<std::ptrdiff_t>(from + 1));
    endMoveRows();
    return static_cast<int>(to);
}

const TDevInfo* TDeviceList::FindRowByMac(const std::string& mac) const {
    const auto found = impl_->byMac.find(mac);
    return found == impl_->byMac.end() ? nullptr : &found->second->row.record;
}

int TDeviceList::RowOfMac(const std::string& mac) const {
    const auto found = impl_->byMac.find(mac);
    if (found == impl_->byMac.end())
        return -1;
    return static_cast<int>(impl_->PositionOf(*found->second));
}

void TDeviceList::ClearDeviceList() {
    TImpl& d = *impl_;
    if (d.Count() == 0)
        return;
    d.BeginChange();
    beginRemoveRows(QModelIndex(), 0, static_cast<int>(d.rows.size()) - 1);
    d.byMac.clear();
    d.byHardware.clear();
    d.rows.clear();
    endRemoveRows();
    Q_EMIT CountChanged();
}

void TDeviceList::DeleteRow(int displayRow) {
    TImpl& d = *impl_;
    if (displayRow < 0 || static_cast<std::size_t>(displayRow) >= d.Count())
        return;
    d.BeginChange();
    beginRemoveRows(QModelIndex(), displayRow, displayRow);
    const auto it = d.rows.begin() + displayRow;
    d.Unindex(it->get());
    d.rows.erase(it);
    endRemoveRows();
    Q_EMIT CountChanged();
}

void TDeviceList::AgePass() {
    TImpl& d = *impl_;
    d.BeginChange();
    const auto expired = [](const TNode& node) {
        return AgesOut(node.row.record.family) && node.row.record.age <= 0;
    };
    bool anyExpired = false;
    for (const auto& node : d.rows) {
        if (!AgesOut(node->row.record.family))
            continue;
        if (--node->row.record.age <= 0)
            anyExpired = true;
    }
    if (!anyExpired)
        return;
    // Each run of expired rows leaves with one removal; the rows between runs are moved down
    // once, so the pass stays linear however the expired rows are spread. Between two runs the
    // released slots form the gap that At() skips, so views always see a consistent list.
    bool restart = true;
    while (restart) {
        restart = false;
        const std::size_t n = d.rows.size();
        std::size_t write = 0;
        std::size_t read = 0;
        for (std::size_t i = 0; i < n;) {
            if (!expired(*d.rows[i])) {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < n && expired(*d.rows[end]))
                ++end;
            if (write != read)
                std::move(d.rows.begin() + static_cast<std::ptrdiff_t>(read),
                          d.rows.begin() + static_cast<std::ptrdiff_t>(i),
                          d.rows.begin() + static_cast<std::ptrdiff_t>(write));
            write += i - read;
            read = i;
            d.gapAt = write;
            d.gapSize = read - write;
            beginRemoveRows(QModelIndex(), static_cast<int>(write),
                            static_cast<int>(write + (end - i) - 1));
            for (std::size_t k = i; k < end; ++k) {
                d.Unindex(d.rows[k].get());
                d.rows[k].reset();
            }
            read = end;
            d.gapSize = read - write;
            const auto changesBefore = d.changes;
            endRemoveRows();
            if (d.changes != changesBefore) {
                // A slot changed the list (closing the gap first); the rows that are still
                // expired go in another walk.
                restart = true;
                break;
            }
            i = end;
        }
        if (!restart) {
            d.gapAt = write;
            d.gapSize = read - write;
            d.CloseGap();
        }
    }
    Q_EMIT CountChanged();
}

int TDeviceList::RowCount() const {
    return static_cast<int>(impl_->Count());
}

const TDeviceList::TRow& TDeviceList::Row(int displayRow) const {
    static const TRow kNoRow;
    if (displayRow < 0 || static_cast<std::size_t>(displayRow) >= impl_->Count())
        return kNoRow;
    return impl_->At(static_cast<std::size_t>(displayRow))->row;
}

int TDeviceList::SortColumn() const {
    return impl_->sortColumn;
}

bool TDeviceList::SortDescending() const {
    return impl_->descending;
}

void TDeviceList::ColumnClick(int column) {
    if (column < 0 || column >= kColumnCount)
        return;
    const bool sameColumn = column == impl_->sortColumn;
    if (sameColumn) {
        impl_->descending = !impl_->descending;
    } else {
        impl_->sortColumn = column;
        impl_->descending = false;
    }
    SortAll(sameColumn);
}

void TDeviceList::SortAll(bool directionOnly) {
    TImpl& d = *impl_;
    d.BeginChange();
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<const TNode*> persistentNodes;
    persistentNodes.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& i : before)
        persistentNodes.push_back(d.rows[static_cast<std::size_t>(i.row())].get());
    if (directionOnly)
        std::reverse(d.rows.begin(), d.rows.end()); // the order is total: exact reverses
    else
        d.SortRows();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k)
        after.push_back(
            index(static_cast<int>(d.PositionOf(*persistentNodes[static_cast<std::size_t>(k)])),
                  before[k].column()));
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TDeviceList::SetHeaderCaption(int column, const QString& caption) {
    if (column < 0 || column >= kColumnCount)
        return;
    impl_->headers[column] = caption;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

bool TDeviceList::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                int role) {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    SetHeaderCaption(section, value.toString());
    return true;
}

QString TDeviceList::CountText() const {
    return GetStrRes("IDS_DEVCOUNT") + QString::number(RowCount());
}

std::string TDeviceList::ExportText() const {
    std::string text;
    const std::size_t n = impl_->Count();
    for (std::size_t i = 0; i < n; ++i) {
        const TRow& row = impl_->At(i)->row;
        text += std::to_string(i + 1);
        text += '\t';
        text += row.caption;
        for (const TDevInfoField* field : ExportedFields()) {
            text += '\t';
            const std::string value = FieldText(row.record, *field);
            text +=
                field->member == TDevInfoField::TMember(&TDevInfo::mac) ? ExportMac(value) : value;
        }
        text += "\r\n";
    }
    return text;
}

bool TDeviceList::ExportToFile(const QString& path, QString* error) const {
    return WriteFileAtomically(path, ExportText(), error);
}

int TDeviceList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int TDeviceList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : optionalColumns_ ? kAllColumnCount : kColumnCount;
}

void TDeviceList::ShowOptionalColumns() {
    if (optionalColumns_)
        return;
    beginInsertColumns(QModelIndex(), kColumnCount, kAllColumnCount - 1);
    optionalColumns_ = true;
    endInsertColumns();
}

void TDeviceList::SetAdapterNamer(std::function<QString(int index)> namer) {
    adapterName_ = std::move(namer);
}

QString TDeviceList::OptionalText(const TDevInfo& record, int column) const {
    const TStandardsInfo& standards = record.standards.Get();
    switch (column) {
    case kColMac:
        return DecodeDeviceText(record.mac);
    case kColVersion:
        return DecodeDeviceText(record.version);
    case kColHttpPort:
        return record.httpPort == 0 ? QString() : QString::number(record.httpPort);
    case kColAdapter:
        if (record.seenOnInterface <= 0)
            return {};
        return adapterName_ ? adapterName_(record.seenOnInterface)
                            : QString::number(record.seenOnInterface);
    case kColModel:
        if (standards.upnp && !standards.upnp->modelName.empty())
            return QString::fromStdString(standards.upnp->modelName);
        if (standards.onvif && !standards.onvif->hardware.empty())
            return QString::fromStdString(standards.onvif->hardware);
        return {};
    case kColSeenVia: {
        QStringList via;
        if (!IsStandard(record.family))
            via << QString::fromStdString(FamilyLetters(record.family));
        if (standards.onvif)
            via << QStringLiteral("ONVIF");
        if (standards.upnp)
            via << QStringLiteral("UPnP");
        if (standards.mdns)
            via << QStringLiteral("mDNS");
        return via.join(QStringLiteral(", "));
    }
    default:
        return {};
    }
}

QVariant TDeviceList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.parent().isValid() || index.row() < 0 ||
        static_cast<std::size_t>(index.row()) >= impl_->Count() || index.column() < 0 ||
        index.column() >= columnCount())
        return {};
    const TRow& row = impl_->At(static_cast<std::size_t>(index.row()))->row;
    if (role == Qt::DisplayRole && index.column() >= kColumnCount)
        return OptionalText(row.record, index.column());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case 0:
            return DecodeDeviceText(row.caption);
        case 1:
            return DecodeDeviceText(row.text1);
        default:
            return DecodeDeviceText(row.text2);
        }
    }
    if (role == kMacRole)
        return QString::fromLatin1(row.record.mac.data(),
                                   static_cast<qsizetype>(row.record.mac.size()));
    return {};
}

QVariant TDeviceList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    static const char* const kOptionalKeys[] = {"IDS_COL_MAC",      "IDS_COL_VERSION",
                                                "IDS_COL_HTTPPORT", "IDS_COL_ADAPTER",
                                                "IDS_COL_MODEL",    "IDS_COL_SEENVIA"};
    if (section >= kColumnCount)
        return GetStrRes(kOptionalKeys[section - kColumnCount]);
    return impl_->headers[section];
}

} // namespace zadari
