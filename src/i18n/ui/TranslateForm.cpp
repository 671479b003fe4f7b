#include "i18n/ui/TranslateForm.h"

#include "i18n/Language.h"
#include "i18n/TranslationReader.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <string>
#include <vector>

namespace zadari {

namespace {

// Reads the keys of one window section; every read falls back to the property's current text.
class TFormReader {
public:
    TFormReader(const TLangFile& file, std::string section)
        : m_file(file), m_section(std::move(section)) {}

    QString Read(const std::string& key, const QString& current) const {
        return ReadLangValue(m_file, m_section, key, current);
    }

private:
    const TLangFile& m_file;
    std::string m_section;
};

std::string KeyOf(const QObject* o, const char* property) {
    return o->objectName().toStdString() + "." + property;
}

std::string IndexedKey(const QObject* o, const char* collection, int i, const char* property) {
    return o->objectName().toStdString() + "." + collection + std::to_string(i) + "." + property;
}

void ApplyFont(QWidget* w) {
    QFont font = w->font();
    ApplyLanguageFont(CurrentLanguage(), font);
    w->setFont(font);
}

// Calls the setter only when the text changes, so an unchanged text does not disturb the
// control (selection, cursor, a picture shown by a label).
template <class Get, class Set>
void Translate(const TFormReader& reader, const std::string& key, Get get, Set set) {
    const QString current = get();
    QString text = reader.Read(key, current);
    // Widgets break lines at LF; the CR of the files' CR LF would show as a stray glyph.
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (text != current)
        set(text);
}

void TranslateCaption(const TFormReader& r, QLabel* l) {
    Translate(
        r, KeyOf(l, "Caption"), [l] { return l->text(); },
        [l](const QString& t) { l->setText(t); });
}

void TranslateButton(const TFormReader& r, QAbstractButton* b, bool hint) {
    Translate(
        r, KeyOf(b, "Caption"), [b] { return b->text(); },
        [b](const QString& t) { b->setText(t); });
    if (hint) {
        Translate(
            r, KeyOf(b, "Hint"), [b] { return b->toolTip(); },
            [b](const QString& t) { b->setToolTip(t); });
    }
}

void TranslateHint(const TFormReader& r, QWidget* w) {
    Translate(
        r, KeyOf(w, "Hint"), [w] { return w->toolTip(); },
        [w](const QString& t) { w->setToolTip(t); });
}

void TranslateColumns(const TFormReader& r, QObject* o, QAbstractItemModel* model) {
    if (model == nullptr)
        return;
    for (int i = 0; i < model->columnCount(); ++i) {
        Translate(
            r, IndexedKey(o, "Columns", i, "Caption"),
            [&] { return model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(); },
            [&](const QString& t) { model->setHeaderData(i, Qt::Horizontal, t, Qt::DisplayRole); });
    }
}

void TranslateTreeNodes(const TFormReader& r, QTreeWidget* tree) {
    int index = 0;
    std::vector<QTreeWidgetItem*> stack;
    for (int i = tree->topLevelItemCount() - 1; i >= 0; --i)
        stack.push_back(tree->topLevelItem(i));
    while (!stack.empty()) {
        QTreeWidgetItem* item = stack.back();
        stack.pop_back();
        Translate(
            r, IndexedKey(tree, "Items", index++, "Text"), [item] { return item->text(0); },
            [item](const QString& t) { item->setText(0, t); });
        for (int c = item->childCount() - 1; c >= 0; --c)
            stack.push_back(item->child(c));
    }
}

QTabWidget* TabWidgetOfPage(QWidget* w) {
    QWidget* stack = w->parentWidget();
    if (qobject_cast<QStackedWidget*>(stack) == nullptr)
        return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    return (tabs != nullptr && tabs->indexOf(w) >= 0) ? tabs : nullptr;
}

bool ShowsPicture(const QLabel* l) {
    return !l->pixmap().isNull() || l->movie() != nullptr;
}

// One component, by the first kind it belongs to.
void TranslateComponent(const TFormReader& r, QObject* o) {
    if (auto* action = qobject_cast<QAction*>(o)) {
        Translate(
            r, KeyOf(o, "Caption"), [action] { return action->text(); },
            [action](const QString& t) { action->setText(t); });
        return;
    }
    if (auto* group = qobject_cast<QButtonGroup*>(o)) {
        const QList<QAbstractButton*> buttons = group->buttons();
        for (int i = 0; i < buttons.size(); ++i) {
            QAbstractButton* b = buttons[i];
            ApplyFont(b);
            Translate(
                r, IndexedKey(o, "Items", i, "Caption"), [b] { return b->text(); },
                [b](const QString& t) { b->setText(t); });
        }
        return;
    }
    auto* w = qobject_cast<QWidget*>(o);
    if (w == nullptr)
        return;

    if (QTabWidget* tabs = TabWidgetOfPage(w)) {
        ApplyFont(w);
        const int index = tabs->indexOf(w);
        Translate(
            r, KeyOf(o, "Caption"), [tabs, index] { return tabs->tabText(index); },
            [tabs, index](const QString& t) { tabs->setTabText(index, t); });
    } else if (qobject_cast<QStatusBar*>(w) != nullptr || qobject_cast<QToolBar*>(w) != nullptr ||
               w->metaObject() == &QFrame::staticMetaObject) {
        ApplyFont(w);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        if (ShowsPicture(label)) {
            TranslateHint(r, label);
        } else {
            ApplyFont(label);
            TranslateCaption(r, label);
        }
    } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
        ApplyFont(check);
        TranslateButton(r, check, false);
    } else if (auto* tool = qobject_cast<QToolButton*>(w)) {
        const bool onToolBar = qobject_cast<QToolBar*>(tool->parentWidget()) != nullptr;
        if (!onToolBar)
            ApplyFont(tool); // a speed button
        TranslateButton(r, tool, true);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        // Push buttons, radio buttons and any other (flat) button.
        ApplyFont(button);
        TranslateButton(r, button, true);
    } else if (auto* menu = qobject_cast<QMenu*>(w)) {
        Translate(
            r, KeyOf(o, "Caption"), [menu] { return menu->title(); },
            [menu](const QString& t) { menu->setTitle(t); });
    } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
        ApplyFont(box);
        Translate(
            r, KeyOf(o, "Caption"), [box] { return box->title(); },
            [box](const QString& t) { box->setTitle(t); });
    } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        ApplyFont(list);
        for (int i = 0; i < list->count(); ++i) {
            QListWidgetItem* item = list->item(i);
            Translate(
                r, IndexedKey(o, "Items", i, "Caption"), [item] { return item->text(); },
                [item](const QString& t) { item->setText(t); });
        }
    } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        ApplyFont(combo);
        for (int i = 0; i < combo->count(); ++i) {
            Translate(
                r, IndexedKey(o, "Items", i, "Caption"), [combo, i] { return combo->itemText(i); },
                [combo, i](const QString& t) { combo->setItemText(i, t); });
        }
    } else if (auto* treeWidget = qobject_cast<QTreeWidget*>(w);
               treeWidget != nullptr && treeWidget->rootIsDecorated()) {
        ApplyFont(treeWidget); // a tree view
        TranslateTreeNodes(r, treeWidget);
    } else if (auto* tree = qobject_cast<QTreeView*>(w)) {
        ApplyFont(tree); // a list view
        TranslateColumns(r, o, tree->model());
    } else if (auto* table = qobject_cast<QTableView*>(w)) {
        ApplyFont(table); // a data grid
        TranslateColumns(r, o, table->model());
    }
}

// The window's components: its named descendants in creation order, without the components
// of other windows it owns (dialogs) and without Qt's own internal children.
void CollectComponents(QObject* parent, std::vector<QObject*>& out) {
    for (QObject* child : parent->children()) {
        if (auto* w = qobject_cast<QWidget*>(child);
            w != nullptr && w->isWindow() && qobject_cast<QMenu*>(w) == nullptr)
            continue;
        const QString name = child->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            out.push_back(child);
        CollectComponents(child, out);
    }
}

void TranslateFilters(const TFormReader& r, QWidget* window) {
    for (const QByteArray& name : window->dynamicPropertyNames()) {
        if (!name.endsWith(".Filter"))
            continue;
        const QString current = window->property(name.constData()).toString();
        const QString text = r.Read(name.toStdString(), current);
        if (text != current)
            window->setProperty(name.constData(), text);
    }
}

} // namespace

void ApplyLanguageFont(const QString& code, QFont& font) {
    const QString c = code.toLower();
    const bool cjk =
        c == QLatin1String("cn") || c == QLatin1String("b5") || c == QLatin1String("jp");
    // The first family is the language's font; the others are what a Linux desktop has in its
    // place, so that the characters of the language are drawn either way.
    if (c == QLatin1String("cn")) {
        font.setFamilies({QString::fromUtf8("宋体"), QStringLiteral("SimSun"),
                          QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei")});
    } else if (c == QLatin1String("b5")) {
        font.setFamilies({QStringLiteral("PMingLiU"), QStringLiteral("Noto Sans CJK TC"),
                          QStringLiteral("AR PL UMing TW")});
    } else if (c == QLatin1String("jp")) {
        font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Noto Sans CJK JP"),
                          QStringLiteral("IPAGothic")});
    } else {
        font.setFamilies({QStringLiteral("Tahoma")});
    }
    const qreal size = font.pointSizeF();
    if (cjk && qFuzzyCompare(size, 8.0))
        font.setPointSize(9);
    else if (!cjk && qFuzzyCompare(size, 9.0))
        font.setPointSize(8);
}

QByteArray FileDialogFilterProperty(const QString& dialogName) {
    return dialogName.toUtf8() + ".Filter";
}

QStringList FileDialogNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        patterns = patterns.simplified();
        if (patterns.isEmpty())
            continue;
        const QString shown = QLatin1Char('(') + patterns + QLatin1Char(')');
        if (description.endsWith(shown))
            result.push_back(description);
        else if (description.isEmpty())
            result.push_back(patterns + QLatin1Char(' ') + shown);
        else
            result.push_back(description + QLatin1Char(' ') + shown);
    }
    return result;
}

void TranslateForm(QWidget* window, const QString& suffix) {
    if (window == nullptr)
        return;
    WithTranslationReader([&](const TLangFile& file) {
        const QString name = suffix.isEmpty() ? window->objectName() : suffix;
        const TFormReader reader(file, "Form_" + name.toStdString());
        try {
            Translate(
                reader, "Caption", [window] { return window->windowTitle(); },
                [window](const QString& t) { window->setWindowTitle(t); });
            ApplyFont(window);
            std::vector<QObject*> components;
            CollectComponents(window, components);
            for (QObject* component : components)
                TranslateComponent(reader, component);
            TranslateFilters(reader, window);
        } catch (...) {
            // A failure ends the translation; the window keeps what was already set.
        }
    });
}

} // namespace zadari
