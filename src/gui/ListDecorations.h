#pragma once
// The device list's view beyond its three columns: a warning sign with a tooltip on the address
// of a device that shares its address with another or lies outside its adapter's subnet, and
// the header's context menu that shows the optional columns.
#include <QStyledItemDelegate>

class QTreeView;

namespace zadari {

class TDeviceList;
class TListMarks;

class TListMarksDelegate : public QStyledItemDelegate {
public:
    TListMarksDelegate(const TListMarks& marks, QObject* parent);
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    const TListMarks& marks_;
};

/// Gives `view` (which shows `list`) the marks and the optional columns' menu; returns the
/// marks, owned by the view.
TListMarks* DecorateDeviceList(QTreeView* view, TDeviceList& list);

} // namespace zadari
