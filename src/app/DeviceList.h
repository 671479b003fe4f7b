#pragma once
// The list of found devices: merging, ageing, sorting and export. It holds no widget; views see
// it as a three-column item model (Mode, Name, IP) in display order.
//
// The rows are kept sorted at all times: a MAC index finds a device's row without a walk, an
// added or changed row goes straight to its sorted place, and views are told exactly which rows
// were inserted, changed, moved or removed. Rows that compare equal in the sort column are kept
// in the order of their MAC, so every row has one defined place.
#include "protocols/DevInfo.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

namespace zadari {

class TDeviceList : public QAbstractTableModel {
    Q_OBJECT
public:
    /// One row: the texts the list keeps and the row's own copy of the record.
    struct TRow {
        std::string caption; ///< FamilyLetters(record.family), column 0
        std::string text1;   ///< record.name, column 1
        std::string text2;   ///< record.ip, column 2
        std::string text3;   ///< record.httpPort in decimal, kept but not shown
        TDevInfo record;
    };

    /// Role of data() that gives a row's mac (its bytes as Latin-1, so toLatin1() returns them).
    static constexpr int kMacRole = Qt::UserRole + 1;
    static constexpr int kColumnCount = 3;
    /// The optional columns, present only after ShowOptionalColumns().
    enum TOptionalColumn {
        kColMac = kColumnCount,
        kColVersion,
        kColHttpPort,
        kColAdapter,
        kColModel,
        kColSeenVia,
        kAllColumnCount
    };
    /// A row's age after every reply of its device; each tick takes one off and the row goes at
    /// 0. A row whose age is below kFreshAge - 1 had no reply for a whole cycle.
    static constexpr std::int32_t kFreshAge = 10;

    explicit TDeviceList(QObject* parent = nullptr);
    ~TDeviceList() override;

    /// Adds or refreshes the device's row; true only when a row was added. A record of a standard
    /// discovery protocol (see TFamilyRow::standard) is attached to the row of the same hardware
    /// address when another family found the device; a row found only by standard protocols
    /// collects what each said and is taken over by a proprietary family's record of the same
    /// hardware address, which keeps those findings.
    bool MergeDevice(const TDevInfo& record);
    /// The device whose mac (or hardware address) is `key` announced that the protocol of the
    /// standard family `family` leaves: its findings go, and with them a row that only standard
    /// protocols found when nothing else is left. True when anything changed.
    bool RemoveStandard(const std::string& key, std::int32_t family);
    /// The record of the first row in display order whose mac equals `mac` exactly.
    const TDevInfo* FindRowByMac(const std::string& mac) const;
    /// Display row of the device with this exact mac, or -1.
    int RowOfMac(const std::string& mac) const;
    void ClearDeviceList();
    void DeleteRow(int displayRow);
    /// Once per timer tick: every row but family 4 ages by one; rows reaching 0 go.
    /// Slots connected to the removal signals may read the list and may change it.
    void AgePass();

    int RowCount() const;
    /// The row at this display position (an empty row for a position out of range).
    const TRow& Row(int displayRow) const;

    int SortColumn() const;
    bool SortDescending() const;
    /// Header click: same column flips the direction, another column sorts ascending by it.
    /// Columns outside 0..2 are ignored.
    void ColumnClick(int column);
    /// The row comparison of the sort: CompareText of the captions (column 0) or of the names
    /// (column 1), the IP order of TTools_Net::CompareIpOrder (column 2); negated when
    /// descending. A strict weak order for any texts.
    static int ListViewCompare(const TRow& a, const TRow& b, int column, bool descending);

    /// The caption of a column header (English "Mode", "Name", "IP" until set).
    void SetHeaderCaption(int column, const QString& caption);

    /// Adds the optional columns (MAC, version, HTTP port, adapter, model, "seen via") after
    /// the three; until then the list has its three columns only.
    void ShowOptionalColumns();
    bool OptionalColumnsShown() const { return optionalColumns_; }
    /// What the adapter column shows for a kernel interface index (its name by default).
    void SetAdapterNamer(std::function<QString(int index)> namer);

    /// IDS_DEVCOUNT followed by the number of rows.
    QString CountText() const;
    /// The export file's bytes: one TAB-separated line per row in display order, CR LF ended.
    std::string ExportText() const;
    /// Writes ExportText() to `path` (replacing it). On failure returns false with the
    /// platform's error text in `error` and leaves no partial file beside it. An existing
    /// writable file in a folder that takes no new files is written in place.
    bool ExportToFile(const QString& path, QString* error) const;

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    /// Lets views and the window translation set the column captions.
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

Q_SIGNALS:
    /// The number of rows changed (the count label shows CountText()).
    void CountChanged();
    /// The record of this device's row was replaced by a reply that differed. `mac` holds the
    /// record's mac bytes as Latin-1 (toLatin1() gives them back).
    void RecordReplaced(const QString& mac);

private:
    struct TNode;
    struct TImpl;
    TImpl* impl_;
    bool optionalColumns_ = false;
    std::function<QString(int index)> adapterName_;
    QString OptionalText(const TDevInfo& record, int column) const;

    int PlaceChangedRow(TNode* node, int oldRow);
    void ReplaceRecord(TNode* node, const TDevInfo& record);
    void SortAll(bool directionOnly);
};

} // namespace zadari
