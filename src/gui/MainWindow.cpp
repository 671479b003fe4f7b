#include "gui/MainWindow.h"

#include "ui_MainWindow.h"

#include "access/ui/AuthInput.h"
#include "app/DeviceList.h"
#include "app/OptionFile.h"
#include "gui/DetailsPanel.h"
#include "i18n/CodePage.h"
#include "i18n/Language.h"
#include "i18n/LanguageStore.h"
#include "i18n/StrRes.h"
#include "i18n/ui/TranslateForm.h"
#include "upgrade/ui/UpgradeSoft_214.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPixmap>
#include <QShowEvent>

#include <exception>

namespace zadari {

namespace {

// The apply flow's credential provider: the credential dialog over the window.
class TDialogCredentials : public ICredentialsProvider {
public:
    explicit TDialogCredentials(std::function<bool(QString&, QString&)> ask)
        : ask_(std::move(ask)) {}
    std::optional<TCredentials> AskCredentials(std::int32_t, const TCredentials& presets) override {
        QString user = QString::fromStdString(presets.user);
        QString password = QString::fromStdString(presets.password);
        if (!ask_(user, password))
            return std::nullopt;
        return TCredentials{user.trimmed().toStdString(), password.trimmed().toStdString()};
    }

private:
    std::function<bool(QString&, QString&)> ask_;
};

class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

} // namespace

TMainWindowSetup TMainWindowSetup::ForProgram(const QString& programPath) {
    TMainWindowSetup setup;
    setup.programPath = programPath;
    setup.session = TSessionSetup::ForProgram(QFileInfo(programPath).absolutePath());
    setup.listAdapters = [] {
        TAdapterList list;
        ListAdapters(list);
        return list;
    };
    return setup;
}

TfrmMain::TfrmMain(TMainWindowSetup setup, QWidget* parent)
    : QMainWindow(parent), setup_(std::move(setup)), ui_(std::make_unique<Ui::frmMain>()) {
    // 1. The language files exist before anything is translated.
    languageStore_ = std::make_unique<TLanguageStore>(setup_.languageBase);
    ui_->setupUi(this);
    ui_->cmbIPAssBak->setVisible(false);
    ui_->imgLogo->setVisible(false);
    details_ = ui_->TeGroupBox3;
    details_->Bind(*ui_);
    credentials_ = std::make_unique<TDialogCredentials>(
        [this](QString& user, QString& password) { return AskCredentials(user, password); });
    session_ = std::make_unique<TSession>(setup_.session, *credentials_);
    session_->ApplyFlow().waitCursor = [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    ConnectList();
    ConnectComponents();
    FormCreate();
    // Room for the list at the first show, never less than the captions of the language need.
    resize(minimumSizeHint().expandedTo(QSize(900, 600)));
}

TfrmMain::~TfrmMain() {
    FormClose();
    qApp->removeEventFilter(this);
    FreeAdapters(adapters_);
    // The language store goes last, with the window (its folder is removed).
}

QString TfrmMain::ProgramDir() const {
    if (setup_.programPath.isEmpty())
        return QString();
    return QFileInfo(setup_.programPath).absolutePath() + QLatin1Char('/');
}

TOptionFile TfrmMain::OptionFile() const {
    const QString name = QStringLiteral("option.ini");
    if (setup_.userConfigDir.isEmpty())
        return TOptionFile(name);
    return TOptionFile(name, ProgramDir(), setup_.userConfigDir);
}

void TfrmMain::ConnectList() {
    TDeviceList& list = List();
    QTreeView* view = ui_->ListView;
    // A row that leaves takes the selection with it. Connected before the view sees the model,
    // so the view finds no current row to move to a neighbour: the panel must not jump to
    // another camera while keeping the user's edits for the next Apply.
    connect(&list, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                const int row = SelectedRow();
                if (row >= first && row <= last)
                    ui_->ListView->selectionModel()->clear();
            });
    // The language files set the column titles through the model's header data.
    view->setModel(&list);
    QHeaderView* header = view->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    header->setStretchLastSection(false);
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        List().ColumnClick(column);
        ui_->ListView->header()->setSortIndicator(List().SortColumn(), List().SortDescending()
                                                                           ? Qt::DescendingOrder
                                                                           : Qt::AscendingOrder);
    });
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { SelectionChanged(); });
    // A removed or cleared row leaves the selection without telling selectionChanged in every
    // case; the panel follows what is selected now.
    connect(&list, &QAbstractItemModel::rowsRemoved, this, [this] {
        if ((SelectedRecord() == nullptr) != !details_->ShowsRecord())
            RefreshDetails();
    });
    connect(&list, &QAbstractItemModel::modelReset, this, [this] { RefreshDetails(); });
    connect(&list, &TDeviceList::RecordReplaced, this, [this](const QString& mac) {
        const TDevInfo* record = SelectedRecord();
        if (record != nullptr && record->mac == mac.toLatin1().toStdString())
            RefreshDetails();
    });
    connect(&list, &TDeviceList::CountChanged, this, [this] { UpdateCountLabel(); });
    connect(&Engine(), &TSearchEngine::RowAdded, this, [this] { SelectFirstRowIfNone(); });
    connect(view, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex&) { spbOpenClick(); });
}

void TfrmMain::ConnectComponents() {
    Ui::frmMain& f = *ui_;
    connect(f.btnFind, &QPushButton::clicked, this, [this] { btnFindClick(); });
    connect(f.btnApply, &QPushButton::clicked, this, [this] { btnApplyClick(); });
    connect(f.btnClose, &QPushButton::clicked, this, [this] { close(); });
    connect(f.btnUpgrade, &QPushButton::clicked, this, [this] { btnUpgradeClick(); });
    connect(f.spbExport, &QToolButton::clicked, this, [this] { btnExportClick(); });
    connect(f.spbOpen, &QToolButton::clicked, this, [this] { spbOpenClick(); });
    connect(f.cmbCards, &QComboBox::currentIndexChanged, this, [this] { cmbCardsChange(); });
    connect(f.cmbLan, &QComboBox::activated, this, [this] { cmbLanChange(); });
    qApp->installEventFilter(this);
}

// ---- life of the window --------------------------------------------------------------------

void TfrmMain::FormCreate() {
    // 2. The skin.
    LoadSkin();
    // 3, 4. The language: the saved one, else the one of the code page when it has a file.
    const QString saved =
        OptionFile().ReadString(QStringLiteral("Global"), QStringLiteral("lan"), QString());
    const int oem = setup_.oemCodePage ? *setup_.oemCodePage : SystemCodePages().oem;
    // A saved code whose file is missing falls back to English as well; keeping it would leave
    // the language combo empty and no way to pick a language.
    SetLanguage(StartLanguage(saved, oem));
    // 5, 6.
    TranslateForm(this);
    FitFieldsToFont();
    FillLanguageCombo();
    // 8. The window's own caption is the application's title. It is not made the application
    // display name: platform themes append that to the caption of every dialog.
    // 9. The list starts ascending by IP.
    TDeviceList& list = List();
    if (list.SortColumn() != 2 || list.SortDescending()) {
        list.ColumnClick(2);
        if (list.SortDescending())
            list.ColumnClick(2);
    }
    ui_->ListView->header()->setSortIndicator(2, Qt::AscendingOrder);
    // 10, 11.
    LoadLogo();
    FillAdapters();
    UpdateCountLabel();
    // 12 - 16. Tick counter, ClientId, the endpoints, the multicast pair and the providers; the
    // timer runs.
    if (!session_->Start()) {
        const int answer = StrResMessageBox("IDS_ERRCREATE307SOCKET", "IDS_ERROR",
                                            MsgStyle::kYesNo | MsgStyle::kIconError);
        if (answer == MsgResult::kNo) {
            startAborted_ = true;
            FormClose();
        }
    }
}

void TfrmMain::FitFieldsToFont() {
    Ui::frmMain& f = *ui_;
    // Room for the longest address in the font of the current language.
    const int width =
        f.edCurIP->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")) +
        4 * f.edCurIP->fontMetrics().averageCharWidth();
    for (QLineEdit* edit : {f.edCurIP, f.edCurSubmask, f.edCurGate, f.edCurDNS, f.edCurDNS2})
        edit->setMinimumWidth(width);
    details_->FitFieldsToFont();
}

void TfrmMain::LoadSkin() {
    if (setup_.programPath.isEmpty())
        return;
    const QFileInfo program(setup_.programPath);
    const QString skin = program.absolutePath() + QLatin1Char('/') + program.completeBaseName() +
                         QStringLiteral(".skn");
    QFile file(skin);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return;
    qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
}

void TfrmMain::LoadLogo() {
    const QString dir = ProgramDir();
    const QString path = dir + QStringLiteral("logofind.bmp");
    if (dir.isEmpty() || !QFileInfo::exists(path))
        return;
    const QPixmap picture(path);
    if (picture.isNull() || picture.height() <= 0)
        return;
    constexpr int kHeight = 40;
    const int width = kHeight * picture.width() / picture.height();
    if (width <= 0)
        return;
    ui_->imgLogo->setFixedSize(width, kHeight);
    ui_->imgLogo->setPixmap(picture);
    ui_->imgLogo->setVisible(true);
}

void TfrmMain::FillAdapters() {
    if (setup_.listAdapters)
        adapters_ = setup_.listAdapters();
    QComboBox* cards = ui_->cmbCards;
    {
        const QSignalBlocker blocker(cards);
        cards->clear();
        for (std::size_t i = 0; i < adapters_.size(); ++i)
            cards->addItem(adapters_[i].description, static_cast<int>(i));
        cards->setCurrentIndex(adapters_.empty() ? -1 : 0);
    }
    cmbCardsChange();
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_ && !event->spontaneous()) {
        shownOnce_ = true;
        FormShow();
    }
}

void TfrmMain::FormShow() {
    RefreshDetails();
    Engine().RunFirstCycle();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

void TfrmMain::FormClose() {
    if (closed_)
        return;
    closed_ = true;
    // The timer, the endpoints one by one, the multicast pair, the providers, then the list.
    session_->Stop();
}

// ---- the list ------------------------------------------------------------------------------

int TfrmMain::SelectedRow() const {
    const QItemSelectionModel* selection = ui_->ListView->selectionModel();
    if (selection == nullptr)
        return -1;
    const QModelIndexList rows = selection->selectedRows();
    if (rows.isEmpty())
        return -1;
    const int row = rows.front().row();
    return (row >= 0 && row < session_->List().RowCount()) ? row : -1;
}

const TDevInfo* TfrmMain::SelectedRecord() const {
    const int row = SelectedRow();
    return row < 0 ? nullptr : &session_->List().Row(row).record;
}

void TfrmMain::SelectRow(int row) {
    QAbstractItemModel* model = ui_->ListView->model();
    if (row < 0 || row >= model->rowCount()) {
        ui_->ListView->selectionModel()->clearSelection();
        return;
    }
    const QModelIndex index = model->index(row, 0);
    ui_->ListView->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
}

void TfrmMain::SelectionChanged() {
    // Rows moving under a sort or an insert report a selection change while the same device
    // stays selected; refreshing then would throw away what the user typed.
    const TDevInfo* record = SelectedRecord();
    if (record != nullptr && details_->ShowsRecord() && record->mac == details_->Shown().mac)
        return;
    RefreshDetails();
}

void TfrmMain::RefreshDetails() {
    const TDevInfo* record = SelectedRecord();
    ui_->btnApply->setEnabled(record != nullptr);
    details_->ShowRecord(record);
}

void TfrmMain::SelectFirstRowIfNone() {
    if (SelectedRow() < 0 && List().RowCount() > 0)
        SelectRow(0);
}

void TfrmMain::UpdateCountLabel() {
    ui_->lblDevNum->setText(List().CountText());
}

void TfrmMain::btnFindClick() {
    TWaitCursor wait;
    Engine().Find();
}

void TfrmMain::btnExportClick() {
    const QString proposed = QStringLiteral("ipcam.txt");
    QString path;
    if (setup_.chooseExportFile) {
        path = setup_.chooseExportFile(this, proposed);
    } else {
        const QStringList filters = FileDialogNameFilters(QStringLiteral("*.txt|*.txt"));
        path = QFileDialog::getSaveFileName(this, QString(), proposed,
                                            filters.join(QStringLiteral(";;")));
    }
    QString error;
    if (!path.isEmpty() && !List().ExportToFile(path, &error)) {
        if (TMessagePresenter* presenter = MessagePresenter())
            presenter->ShowMessage(GetStrRes("IDS_ERROR"), error, MsgStyle::kIconError);
    }
}

void TfrmMain::spbOpenClick() {
    const QString text = details_->PageUrl();
    if (text.isEmpty())
        return;
    if (setup_.openUrl)
        setup_.openUrl(QUrl(text));
    else
        QDesktopServices::openUrl(QUrl(text));
}

// ---- adapters and language -----------------------------------------------------------------

void TfrmMain::cmbCardsChange() {
    Ui::frmMain& f = *ui_;
    const QVariant data = f.cmbCards->currentData();
    const int index = data.isValid() ? data.toInt() : -1;
    const bool known = index >= 0 && static_cast<std::size_t>(index) < adapters_.size();
    const TNET_CARD empty;
    const TNET_CARD& card = known ? adapters_[static_cast<std::size_t>(index)] : empty;
    f.edCurIP->setText(card.ip);
    f.edCurSubmask->setText(card.mask);
    f.edCurGate->setText(card.gateway);
    f.edCurDNS->setText(card.dns1);
    f.edCurDNS2->setText(card.dns2);
}

void TfrmMain::FillLanguageCombo() {
    QComboBox* lan = ui_->cmbLan;
    const QSignalBlocker blocker(lan);
    lan->clear();
    int selected = -1;
    for (const TLanguageEntry& entry : ReadLanguageList()) {
        const QString code = entry.code.trimmed();
        lan->addItem(entry.name, code);
        if (code.compare(CurrentLanguage(), Qt::CaseInsensitive) == 0)
            selected = lan->count() - 1;
    }
    lan->setCurrentIndex(selected);
}

void TfrmMain::cmbLanChange() {
    Ui::frmMain& f = *ui_;
    if (f.cmbLan->currentIndex() >= 0) {
        const int card = f.cmbCards->currentIndex();
        SetLanguage(f.cmbLan->currentData().toString());
        TranslateForm(this);
        FitFieldsToFont();
        FillLanguageCombo();
        {
            const QSignalBlocker blocker(f.cmbCards);
            f.cmbCards->setCurrentIndex(card);
        }
        cmbCardsChange();
        // The translation wrote the caption into the count label.
        UpdateCountLabel();
    }
    OptionFile().WriteString(QStringLiteral("Global"), QStringLiteral("lan"), CurrentLanguage());
}

// ---- apply and upgrade ---------------------------------------------------------------------

bool TfrmMain::AskCredentials(QString& user, QString& password) {
    if (setup_.askCredentials)
        return setup_.askCredentials(this, user, password);
    return TfrmAuthInput::Ask(this, user, password);
}

void TfrmMain::btnApplyClick() {
    const TDevInfo* selected = SelectedRecord();
    if (selected == nullptr)
        return;
    // The flow works on its own copy: the row may change or go while its dialog is open. On
    // success it removes the device's row and searches again.
    lastApply_ = session_->ApplyFlow().Apply(*selected, details_->EditedValues());
    ShowApplyMessage();
}

void TfrmMain::ShowApplyMessage() {
    const TUserMessage& message = lastApply_.message;
    if (message.Empty())
        return;
    StrResMessageBox(message.key.c_str(), message.captionKey.c_str(), message.style);
    details_->FocusFieldOf(message.key);
}

void TfrmMain::btnUpgradeClick() {
    const TDevInfo* selected = SelectedRecord();
    if (selected == nullptr)
        return;
    const std::string mac = selected->mac;
    if (!RunUpgrade(selected->family))
        return;
    const int row = List().RowOfMac(mac);
    if (row >= 0)
        List().DeleteRow(row);
    btnFindClick();
}

bool TfrmMain::RunUpgrade(std::int32_t family) {
    Ui::frmMain& f = *ui_;
    QString user = QStringLiteral("admin");
    QString password;
    if (!AskCredentials(user, password))
        return false;
    f.btnUpgrade->setEnabled(false);
    Engine().StopTimer();
    setCursor(Qt::WaitCursor);
    const TUpgradeRequest request{family, details_->EditedHost(), details_->EditedPort(),
                                  user.trimmed(), password.trimmed()};
    bool done = false;
    try {
        if (setup_.runUpgradeDialog) {
            done = setup_.runUpgradeDialog(this, request);
        } else {
            TfrmUpgradeSoft dialog(session_->Family9Client(), this);
            dialog.DevFamily = request.family;
            dialog.DevHost = request.host;
            dialog.DevPort = request.port;
            dialog.DevUser = request.user;
            dialog.DevPassword = request.password;
            done = dialog.exec() == QDialog::Accepted;
        }
    } catch (const std::exception&) {
        done = false;
    }
    unsetCursor();
    f.btnUpgrade->setEnabled(true);
    if (!closed_)
        Engine().StartTimer();
    return done;
}

// ---- the hidden command --------------------------------------------------------------------

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    // One key press reaches the filter once for every widget it propagates to; the release
    // ends it.
    if (event->type() == QEvent::KeyRelease)
        lastShortcutEvent_ = nullptr;
    if (event->type() == QEvent::KeyPress && event != lastShortcutEvent_) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const Qt::KeyboardModifiers all =
                Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier;
            if (key->key() == Qt::Key_D && (key->modifiers() & all) == all) {
                lastShortcutEvent_ = event;
                HiddenCommand();
            }
        }
    }
    // The key is not consumed: the window's own key handling still sees it.
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::HiddenCommand() {
    const TDevInfo* selected = SelectedRecord();
    if (selected != nullptr)
        lastApply_ = session_->ApplyFlow().SendCommand3(*selected);
}

} // namespace zadari
