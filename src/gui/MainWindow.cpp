#include "gui/MainWindow.h"

#include "ui_MainWindow.h"

#include "access/ui/AuthInput.h"
#include "app/DeviceList.h"
#include "app/OptionFile.h"
#include "gui/DetailsPanel.h"
#include "gui/ListDecorations.h"
#include "gui/WindowParts.h"
#include "i18n/CodePage.h"
#include "i18n/Language.h"
#include "i18n/LanguageStore.h"
#include "i18n/StrRes.h"
#include "i18n/ui/TranslateForm.h"
#include "upgrade/ui/UpgradeSoft_214.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QShowEvent>

#include <algorithm>
#include <exception>

namespace zadari {

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
    adapters_ = new TAdapterFields(
        ui_->cmbCards,
        {ui_->edCurIP, ui_->edCurSubmask, ui_->edCurGate, ui_->edCurDNS, ui_->edCurDNS2}, this);
    credentials_ = std::make_unique<TDialogCredentials>(
        [this](QString& user, QString& password) { return AskCredentials(user, password); });
    session_ = std::make_unique<TSession>(setup_.session, *credentials_);
    session_->ApplyFlow().waitCursor = &TWaitCursor::Set;
    ConnectList();
    ConnectComponents();
    FormCreate();
    // Room for the list at the first show, never less than the captions of the language need.
    resize(minimumSizeHint().expandedTo(QSize(900, 600)));
}

TfrmMain::~TfrmMain() {
    FormClose(); // the language store goes last, with the window (its folder is removed)
}

const TAdapterList& TfrmMain::Adapters() const {
    return adapters_->Adapters();
}

QString TfrmMain::ProgramDir() const {
    return setup_.programPath.isEmpty()
               ? QString()
               : QFileInfo(setup_.programPath).absolutePath() + QLatin1Char('/');
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
    SetUpListHeader(header);
    DecorateDeviceList(view, list);
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
    // Several rows may be selected for the actions on many cameras (the list's context menu).
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    readdress_ = AddListAction(view, "actReaddress", "IDS_FLEET_MENU", Qt::CTRL | Qt::Key_R,
                               [this] { ReaddressSelected(); });
    fleetUpgrade_ = AddListAction(view, "actFleetUpgrade", "IDS_FUPG_MENU", Qt::CTRL | Qt::Key_U,
                                  [this] { UpgradeSelected(); });
}

void TfrmMain::ConnectComponents() {
    Ui::frmMain& f = *ui_;
    connect(f.btnFind, &QPushButton::clicked, this, [this] { btnFindClick(); });
    connect(f.btnApply, &QPushButton::clicked, this, [this] { btnApplyClick(); });
    connect(f.btnClose, &QPushButton::clicked, this, [this] { close(); });
    connect(f.btnUpgrade, &QPushButton::clicked, this, [this] { btnUpgradeClick(); });
    connect(f.spbExport, &QToolButton::clicked, this, [this] { btnExportClick(); });
    connect(f.spbOpen, &QToolButton::clicked, this, [this] { spbOpenClick(); });
    connect(f.cmbLan, &QComboBox::activated, this, [this] { cmbLanChange(); });
    new THiddenShortcut(this, [this] { HiddenCommand(); });
}

// ---- life of the window --------------------------------------------------------------------

void TfrmMain::FormCreate() {
    // 2. The skin.
    LoadSkin(setup_.programPath);
    // 3, 4. The language: the saved one, else the one of the code page when it has a file.
    const QString saved =
        OptionFile().ReadString(QStringLiteral("Global"), QStringLiteral("lan"), QString());
    const int oem = setup_.oemCodePage ? *setup_.oemCodePage : SystemCodePages().oem;
    // A saved code whose file is missing falls back to English as well; keeping it would leave
    // the language combo empty and no way to pick a language.
    SetLanguage(StartLanguage(saved, oem));
    // 5, 6.
    TranslateForm(this);
    adapters_->FitToFont();
    details_->FitFieldsToFont();
    FillLanguageCombo(ui_->cmbLan);
    // 8. The window's own caption is the application's title. It is not made the application
    // display name: platform themes append that to the caption of every dialog.
    // 9. The list starts ascending by IP.
    TDeviceList& list = List();
    while (list.SortColumn() != 2 || list.SortDescending())
        list.ColumnClick(2); // another column: ascending by IP; descending by IP: flipped
    ui_->ListView->header()->setSortIndicator(2, Qt::AscendingOrder);
    // 10, 11.
    LoadLogo(ProgramDir(), ui_->imgLogo);
    adapters_->Fill(setup_.listAdapters ? setup_.listAdapters() : TAdapterList());
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

int TfrmMain::SelectedRow() const {
    return CurrentSelectedRow(ui_->ListView->selectionModel(), session_->List().RowCount());
}

std::vector<TDevInfo> TfrmMain::SelectedRecords() const {
    return RecordsOfSelectedRows(ui_->ListView->selectionModel(), session_->List());
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
    const TWaitCursor wait;
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
    const QUrl url(details_->PageUrl());
    if (url.isEmpty())
        return;
    if (setup_.openUrl)
        setup_.openUrl(url);
    else
        QDesktopServices::openUrl(url);
}

void TfrmMain::cmbLanChange() {
    Ui::frmMain& f = *ui_;
    if (f.cmbLan->currentIndex() >= 0) {
        const int card = f.cmbCards->currentIndex();
        SetLanguage(f.cmbLan->currentData().toString());
        TranslateForm(this);
        adapters_->FitToFont();
        details_->FitFieldsToFont();
        details_->Retranslate();
        FillLanguageCombo(f.cmbLan);
        {
            const QSignalBlocker blocker(f.cmbCards);
            f.cmbCards->setCurrentIndex(card);
        }
        adapters_->ShowChosen();
        // The translation wrote the caption into the count label.
        UpdateCountLabel();
        readdress_->setText(GetStrRes("IDS_FLEET_MENU"));
        fleetUpgrade_->setText(GetStrRes("IDS_FUPG_MENU"));
    }
    OptionFile().WriteString(QStringLiteral("Global"), QStringLiteral("lan"), CurrentLanguage());
}

// ---- apply and upgrade ---------------------------------------------------------------------

void TfrmMain::ReaddressSelected() {
    TFleetDialog dialog(*session_, *credentials_, SelectedRecords(), setup_.fleet, this);
    setup_.runFleetDialog ? setup_.runFleetDialog(dialog) : (void)dialog.exec();
}

void TfrmMain::UpgradeSelected() {
    // The search keeps running: the upgrade follows each camera through its restart by it.
    TFleetUpgradeDialog dialog(*session_, *credentials_, SelectedRecords(), setup_.fleetUpgrade,
                               this);
    setup_.runFleetUpgradeDialog ? setup_.runFleetUpgradeDialog(dialog) : (void)dialog.exec();
}

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

void TfrmMain::HiddenCommand() {
    const TDevInfo* selected = SelectedRecord();
    if (selected != nullptr)
        lastApply_ = session_->ApplyFlow().SendCommand3(*selected);
}

} // namespace zadari
