#pragma once
// The list of found devices: merging, ageing, sorting and export. It holds no widget; views see
// it as a three-column item model (Mode, Name, IP) in display order.
#include "protocols/DevInfo.h"

#include <QAbstractTableModel>
#include <QString>

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

    explicit TDeviceList(QObject* parent = nullptr);
    ~TDeviceList() override;

    /// Adds or refreshes the device's row; true only when a row was added.
    bool MergeDevice(const TDevInfo& record);
    /// The record of the first row in display order whose mac equals `mac` exactly.
    const TDevInfo* FindRowByMac(const std::string& mac) const;
    /// Display row of the device with this exact mac, or -1.
    int RowOfMac(const std::string& mac) const;
    void ClearDeviceList();
    void DeleteRow(int displayRow);
    /// Once per timer tick: every row but family 4 ages by one; rows reaching 0 go.
    void AgePass();

    int RowCount() const;
    const TRow& Row(int displayRow) const;

    int SortColumn() const;
    bool SortDescending() const;
    /// Header click: same column flips the direction, another column sorts ascending by it.
    void ColumnClick(int column);

    /// IDS_DEVCOUNT followed by the number of rows.
    QString CountText() const;
    /// The export file's bytes: one TAB-separated line per row in display order, CR LF ended.
    std::string ExportText() const;
    /// Writes ExportText() to `path` (replacing it). On failure returns false with the
    /// platform's error text in `error` and leaves no partial file.
    bool ExportToFile(const QString& path, QString* error) const;

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    /// The number of rows changed (the count label shows CountText()).
    void CountChanged();
    /// The record of this device's row was replaced by a reply that differed.
    void RecordReplaced(const QString& mac);

private:
    struct TImpl;
    TImpl* impl_;
};

} // namespace zadari
