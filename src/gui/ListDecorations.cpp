#include "gui/ListDecorations.h"

#include "app/DeviceList.h"
#include "app/ListMarks.h"
#include "net/NetInterfaces.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QStyle>
#include <QToolTip>
#include <QTreeView>

namespace zadari {
namespace {

constexpr int kIpColumn = 2;

std::string MacOf(const QModelIndex& index) {
    return index.data(TDeviceList::kMacRole).toString().toLatin1().toStdString();
}

void ShowColumnsMenu(QTreeView* view, TDeviceList& list, const QPoint& at) {
    QHeaderView* header = view->header();
    QMenu menu(view);
    for (int column = TDeviceList::kColumnCount; column < TDeviceList::kAllColumnCount; ++column) {
        QAction* action = menu.addAction(list.headerData(column, Qt::Horizontal).toString());
        action->setCheckable(true);
        action->setChecked(list.OptionalColumnsShown() && !header->isSectionHidden(column));
        QObject::connect(action, &QAction::toggled, view, [view, &list, column](bool on) {
            QHeaderView* h = view->header();
            if (!list.OptionalColumnsShown()) {
                list.ShowOptionalColumns();
                for (int c = TDeviceList::kColumnCount; c < TDeviceList::kAllColumnCount; ++c)
                    h->setSectionHidden(c, true);
            }
            h->setSectionHidden(column, !on);
            if (on)
                view->resizeColumnToContents(column);
        });
    }
    menu.exec(header->mapToGlobal(at));
}

} // namespace

TListMarksDelegate::TListMarksDelegate(const TListMarks& marks, QObject* parent)
    : QStyledItemDelegate(parent), marks_(marks) {}

void TListMarksDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() != kIpColumn || !marks_.MarksOf(MacOf(index)).Any())
        return;
    const QStyle* style = option->widget ? option->widget->style() : QApplication::style();
    option->features |= QStyleOptionViewItem::HasDecoration;
    option->icon = style->standardIcon(QStyle::SP_MessageBoxWarning);
    const int size = option->fontMetrics.height();
    option->decorationSize = QSize(size, size);
}

bool TListMarksDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::ToolTip && index.column() == kIpColumn) {
        const QString tip = marks_.TooltipOf(MacOf(index));
        if (!tip.isEmpty()) {
            QToolTip::showText(event->globalPos(), tip, view);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

TListMarks* DecorateDeviceList(QTreeView* view, TDeviceList& list) {
    auto* marks = new TListMarks(list, {}, view);
    view->setItemDelegate(new TListMarksDelegate(*marks, view));
    // A sign widens the address column: the sections that fit their contents are fitted again.
    QObject::connect(marks, &TListMarks::Changed, view, [view] {
        QMetaObject::invokeMethod(view->header(), "resizeSections");
        view->viewport()->update();
    });
    list.SetAdapterNamer(&InterfaceName);
    QHeaderView* header = view->header();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(header, &QHeaderView::customContextMenuRequested, view,
                     [view, &list](const QPoint& at) { ShowColumnsMenu(view, list, at); });
    return marks;
}

} // namespace zadari
