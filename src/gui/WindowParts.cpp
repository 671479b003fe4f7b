#include "gui/WindowParts.h"

#include "app/AtomicFile.h"
#include "i18n/Language.h"
#include "i18n/StrRes.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>

namespace zadari {

void LoadSkin(const QString& programPath) {
    if (programPath.isEmpty())
        return;
    const QFileInfo program(programPath);
    QFile file(program.absolutePath() + QLatin1Char('/') + program.completeBaseName() +
               QStringLiteral(".skn"));
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return;
    qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
}

void LoadLogo(const QString& programDir, QLabel* logo) {
    const QString path = programDir + QStringLiteral("logofind.bmp");
    if (programDir.isEmpty() || !QFileInfo::exists(path))
        return;
    const QPixmap picture(path);
    if (picture.isNull() || picture.height() <= 0)
        return;
    constexpr int kHeight = 40;
    const int width = kHeight * picture.width() / picture.height();
    if (width <= 0)
        return;
    logo->setFixedSize(width, kHeight);
    logo->setPixmap(picture);
    logo->setVisible(true);
}

void FillLanguageCombo(QComboBox* combo) {
    const QSignalBlocker blocker(combo);
    combo->clear();
    int selected = -1;
    for (const TLanguageEntry& entry : ReadLanguageList()) {
        const QString code = entry.code.trimmed();
        combo->addItem(entry.name, code);
        if (code.compare(CurrentLanguage(), Qt::CaseInsensitive) == 0)
            selected = combo->count() - 1;
    }
    combo->setCurrentIndex(selected);
}

TAdapterFields::TAdapterFields(QComboBox* cards, std::array<QLineEdit*, 5> fields, QObject* parent)
    : QObject(parent), cards_(cards), fields_(fields) {
    connect(cards_, &QComboBox::currentIndexChanged, this, [this] { ShowChosen(); });
}

TAdapterFields::~TAdapterFields() {
    FreeAdapters(adapters_);
}

void TAdapterFields::Fill(TAdapterList adapters) {
    adapters_ = std::move(adapters);
    {
        const QSignalBlocker blocker(cards_);
        cards_->clear();
        for (std::size_t i = 0; i < adapters_.size(); ++i)
            cards_->addItem(adapters_[i].description, static_cast<int>(i));
        cards_->setCurrentIndex(adapters_.empty() ? -1 : 0);
    }
    ShowChosen();
}

void TAdapterFields::ShowChosen() {
    const QVariant data = cards_->currentData();
    const int index = data.isValid() ? data.toInt() : -1;
    const bool known = index >= 0 && static_cast<std::size_t>(index) < adapters_.size();
    const TNET_CARD empty;
    const TNET_CARD& card = known ? adapters_[static_cast<std::size_t>(index)] : empty;
    const std::array<const QString*, 5> values{&card.ip, &card.mask, &card.gateway, &card.dns1,
                                               &card.dns2};
    for (std::size_t i = 0; i < fields_.size(); ++i)
        fields_[i]->setText(*values[i]);
}

void TAdapterFields::FitToFont() {
    for (QLineEdit* edit : fields_) {
        const QFontMetrics metrics = edit->fontMetrics();
        edit->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("255.255.255.255")) +
                              4 * metrics.averageCharWidth());
    }
}

std::optional<TCredentials> TDialogCredentials::AskCredentials(std::int32_t,
                                                               const TCredentials& presets) {
    QString user = QString::fromStdString(presets.user);
    QString password = QString::fromStdString(presets.password);
    if (!ask_(user, password))
        return std::nullopt;
    return TCredentials{user.trimmed().toStdString(), password.trimmed().toStdString()};
}

TWaitCursor::TWaitCursor() {
    Set(true);
}

TWaitCursor::~TWaitCursor() {
    Set(false);
}

void TWaitCursor::Set(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

THiddenShortcut::THiddenShortcut(QWidget* window, std::function<void()> pressed)
    : QObject(window), window_(window), pressed_(std::move(pressed)) {
    qApp->installEventFilter(this);
}

THiddenShortcut::~THiddenShortcut() {
    qApp->removeEventFilter(this);
}

bool THiddenShortcut::eventFilter(QObject* watched, QEvent* event) {
    // One key press reaches the filter once for every widget it propagates to; the release
    // ends it.
    if (event->type() == QEvent::KeyRelease)
        lastEvent_ = nullptr;
    if (event->type() == QEvent::KeyPress && event != lastEvent_) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == window_) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const Qt::KeyboardModifiers all =
                Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
            if (key->key() == Qt::Key_D && (key->modifiers() & all) == all) {
                lastEvent_ = event;
                pressed_();
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

int CurrentSelectedRow(const QItemSelectionModel* selection, int rowCount) {
    if (selection == nullptr)
        return -1;
    const QModelIndexList rows = selection->selectedRows();
    const QModelIndex current = selection->currentIndex();
    const int row = current.isValid() && selection->isRowSelected(current.row())
                        ? current.row()
                        : (rows.isEmpty() ? -1 : rows.front().row());
    return row >= 0 && row < rowCount ? row : -1;
}

std::vector<TDevInfo> RecordsOfSelectedRows(const QItemSelectionModel* selection,
                                            const TDeviceList& list) {
    std::vector<TDevInfo> records;
    for (int row = 0; selection != nullptr && row < list.RowCount(); ++row) {
        if (selection->isRowSelected(row))
            records.push_back(list.Row(row).record);
    }
    return records;
}

void SetUpListHeader(QHeaderView* header) {
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    header->setStretchLastSection(false);
}

QAction* AddListAction(QAbstractItemView* view, const char* name, const char* textKey,
                       QKeyCombination shortcut, std::function<void()> triggered) {
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* action = new QAction(GetStrRes(textKey), view);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(QKeySequence(shortcut));
    action->setShortcutContext(Qt::WindowShortcut);
    view->addAction(action);
    QObject::connect(action, &QAction::triggered, view, std::move(triggered));
    return action;
}

void SaveFleetReport(QWidget* owner, const std::function<QString(QWidget*)>& choose,
                     const QString& proposedName, const std::string& json, const std::string& csv) {
    const QString path =
        choose
            ? choose(owner)
            : QFileDialog::getSaveFileName(owner, GetStrRes("IDS_FLEET_SAVEREPORT"), proposedName,
                                           QStringLiteral("CSV (*.csv);;JSON (*.json)"));
    if (path.isEmpty())
        return;
    const bool asJson = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
    QString error;
    if (!WriteFileAtomically(path, asJson ? json : csv, &error))
        QMessageBox::warning(owner, GetStrRes("IDS_ERROR"), error);
}

} // namespace zadari
