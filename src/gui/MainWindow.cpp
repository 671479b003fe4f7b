#include "gui/MainWindow.h"

#include "ui_MainWindow.h"

#include "access/SR_517.h"
#include "access/ui/AuthInput.h"
#include "app/DeviceForwarder.h"
#include "app/DeviceList.h"
#include "app/DeviceText.h"
#include "app/Family9Hook.h"
#include "app/OptionFile.h"
#include "app/SR_Hisi.h"
#include "i18n/CodePage.h"
#include "i18n/LangFile.h"
#include "i18n/Language.h"
#include "i18n/LanguageStore.h"
#include "i18n/StrRes.h"
#include "i18n/TextCodec.h"
#include "i18n/ui/TranslateForm.h"
#include "net/SearchEndpoints.h"
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
#include <QLineEdit>
#include <QPixmap>
#include <QShowEvent>

#include <algorithm>
#include <exception>

namespace zadari {

namespace {

// Sockets that send nothing: what the window uses when it is given none.
class TSilentSender : public TDatagramSender {
public:
    bool SendTo(TByteView, const std::string&, std::uint16_t) override { return false; }
    void Pause(int) override {}
};

class TNoEndpoints : public TSearchEndpoints {
public:
    bool Open(TReceiveHandler) override { return true; }
    void Close() override {}
    TDatagramSender& Udp(int) override { return sender_; }
    TDatagramSender& MulticastSender() override { return sender_; }

private:
    TSilentSender sender_;
};

// Writes a text only when it differs, so an unchanged value keeps the user's cursor.
void SetTextIfChanged(QLineEdit* edit, const QString& text) {
    if (edit->text() != text)
        edit->setText(text);
}

// The bytes of a name the user typed, in the encoding the device's own name used: UTF-8 when
// the device's bytes were UTF-8 (or plain ASCII), else the single-byte code of DecodeDeviceText.
std::string EncodeLikeDevice(const QString& text, const std::string& deviceBytes) {
    const QString shown = DecodeDeviceText(deviceBytes);
    if (text == shown.trimmed() && shown == shown.trimmed())
        return deviceBytes;
    const bool deviceUtf8 =
        QString::fromUtf8(deviceBytes.data(), static_cast<qsizetype>(deviceBytes.size()))
            .toUtf8() == QByteArray::fromStdString(deviceBytes);
    bool latin1 = true;
    for (const QChar c : text)
        latin1 = latin1 && c.unicode() < 256;
    if (!deviceUtf8 && latin1)
        return text.toLatin1().toStdString();
    return text.toUtf8().toStdString();
}

/// The most characters the user may type into edName; a longer name of the device is still
/// shown whole.
constexpr int kNameTypedMax = 15;

bool FamilyHasUpgrade(std::int32_t family) {
    return family == kFamilyMoi || family == kFamilyUicam || family == kFamilyDh;
}

bool FamilyWithoutPppoe(std::int32_t family) {
    return family == kFamilyUicam || family == kFamilyHds || family == kFamily6801 ||
           family == kFamilyDh;
}

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
    setup.makeEndpoints = [] {
        return std::make_unique<TSocketEndpoints>(TSocketEndpoints::DefaultSetup());
    };
    setup.listAdapters = [] {
        TAdapterList list;
        ListAdapters(list);
        return list;
    };
    setup.makeFamily9 = [] { return std::make_unique<TT517Series>(); };
    setup.sdkFinder = true;
    return setup;
}

TfrmMain::TfrmMain(TMainWindowSetup setup, QWidget* parent)
    : QMainWindow(parent), setup_(std::move(setup)), ui_(std::make_unique<Ui::frmMain>()) {
    // 1. The language files exist before anything is translated.
    languageStore_ = std::make_unique<TLanguageStore>(setup_.languageBase);
    ui_->setupUi(this);
    ui_->cmbIPAssBak->setVisible(false);
    ui_->imgLogo->setVisible(false);
    list_ = std::make_unique<TDeviceList>();
    endpoints_ = setup_.makeEndpoints ? setup_.makeEndpoints() : nullptr;
    if (!endpoints_)
        endpoints_ = std::make_unique<TNoEndpoints>();
    engine_ = std::make_unique<TSearchEngine>(*list_, *endpoints_, setup_.engine);
    if (setup_.makeFamily9)
        family9_ = setup_.makeFamily9();
    ConnectComponents();
    FormCreate();
    // Room for the list at the first show, never less than the captions of the language need.
    resize(minimumSizeHint().expandedTo(QSize(900, 600)));
}

TfrmMain::~TfrmMain() {
    FormClose();
    FormDestroy();
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

void TfrmMain::ConnectComponents() {
    Ui::frmMain& f = *ui_;
    // A row that leaves takes the selection with it. Connected before the view sees the model,
    // so the view finds no current row to move to a neighbour: the panel must not jump to
    // another camera while keeping the user's edits for the next Apply.
    connect(list_.get(), &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex&, int first, int last) {
                const int row = SelectedRow();
                if (row >= first && row <= last)
                    ui_->ListView->selectionModel()->clear();
            });
    // The language files set the column titles through the model's header data.
    f.ListView->setModel(list_.get());
    QHeaderView* header = f.ListView->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setStretchLastSection(true);
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    header->setStretchLastSection(false);
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        list_->ColumnClick(column);
        ui_->ListView->header()->setSortIndicator(list_->SortColumn(), list_->SortDescending()
                                                                           ? Qt::DescendingOrder
                                                                           : Qt::AscendingOrder);
    });
    connect(f.ListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { SelectionChanged(); });
    // A removed or cleared row leaves the selection without telling selectionChanged in every
    // case; the panel follows what is selected now.
    connect(list_.get(), &QAbstractItemModel::rowsRemoved, this, [this] {
        if ((SelectedRecord() == nullptr) != !shownAny_)
            RefreshDetails();
    });
    connect(list_.get(), &QAbstractItemModel::modelReset, this, [this] { RefreshDetails(); });
    connect(list_.get(), &TDeviceList::RecordReplaced, this, [this](const QString& mac) {
        const TDevInfo* record = SelectedRecord();
        if (record != nullptr && record->mac == mac.toLatin1().toStdString())
            RefreshDetails();
    });
    connect(list_.get(), &TDeviceList::CountChanged, this, [this] { UpdateCountLabel(); });
    connect(engine_.get(), &TSearchEngine::RowAdded, this, [this] { SelectFirstRowIfNone(); });
    connect(f.ListView, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex&) { spbOpenClick(); });

    connect(f.btnFind, &QPushButton::clicked, this, [this] { btnFindClick(); });
    connect(f.btnApply, &QPushButton::clicked, this, [this] { btnApplyClick(); });
    connect(f.btnClose, &QPushButton::clicked, this, [this] { close(); });
    connect(f.btnUpgrade, &QPushButton::clicked, this, [this] { btnUpgradeClick(); });
    connect(f.spbExport, &QToolButton::clicked, this, [this] { btnExportClick(); });
    connect(f.spbOpen, &QToolButton::clicked, this, [this] { spbOpenClick(); });
    connect(f.cmbIPAss, &QComboBox::currentIndexChanged, this, [this] { cmbIPAssChange(); });
    // Typing never makes the name longer than kNameTypedMax or than the device's own name:
    // the limit follows the text down as the user shortens a long name.
    connect(f.edName, &QLineEdit::textEdited, this, [this](const QString& text) {
        ui_->edName->setMaxLength(std::max<int>(kNameTypedMax, static_cast<int>(text.size())));
    });
    connect(f.cmbCards, &QComboBox::currentIndexChanged, this, [this] { cmbCardsChange(); });
    connect(f.cmbLan, &QComboBox::activated, this, [this] { cmbLanChange(); });
    qApp->installEventFilter(this);
}

// ---- life of the window --------------------------------------------------------------------

void TfrmMain::FormCreate() {
    Ui::frmMain& f = *ui_;
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
    // 7. The values of the connection types.
    for (int i = 0; i < f.cmbIPAssBak->count() && i < 3; ++i)
        f.cmbIPAssBak->setItemData(i, i);
    // 8. The window's own caption is the application's title. It is not made the application
    // display name: platform themes append that to the caption of every dialog.
    // 9. The list starts ascending by IP.
    if (list_->SortColumn() != 2 || list_->SortDescending()) {
        list_->ColumnClick(2);
        if (list_->SortDescending())
            list_->ColumnClick(2);
    }
    f.ListView->header()->setSortIndicator(2, Qt::AscendingOrder);
    // 10, 11.
    LoadLogo();
    FillAdapters();
    UpdateCountLabel();
    // 12 - 15. Tick counter, ClientId, the endpoints and the multicast pair; the timer runs.
    if (!engine_->Start()) {
        const int answer = StrResMessageBox("IDS_ERRCREATE307SOCKET", "IDS_ERROR",
                                            MsgStyle::kYesNo | MsgStyle::kIconError);
        if (answer == MsgResult::kNo) {
            startAborted_ = true;
            FormClose();
            return;
        }
    }
    if (family9_)
        WireFamily9Search(*engine_, *family9_);
    // 16. The vendor SDK finder.
    if (setup_.sdkFinder)
        CreateSdkFinder();
    CreateApplyFlow();
}

void TfrmMain::CreateApplyFlow() {
    credentials_ = std::make_unique<TDialogCredentials>(
        [this](QString& user, QString& password) { return AskCredentials(user, password); });
    applyFlow_ = std::make_unique<TApplyFlow>(*engine_, *credentials_);
    applyFlow_->waitCursor = [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    };
    applyFlow_->sdkConfigDevice = [this](const TDevInfo& edited) {
        return finder_ != nullptr && finder_->ConfigDevice(edited);
    };
    if (family9_) {
        IT517Series* client = family9_.get();
        applyFlow_->family9SetNetParams = [client](const std::string& user,
                                                   const std::string& password, const TDevInfo&,
                                                   const TDevInfo& edited) {
            return client->SetNetParams(user, password, edited);
        };
    }
}

void TfrmMain::CreateSdkFinder() {
    // The library reports on its own threads; the forwarder brings every report to this thread
    // (WM_DEVICE_FOUND) and waits until the list has taken it.
    forwarder_ =
        std::make_unique<TDeviceForwarder>([this](const TDevInfo& record) { DeviceFound(record); });
    finder_ = std::make_unique<TFind_Hisi>(ProgramDir());
    TDeviceForwarder* forwarder = forwarder_.get();
    finder_->SetFoundHandler(
        [forwarder](const TDevInfo& record) { forwarder->ForwardDeviceToWindow(record); });
    engine_->sdkSearch = [this] {
        if (finder_)
            finder_->StartSearch();
    };
    engine_->sdkShutdown = [this] {
        // Reporters blocked on this thread are let go before the library is told to stop.
        if (forwarder_)
            forwarder_->Close();
        finder_.reset();
    };
}

void TfrmMain::FitFieldsToFont() {
    Ui::frmMain& f = *ui_;
    // Room for the longest address and URL in the font of the current language.
    const auto widthOf = [](QWidget* w, const QString& text) {
        return w->fontMetrics().horizontalAdvance(text) + 4 * w->fontMetrics().averageCharWidth();
    };
    for (QLineEdit* edit : {f.edCurIP, f.edCurSubmask, f.edCurGate, f.edCurDNS, f.edCurDNS2})
        edit->setMinimumWidth(widthOf(edit, QStringLiteral("255.255.255.255")));
    f.edUrl->setMinimumWidth(widthOf(f.edUrl, QStringLiteral("http://255.255.255.255:65535")));
    f.edVersion->setMinimumWidth(widthOf(f.edVersion, QStringLiteral("255.255.255.255")));
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
    if (dir.isEmpty())
        return;
    const QString path = dir + QStringLiteral("logofind.bmp");
    if (!QFileInfo::exists(path))
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
    engine_->RunFirstCycle();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    FormClose();
    QMainWindow::closeEvent(event);
}

void TfrmMain::FormClose() {
    if (closed_)
        return;
    closed_ = true;
    // The timer, the endpoints one by one, the multicast pair, the SDK finder, then the list.
    try {
        engine_->Stop();
    } catch (const std::exception&) {
    }
    if (auto* t517 = dynamic_cast<TT517Series*>(family9_.get()))
        t517->StopSearch();
}

void TfrmMain::FormDestroy() {
    qApp->removeEventFilter(this);
    FreeAdapters(adapters_);
    // The language store goes last, with the window (its folder is removed).
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
    return (row >= 0 && row < list_->RowCount()) ? row : -1;
}

const TDevInfo* TfrmMain::SelectedRecord() const {
    const int row = SelectedRow();
    return row < 0 ? nullptr : &list_->Row(row).record;
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
    if (record != nullptr && shownAny_ && record->mac == shownMac_)
        return;
    RefreshDetails();
}

void TfrmMain::SelectFirstRowIfNone() {
    if (SelectedRow() < 0 && list_->RowCount() > 0)
        SelectRow(0);
}

void TfrmMain::UpdateCountLabel() {
    ui_->lblDevNum->setText(list_->CountText());
}

void TfrmMain::DeviceFound(const TDevInfo& record) {
    // A report that only refreshed a row selects nothing (an added row is selected through
    // the engine's RowAdded when none is).
    engine_->MergeFound(record);
    UpdateCountLabel();
}

void TfrmMain::DeleteDeviceRow(const std::string& mac) {
    const int row = list_->RowOfMac(mac);
    if (row >= 0)
        list_->DeleteRow(row);
}

void TfrmMain::btnFindClick() {
    TWaitCursor wait;
    engine_->Find();
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
    if (path.isEmpty())
        return;
    QString error;
    if (!list_->ExportToFile(path, &error)) {
        if (TMessagePresenter* presenter = MessagePresenter())
            presenter->ShowMessage(GetStrRes("IDS_ERROR"), error, MsgStyle::kIconError);
    }
}

void TfrmMain::spbOpenClick() {
    const QString text = ui_->edUrl->text();
    if (text.isEmpty())
        return;
    const QUrl url(text);
    if (setup_.openUrl)
        setup_.openUrl(url);
    else
        QDesktopServices::openUrl(url);
}

// ---- adapters and language -----------------------------------------------------------------

void TfrmMain::cmbCardsChange() {
    Ui::frmMain& f = *ui_;
    const QVariant data = f.cmbCards->currentData();
    const int index = data.isValid() ? data.toInt() : -1;
    if (index < 0 || static_cast<std::size_t>(index) >= adapters_.size()) {
        for (QLineEdit* edit : {f.edCurIP, f.edCurSubmask, f.edCurGate, f.edCurDNS, f.edCurDNS2})
            edit->clear();
        return;
    }
    const TNET_CARD& card = adapters_[static_cast<std::size_t>(index)];
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
    const char* encoding = LanguageEncoding(CurrentLanguage());
    const TLangFile file = TLangFile::Open(LanguageFilePath(), encoding);
    int selected = -1;
    if (const TLangFile::TSection* lans = file.FindSection("Lans")) {
        // The names are in the file's own code page, so they are matched as bytes.
        for (const TLangFile::TEntry& entry : lans->entries) {
            const QString code = DecodeText(entry.value, encoding).trimmed();
            lan->addItem(DecodeText(entry.key, encoding), code);
            if (code.compare(CurrentLanguage(), Qt::CaseInsensitive) == 0)
                selected = lan->count() - 1;
        }
    }
    lan->setCurrentIndex(selected);
}

void TfrmMain::cmbLanChange() {
    Ui::frmMain& f = *ui_;
    if (f.cmbLan->currentIndex() >= 0) {
        const int card = f.cmbCards->currentIndex();
        const QString code = f.cmbLan->currentData().toString();
        SetLanguage(code);
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

// ---- the details panel ---------------------------------------------------------------------

void TfrmMain::RefreshDetails() {
    Ui::frmMain& f = *ui_;
    const TDevInfo* record = SelectedRecord();
    const bool selected = record != nullptr;
    shownAny_ = selected;
    shownMac_ = selected ? record->mac : std::string();

    // 1. Apply and every control of both tabs follow the selection.
    f.btnApply->setEnabled(selected);
    for (QWidget* tab : {f.tabGeneral, f.tabOther}) {
        for (QWidget* w : tab->findChildren<QWidget*>())
            w->setEnabled(selected);
    }
    // 2.
    f.edName->setReadOnly(false);
    f.edName->setPalette(QPalette());
    // 3.
    if (!selected) {
        SetTextIfChanged(f.edName, QString());
        f.edName->setMaxLength(kNameTypedMax);
        f.edIP->SetIPString(QStringLiteral("0.0.0.0"));
        f.edSubMask->SetIPString(QStringLiteral("0.0.0.0"));
        f.edGateway->SetIPString(QStringLiteral("0.0.0.0"));
        SetTextIfChanged(f.edUrl, QString());
        if (!f.lblMac->text().isEmpty())
            f.lblMac->clear();
        SetTextIfChanged(f.edVersion, QString());
        return;
    }
    const TDevInfo& r = *record;
    // 4. A fresh copy of the connection types, nothing selected.
    {
        const QSignalBlocker blocker(f.cmbIPAss);
        f.cmbIPAss->clear();
        for (int i = 0; i < f.cmbIPAssBak->count(); ++i)
            f.cmbIPAss->addItem(f.cmbIPAssBak->itemText(i), f.cmbIPAssBak->itemData(i));
        f.cmbIPAss->setCurrentIndex(-1);
    }
    // 5. Families 2 and 3 keep their names.
    if (r.family == kFamilyMoi || r.family == kFamilyUicam) {
        f.edName->setReadOnly(true);
        QPalette palette = f.edName->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        f.edName->setPalette(palette);
    }
    // 6.
    f.btnUpgrade->setVisible(FamilyHasUpgrade(r.family));
    upgradeFamily_ = r.family;
    // 7. The port field keeps its value within 1..65535.
    // The whole name is shown (setText would cut it to the field's limit); typing stays
    // limited.
    const QString name = DecodeDeviceText(r.name);
    if (f.edName->text() != name) {
        f.edName->setMaxLength(std::max<int>(kNameTypedMax, static_cast<int>(name.size())));
        f.edName->setText(name);
    }
    const int port = std::clamp<int>(r.httpPort, f.edPort->minimum(), f.edPort->maximum());
    if (f.edPort->value() != port || f.edPort->text() != QString::number(port))
        f.edPort->setValue(port);
    // 8. The entry of the record's connection type.
    const int entry = f.cmbIPAss->findData(static_cast<int>(r.ipMode));
    if (entry >= 0) {
        const QSignalBlocker blocker(f.cmbIPAss);
        f.cmbIPAss->setCurrentIndex(entry);
    }
    if (entry >= 0)
        cmbIPAssChange();
    // 9.
    f.edIP->SetIPString(DecodeDeviceText(r.ip));
    f.edSubMask->SetIPString(DecodeDeviceText(r.mask));
    f.edGateway->SetIPString(DecodeDeviceText(r.gateway));
    // 10.
    QString mac = DecodeDeviceText(r.mac);
    mac.replace(QLatin1Char(' '), QLatin1Char('0'));
    if (f.lblMac->text() != mac)
        f.lblMac->setText(mac);
    SetTextIfChanged(f.edVersion, DecodeDeviceText(r.version));
    QString url = QStringLiteral("http://") + DecodeDeviceText(r.ip);
    if (r.httpPort != 80)
        url += QLatin1Char(':') + QString::number(r.httpPort);
    SetTextIfChanged(f.edUrl, url);
    // 11.
    const bool showType = r.family != kFamilyMoi;
    f.cmbIPAss->setVisible(showType);
    f.Label4->setVisible(showType);
    // 12. Some families have no PPPoE.
    if (FamilyWithoutPppoe(r.family) && f.cmbIPAss->count() > 0) {
        const QSignalBlocker blocker(f.cmbIPAss);
        const int current = f.cmbIPAss->currentIndex();
        f.cmbIPAss->removeItem(0);
        f.cmbIPAss->setCurrentIndex(current <= 0 ? -1 : current - 1);
    }
}

void TfrmMain::cmbIPAssChange() {
    Ui::frmMain& f = *ui_;
    if (f.cmbIPAss->currentIndex() < 0)
        return;
    const int value = f.cmbIPAss->currentData().toInt();
    const bool shown = value == 1 || value == 2;
    for (QWidget* w : std::initializer_list<QWidget*>{f.lblIP, f.edIP, f.lblSubmask, f.edSubMask,
                                                      f.lblGateway, f.edGateway})
        w->setVisible(shown);
    for (QWidget* w : std::initializer_list<QWidget*>{f.edIP, f.edSubMask, f.edGateway})
        w->setEnabled(value == 2);
}

TEditedValues TfrmMain::PanelValues() const {
    const Ui::frmMain& f = *ui_;
    TEditedValues values;
    const TDevInfo* record = SelectedRecord();
    values.name =
        EncodeLikeDevice(f.edName->text().trimmed(), record ? record->name : std::string());
    values.portText = f.edPort->text().toStdString();
    if (f.cmbIPAss->currentIndex() >= 0)
        values.ipMode = f.cmbIPAss->currentData().toInt();
    values.ip = f.edIP->IPString().toStdString();
    values.mask = f.edSubMask->IPString().toStdString();
    values.gateway = f.edGateway->IPString().toStdString();
    return values;
}

bool TfrmMain::ReadDetailsInto(TDevInfo& record) {
    std::string messageKey;
    if (TApplyFlow::ReadDetailsInto(PanelValues(), record, &messageKey, nullptr))
        return true;
    if (messageKey == "IDS_INPUTPORT")
        ui_->edPort->setFocus();
    else if (messageKey == "IDS_ERRIPCAM")
        ui_->cmbIPAss->setFocus();
    return false;
}

bool TfrmMain::AskCredentials(QString& user, QString& password) {
    if (setup_.askCredentials)
        return setup_.askCredentials(this, user, password);
    return TfrmAuthInput::Ask(this, user, password);
}

void TfrmMain::btnApplyClick() {
    const TDevInfo* selected = SelectedRecord();
    if (selected == nullptr || !applyFlow_)
        return;
    // The flow works on its own copy: the row may change or go while its dialog is open. On
    // success it removes the device's row and searches again.
    lastApply_ = applyFlow_->Apply(*selected, PanelValues());
    if (lastApply_.outcome == TApplyOutcome::kValidationError) {
        if (lastApply_.messageKey == "IDS_INPUTPORT" || lastApply_.messageKey == "IDS_PORTDIGITS")
            ui_->edPort->setFocus();
        else if (lastApply_.messageKey == "IDS_ERRIPCAM")
            ui_->cmbIPAss->setFocus();
    }
}

void TfrmMain::btnUpgradeClick() {
    const TDevInfo* selected = SelectedRecord();
    if (selected == nullptr)
        return;
    const std::string mac = selected->mac;
    if (!RunUpgrade(upgradeFamily_))
        return;
    DeleteDeviceRow(mac);
    btnFindClick();
}

bool TfrmMain::RunUpgrade(std::int32_t family) {
    Ui::frmMain& f = *ui_;
    QString user = QStringLiteral("admin");
    QString password;
    if (!AskCredentials(user, password))
        return false;
    user = user.trimmed();
    password = password.trimmed();
    f.btnUpgrade->setEnabled(false);
    engine_->StopTimer();
    setCursor(Qt::WaitCursor);
    TUpgradeRequest request;
    request.family = family;
    request.host = f.edIP->IPString();
    request.port = f.edPort->value();
    request.user = user;
    request.password = password;
    bool done = false;
    try {
        if (setup_.runUpgradeDialog) {
            done = setup_.runUpgradeDialog(this, request);
        } else {
            TfrmUpgradeSoft dialog(family9_.get(), this);
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
        engine_->StartTimer();
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
    if (selected == nullptr || !applyFlow_)
        return;
    lastApply_ = applyFlow_->SendCommand3(*selected);
}

} // namespace zadari
