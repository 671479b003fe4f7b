// The main window on the offscreen platform, with recording sockets: nothing leaves the process.
#include "gui/MainWindow.h"

#include "app/DeviceList.h"
#include "i18n/Language.h"
#include "i18n/StrRes.h"
#include "net/SearchEndpoints.h"
#include "upgrade/ui/UpgradeSoft_214.h"

#include "controls/IPEdit.h"
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

namespace zadari {
namespace {

/// Stands in for the vendor library's search (counted in a Find cycle) and its stop.
class TSdkCounter : public IDiscoveryProvider {
public:
    TSdkCounter(int* searches, int* stops) : searches_(searches), stops_(stops) {}
    const char* Name() const override { return "sdk"; }
    bool Start(IDeviceSink&) override { return true; }
    void Stop() override {
        if (stops_ != nullptr)
            ++*stops_;
    }
    bool Search(const TSearchCycle& cycle) override {
        if (cycle.find && searches_ != nullptr)
            ++*searches_;
        return true;
    }

private:
    int* searches_;
    int* stops_;
};

void AddSdkCounter(TSession& session, int* searches, int* stops) {
    session.AddProvider(std::make_unique<TSdkCounter>(searches, stops), 10);
}

/// Picks the language combo's current entry as a user does.
void ActivateLanguage(TfrmMain& w) {
    QComboBox* lan = w.findChild<QComboBox*>(QStringLiteral("cmbLan"));
    lan->activated(lan->currentIndex());
}

struct TSent {
    std::string bytes;
    std::string address;
    std::uint16_t port;
};

class TRecordingSender : public TDatagramSender {
public:
    bool SendTo(TByteView bytes, const std::string& address, std::uint16_t port) override {
        sent.push_back({std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                        address, port});
        return true;
    }
    void Pause(int) override {}
    std::vector<TSent> sent;
};

class TFakeEndpoints : public TSearchEndpoints {
public:
    explicit TFakeEndpoints(bool multicastOk) : multicastOk_(multicastOk) {}
    bool Open(TReceiveHandler handler) override {
        handler_ = std::move(handler);
        ++opened;
        return multicastOk_;
    }
    void Close() override { ++closed; }
    TDatagramSender& Udp(int n) override { return udp[static_cast<std::size_t>(n - 1)]; }
    TDatagramSender& MulticastSender() override { return multicast; }

    std::array<TRecordingSender, kUdpCount> udp;
    TRecordingSender multicast;
    int opened = 0;
    int closed = 0;

private:
    bool multicastOk_;
    TReceiveHandler handler_;
};

struct TShownBox {
    QString caption;
    QString text;
    int style;
};

class TAnsweringPresenter : public TMessagePresenter {
public:
    int ShowMessage(const QString& caption, const QString& text, int style) override {
        boxes.push_back({caption, text, style});
        return answer;
    }
    std::vector<TShownBox> boxes;
    int answer = MsgResult::kOk;
};

// The window's components, found by their object names.
struct TForm {
    explicit TForm(QWidget& w)
        : btnFind(Find<QPushButton>(w, "btnFind")), btnApply(Find<QPushButton>(w, "btnApply")),
          btnClose(Find<QPushButton>(w, "btnClose")),
          btnUpgrade(Find<QPushButton>(w, "btnUpgrade")),
          spbExport(Find<QToolButton>(w, "spbExport")), spbOpen(Find<QToolButton>(w, "spbOpen")),
          ListView(Find<QTreeView>(w, "ListView")), lblDevNum(Find<QLabel>(w, "lblDevNum")),
          lblMac(Find<QLabel>(w, "lblMac")), Label4(Find<QLabel>(w, "Label4")),
          lblIP(Find<QLabel>(w, "lblIP")), lblSubmask(Find<QLabel>(w, "lblSubmask")),
          lblGateway(Find<QLabel>(w, "lblGateway")), cmbCards(Find<QComboBox>(w, "cmbCards")),
          cmbLan(Find<QComboBox>(w, "cmbLan")), cmbIPAss(Find<QComboBox>(w, "cmbIPAss")),
          cmbIPAssBak(Find<QComboBox>(w, "cmbIPAssBak")), edCurIP(Find<QLineEdit>(w, "edCurIP")),
          edCurDNS2(Find<QLineEdit>(w, "edCurDNS2")), edName(Find<QLineEdit>(w, "edName")),
          edUrl(Find<QLineEdit>(w, "edUrl")), edVersion(Find<QLineEdit>(w, "edVersion")),
          edPort(Find<QSpinBox>(w, "edPort")), edIP(Find<TIPEdit>(w, "edIP")),
          edSubMask(Find<TIPEdit>(w, "edSubMask")), edGateway(Find<TIPEdit>(w, "edGateway")),
          TeGroupBox3(Find<QGroupBox>(w, "TeGroupBox3")) {}

    template <class T> static T* Find(QWidget& w, const char* name) {
        T* found = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QPushButton *btnFind, *btnApply, *btnClose, *btnUpgrade;
    QToolButton *spbExport, *spbOpen;
    QTreeView* ListView;
    QLabel *lblDevNum, *lblMac, *Label4, *lblIP, *lblSubmask, *lblGateway;
    QComboBox *cmbCards, *cmbLan, *cmbIPAss, *cmbIPAssBak;
    QLineEdit *edCurIP, *edCurDNS2, *edName, *edUrl, *edVersion;
    QSpinBox* edPort;
    TIPEdit *edIP, *edSubMask, *edGateway;
    QGroupBox* TeGroupBox3;
};

TDevInfo Device(std::int32_t family, const std::string& mac, const std::string& ip,
                std::uint16_t port = 80, std::uint8_t ipMode = 2) {
    TDevInfo d;
    d.family = family;
    d.mac = mac;
    d.name = "cam-" + mac.substr(mac.size() - 2);
    d.ip = ip;
    d.mask = "255.255.255.0";
    d.gateway = "192.168.1.1";
    d.httpPort = port;
    d.ipMode = ipMode;
    d.version = "1.2.3";
    return d;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.filePath(QStringLiteral("prog")));
        QDir().mkpath(dir.filePath(QStringLiteral("lang")));
    }

    TMainWindowSetup WindowSetup() {
        TMainWindowSetup s;
        s.programPath = dir.filePath(QStringLiteral("prog/zadari"));
        s.userConfigDir = dir.filePath(QStringLiteral("user"));
        s.languageBase = dir.filePath(QStringLiteral("lang"));
        s.oemCodePage = 437;
        s.session.makeEndpoints = [this] {
            auto e = std::make_unique<TFakeEndpoints>(multicastOk);
            endpoints = e.get();
            return e;
        };
        s.listAdapters = [] {
            TAdapterList list;
            list.push_back({QStringLiteral("eth0"), QStringLiteral("eth0 (Intel)"),
                            QStringLiteral("192.168.1.1"), QStringLiteral("192.168.1.5"),
                            QStringLiteral("255.255.255.0"), QStringLiteral("8.8.8.8"),
                            QStringLiteral("8.8.4.4")});
            list.push_back({QStringLiteral("wlan0"), QStringLiteral("wlan0"),
                            QStringLiteral("10.0.0.1"), QStringLiteral("10.0.0.7"),
                            QStringLiteral("255.0.0.0"), QStringLiteral("10.0.0.1"), QString()});
            return list;
        };
        s.askCredentials = [this](QWidget*, QString& user, QString& password) {
            ++credentialAsks;
            askedUser = user;
            askedPassword = password;
            if (!credentialsOk)
                return false;
            user = QStringLiteral("admin");
            password = QStringLiteral("pw");
            return true;
        };
        s.openUrl = [this](const QUrl& url) { opened.push_back(url); };
        return s;
    }

    std::unique_ptr<TfrmMain> Make() { return Make(WindowSetup()); }
    std::unique_ptr<TfrmMain> Make(TMainWindowSetup s) {
        auto w = std::make_unique<TfrmMain>(std::move(s));
        w->resize(900, 600);
        return w;
    }
    std::unique_ptr<TfrmMain> Shown() {
        auto w = Make();
        w->show();
        return w;
    }

    QString UserOptionFile() const { return dir.filePath(QStringLiteral("user/option.ini")); }

    QTemporaryDir dir;
    TAnsweringPresenter presenter;
    TScopedMessagePresenter scoped{&presenter};
    TFakeEndpoints* endpoints = nullptr;
    bool multicastOk = true;
    int credentialAsks = 0;
    bool credentialsOk = true;
    QString askedUser;
    QString askedPassword;
    std::vector<QUrl> opened;
};

TEST_F(MainWindowTest, ComponentsCarryTheirNamesAndTheEnglishCaptions) {
    auto w = Make();
    EXPECT_EQ(w->objectName(), QStringLiteral("frmMain"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("ZI Zadari Rurova"));
    for (const char* name :
         {"btnFind",    "btnApply",   "btnClose",    "spbExport",    "spbOpen",     "ListView",
          "lblDevNum",  "cmbCards",   "edCurIP",     "edCurSubmask", "edCurGate",   "edCurDNS",
          "edCurDNS2",  "cmbLan",     "cmbIPAssBak", "cmbIPAss",     "tabGeneral",  "tabOther",
          "edName",     "edPort",     "edIP",        "edSubMask",    "edGateway",   "edUrl",
          "edVersion",  "lblMac",     "btnUpgrade",  "TeGroupBox1",  "TeGroupBox2", "TeGroupBox3",
          "lblCard",    "Label1",     "Label3",      "Label4",       "Label5",      "Label7",
          "Label8",     "Label9",     "Label10",     "Label11",      "Label12",     "lblIP",
          "lblSubmask", "lblGateway", "lblPreMac"})
        EXPECT_NE(w->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    TForm f(*w);
    EXPECT_EQ(f.btnApply->text(), QStringLiteral("&Apply"));
    EXPECT_EQ(f.TeGroupBox3->title(), QStringLiteral("Camera Information"));
    EXPECT_EQ(f.lblDevNum->text(), QStringLiteral("Count:0"));
    EXPECT_TRUE(f.cmbIPAssBak->isHidden());
    ASSERT_EQ(f.cmbIPAssBak->count(), 3);
    EXPECT_EQ(f.cmbIPAssBak->itemText(1), QStringLiteral("Dynamic IP"));
    EXPECT_EQ(f.cmbIPAssBak->itemData(0).toInt(), 0);
    EXPECT_EQ(f.cmbIPAssBak->itemData(2).toInt(), 2);
    QAbstractItemModel* model = f.ListView->model();
    EXPECT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Mode"));
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("IP"));
    // The first adapter is shown.
    EXPECT_EQ(f.cmbCards->count(), 2);
    EXPECT_EQ(f.edCurIP->text(), QStringLiteral("192.168.1.5"));
    EXPECT_EQ(f.edCurDNS2->text(), QStringLiteral("8.8.4.4"));
    EXPECT_TRUE(f.edCurIP->isReadOnly());
    // The language list of the English file, English selected.
    ASSERT_EQ(f.cmbLan->count(), 7);
    EXPECT_EQ(f.cmbLan->currentText(), QStringLiteral("English"));
    // Platform themes append the display name to every dialog's caption: it stays the
    // program's name, not the window's caption.
    EXPECT_NE(QGuiApplication::applicationDisplayName(), w->windowTitle());
}

TEST_F(MainWindowTest, FirstShowRefreshesAndRunsOneCycleWithoutTheSdk) {
    auto w = Make();
    int sdkSearches = 0;
    AddSdkCounter(w->Session(), &sdkSearches, nullptr);
    ASSERT_NE(endpoints, nullptr);
    EXPECT_EQ(endpoints->opened, 1);
    EXPECT_TRUE(endpoints->udp[0].sent.empty());
    w->show();
    ASSERT_FALSE(endpoints->udp[0].sent.empty());
    EXPECT_EQ(endpoints->udp[0].sent.front().bytes, "PELTRAQUERY,0");
    EXPECT_EQ(sdkSearches, 0);
    EXPECT_TRUE(w->Engine().TimerActive());
    // Find clears the list and searches with the SDK.
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:01", "192.168.1.20"));
    TForm(*w).btnFind->click();
    EXPECT_EQ(sdkSearches, 1);
    EXPECT_EQ(w->List().RowCount(), 0);
}

TEST_F(MainWindowTest, NoSelectionDisablesThePanelAndShowsZeroAddresses) {
    auto w = Shown();
    TForm f(*w);
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:01", "192.168.1.20", 8080));
    ASSERT_EQ(w->SelectedRow(), 0);
    EXPECT_TRUE(f.btnApply->isEnabled());
    EXPECT_TRUE(f.edName->isEnabled());
    EXPECT_EQ(f.edIP->IPString(), QStringLiteral("192.168.1.20"));
    w->List().ClearDeviceList();
    EXPECT_EQ(w->SelectedRecord(), nullptr);
    EXPECT_FALSE(f.btnApply->isEnabled());
    for (QWidget* control : std::initializer_list<QWidget*>{
             f.edName, f.edPort, f.cmbIPAss, f.edIP, f.edSubMask, f.edGateway, f.edUrl, f.spbOpen,
             f.edVersion, f.lblMac, f.btnUpgrade})
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    EXPECT_EQ(f.edName->text(), QString());
    EXPECT_EQ(f.edUrl->text(), QString());
    EXPECT_EQ(f.lblMac->text(), QString());
    EXPECT_EQ(f.edVersion->text(), QString());
    EXPECT_EQ(f.edIP->IPString(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(f.edSubMask->IPString(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(f.edGateway->IPString(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(f.lblDevNum->text(), QStringLiteral("Count:0"));
    // Apply with nothing selected does nothing.
    TForm(*w).btnApply->click();
    EXPECT_EQ(credentialAsks, 0);
    EXPECT_TRUE(presenter.boxes.empty());
    EXPECT_EQ(w->LastApply().family, kFamilyNone);
}

TEST_F(MainWindowTest, FirstRowIsSelectedOnlyWhenNoneIs) {
    auto w = Shown();
    TForm f(*w);
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:02", "192.168.1.30"));
    EXPECT_EQ(f.lblDevNum->text(), QStringLiteral("Count:1"));
    EXPECT_EQ(w->SelectedRecord()->mac, "00:11:22:33:44:02");
    // A device sorting before it joins: the selection stays with the first device.
    w->Engine().MergeFound(Device(7, "00:11:22:33:44:03", "192.168.1.10"));
    EXPECT_EQ(f.lblDevNum->text(), QStringLiteral("Count:2"));
    EXPECT_EQ(w->SelectedRecord()->mac, "00:11:22:33:44:02");
    EXPECT_EQ(w->SelectedRow(), 1);
    // The vendor library's hand-over does the same.
    w->List().ClearDeviceList();
    TDevInfo sdk = Device(4, "00-11-22-33-44-04", "192.168.1.40");
    w->Engine().MergeFound(sdk);
    EXPECT_EQ(w->SelectedRecord()->mac, "00-11-22-33-44-04");
    EXPECT_EQ(f.lblDevNum->text(), QStringLiteral("Count:1"));
}

TEST_F(MainWindowTest, HeaderClickSortsAndIpStartsAscending) {
    auto w = Shown();
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:01", "10.0.0.10"));
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:02", "10.0.0.9"));
    EXPECT_EQ(w->List().Row(0).record.ip, "10.0.0.9");
    QHeaderView* header = TForm(*w).ListView->header();
    Q_EMIT header->sectionClicked(2);
    EXPECT_TRUE(w->List().SortDescending());
    EXPECT_EQ(w->List().Row(0).record.ip, "10.0.0.10");
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(MainWindowTest, UrlCarriesThePortUnlessItIs80) {
    auto w = Shown();
    TForm f(*w);
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:01", "192.168.1.20", 80));
    EXPECT_EQ(f.edUrl->text(), QStringLiteral("http://192.168.1.20"));
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:02", "192.168.1.21", 8080));
    w->SelectRow(1);
    EXPECT_EQ(f.edUrl->text(), QStringLiteral("http://192.168.1.21:8080"));
    EXPECT_EQ(f.edPort->value(), 8080);
    f.spbOpen->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("http://192.168.1.21:8080")));
    // A double click on the list opens the selected camera's page too.
    Q_EMIT f.ListView->doubleClicked(f.ListView->model()->index(1, 0));
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(MainWindowTest, AStandardsRowShowsWhatTheProtocolsSaidOpensItsPageAndIsNotApplied) {
    auto w = Shown();
    TForm f(*w);
    TDevInfo d = Device(kFamilyUpnp, "02:5A:00:00:00:01", "192.168.1.20");
    TStandardsInfo info;
    info.upnp.emplace();
    info.upnp->friendlyName = "Lobby";
    info.upnp->manufacturer = "Example Vision";
    info.upnp->udn = "uuid:2fac1234-31f8-11b4-a222-08002b34c003";
    info.upnp->presentationUrl = "http://192.168.1.20:8081/index.html";
    d.standards = TStandardsRef(info);
    w->Engine().MergeFound(d);
    auto* tree = TForm::Find<QTreeWidget>(*w, "tvStandards");
    ASSERT_NE(tree, nullptr);
    std::map<QString, QString> shown;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        shown[tree->topLevelItem(i)->text(0)] = tree->topLevelItem(i)->text(1);
    EXPECT_EQ(shown[QStringLiteral("Manufacturer:")], QStringLiteral("Example Vision"));
    EXPECT_EQ(shown[QStringLiteral("UUID:")],
              QStringLiteral("uuid:2fac1234-31f8-11b4-a222-08002b34c003"));
    EXPECT_EQ(shown[QStringLiteral("Seen via:")], QStringLiteral("UPnP SSDP"));
    if (!qEnvironmentVariableIsEmpty("ZADARI_GUI_GRAB")) {
        TForm::Find<QTabWidget>(*w, "pgcInfo")->setCurrentWidget(tree->parentWidget());
        w->grab().save(qEnvironmentVariable("ZADARI_GUI_GRAB") + QStringLiteral("-standards.png"));
    }
    EXPECT_EQ(TForm(*w).ListView->model()->index(0, 0).data().toString(), QStringLiteral("UPnP"));

    f.spbOpen->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("http://192.168.1.20:8081/index.html")));

    f.btnApply->click();
    EXPECT_EQ(credentialAsks, 0);
    EXPECT_TRUE(w->LastApply().sent.empty());
    EXPECT_EQ(w->LastApply().reason, TNotAppliedReason::kNoCommand);
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].text,
              QStringLiteral("Changing the settings of a device that only UPnP or mDNS found is "
                             "not supported."));

    // A proprietary row says in the tab that no standard protocol found it.
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:09", "192.168.1.9"));
    w->SelectRow(0);
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0),
              QStringLiteral("No standard protocol found this device."));
}

TEST_F(MainWindowTest, PortZeroShowsAsOneAndMacBlanksAsZeros) {
    auto w = Shown();
    TForm f(*w);
    TDevInfo d = Device(5, "00 1a 2b 3c 4d 5e", "192.168.1.20", 0);
    w->Engine().MergeFound(d);
    EXPECT_EQ(f.edPort->value(), 1);
    EXPECT_EQ(f.lblMac->text(), QStringLiteral("0001a02b03c04d05e"));
    EXPECT_EQ(f.edVersion->text(), QStringLiteral("1.2.3"));
}

TEST_F(MainWindowTest, ConnectionTypesDecideTheAddressFields) {
    auto w = Shown();
    TForm f(*w);
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:01", "192.168.1.20", 80, 2));
    ASSERT_EQ(f.cmbIPAss->count(), 3);
    EXPECT_EQ(f.cmbIPAss->currentText(), QStringLiteral("Fixed IP"));
    EXPECT_FALSE(f.edIP->isHidden());
    EXPECT_TRUE(f.edIP->isEnabled());
    EXPECT_TRUE(f.edGateway->isEnabled());

    f.cmbIPAss->setCurrentIndex(1); // Dynamic IP
    EXPECT_FALSE(f.edIP->isHidden());
    EXPECT_FALSE(f.lblSubmask->isHidden());
    EXPECT_FALSE(f.edIP->isEnabled());
    EXPECT_FALSE(f.edSubMask->isEnabled());
    EXPECT_FALSE(f.edGateway->isEnabled());

    f.cmbIPAss->setCurrentIndex(0); // PPPoE
    for (QWidget* hidden : std::initializer_list<QWidget*>{f.lblIP, f.edIP, f.lblSubmask,
                                                           f.edSubMask, f.lblGateway, f.edGateway})
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();

    // Apply sends what the panel shows, also the hidden addresses.
    TForm(*w).btnApply->click();
    EXPECT_EQ(w->LastApply().edited.ipMode, 0);
    EXPECT_EQ(w->LastApply().edited.ip, "192.168.1.20");
}

TEST_F(MainWindowTest, UicamInPppoeHasNoConnectionTypeAndApplyStops) {
    auto w = Shown();
    TForm f(*w);
    w->Engine().MergeFound(Device(3, "00:11:22:33:44:01", "192.168.1.20", 80, 0));
    ASSERT_EQ(f.cmbIPAss->count(), 2);
    EXPECT_EQ(f.cmbIPAss->itemText(0), QStringLiteral("Dynamic IP"));
    EXPECT_EQ(f.cmbIPAss->currentIndex(), -1);
    EXPECT_TRUE(f.edName->isReadOnly());
    EXPECT_FALSE(f.btnUpgrade->isHidden());
    TForm(*w).btnApply->click();
    EXPECT_EQ(w->LastApply().outcome, TApplyOutcome::kValidationError);
    EXPECT_EQ(credentialAsks, 0);
    EXPECT_TRUE(endpoints->udp[2].sent.size() <= 1u); // the first show's query only
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(presenter.boxes[0].style & MsgStyle::kIconMask, MsgStyle::kIconError);
    EXPECT_EQ(w->List().RowCount(), 1);
}

TEST_F(MainWindowTest, FamiliesWithoutPppoeKeepTheirOtherSelection) {
    for (std::int32_t family : {3, 6, 8, 9}) {
        auto w = Shown();
        TForm f(*w);
        w->Engine().MergeFound(Device(family, "00:11:22:33:44:01", "192.168.1.20", 80, 1));
        ASSERT_EQ(f.cmbIPAss->count(), 2) << family;
        EXPECT_EQ(f.cmbIPAss->currentText(), QStringLiteral("Dynamic IP")) << family;
        EXPECT_FALSE(f.edIP->isEnabled()) << family;
        EXPECT_EQ(!f.btnUpgrade->isHidden(), family == 3 || family == 9) << family;
    }
}

TEST_F(MainWindowTest, MoiPanelHasNoConnectionTypeAndAReadOnlyName) {
    auto w = Shown();
    TForm f(*w);
    w->Engine().MergeFound(Device(2, "001122334401", "192.168.1.20", 80, 1));
    EXPECT_TRUE(f.cmbIPAss->isHidden());
    EXPECT_TRUE(f.Label4->isHidden());
    EXPECT_TRUE(f.edName->isReadOnly());
    EXPECT_NE(f.edName->palette().color(QPalette::Base),
              QApplication::palette(f.edName).color(QPalette::Base));
    EXPECT_FALSE(f.btnUpgrade->isHidden());
    credentialsOk = false; // asked for the account, then cancelled: nothing is sent
    TForm(*w).btnApply->click();
    EXPECT_EQ(credentialAsks, 1);
    EXPECT_EQ(askedUser, QStringLiteral("admin"));
    EXPECT_EQ(w->LastApply().edited.ipMode, 1);
    EXPECT_EQ(w->LastApply().reason, TNotAppliedReason::kCancelled);
    EXPECT_EQ(w->List().RowCount(), 1);
    // The next camera's name is editable again, with the ordinary colour.
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:02", "192.168.1.21"));
    w->SelectRow(1);
    EXPECT_FALSE(f.edName->isReadOnly());
    EXPECT_FALSE(f.cmbIPAss->isHidden());
    EXPECT_TRUE(f.btnUpgrade->isHidden());
    EXPECT_EQ(f.edName->palette().color(QPalette::Base),
              QApplication::palette(f.edName).color(QPalette::Base));
}

TEST_F(MainWindowTest, EmptyPortWarnsAndSendsNothing) {
    auto w = Shown();
    TForm f(*w);
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:01", "192.168.1.20"));
    f.edPort->findChild<QLineEdit*>()->clear();
    TForm(*w).btnApply->click();
    EXPECT_EQ(credentialAsks, 0);
    EXPECT_EQ(w->LastApply().outcome, TApplyOutcome::kValidationError);
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].text, QStringLiteral("Please input HTTP port."));
    EXPECT_EQ(presenter.boxes[0].caption, QStringLiteral("Warning"));
}

TEST_F(MainWindowTest, ApplyReadsThePanelIntoACopyAndSearchesAgainOnSuccess) {
    auto w = Shown();
    TForm f(*w);
    TDevInfo peltra = Device(1, "00:11:22:33:44:01", "192.168.1.20");
    peltra.protocolVersion = 2;
    w->Engine().MergeFound(peltra);
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:02", "192.168.1.21"));
    ASSERT_EQ(w->SelectedRecord()->mac, peltra.mac);
    f.edName->setText(QStringLiteral("  lobby  "));
    f.edPort->setValue(8081);
    f.edIP->SetIPString(QStringLiteral("192.168.1.99"));
    int sdkSearches = 0;
    AddSdkCounter(w->Session(), &sdkSearches, nullptr);
    endpoints->udp[0].sent.clear();
    TForm(*w).btnApply->click();
    EXPECT_EQ(credentialAsks, 1);
    EXPECT_EQ(askedUser, QStringLiteral("admin"));
    EXPECT_EQ(askedPassword, QString());
    const TApplyResult& result = w->LastApply();
    EXPECT_TRUE(result.Applied());
    EXPECT_EQ(result.edited.name, "lobby");
    EXPECT_EQ(result.edited.httpPort, 8081);
    EXPECT_EQ(result.edited.ip, "192.168.1.99");
    EXPECT_EQ(result.edited.mask, "255.255.255.0");
    ASSERT_FALSE(endpoints->udp[0].sent.empty());
    EXPECT_EQ(endpoints->udp[0].sent.front().bytes.rfind("PELTRAQUERY,1,", 0), 0u);
    EXPECT_NE(endpoints->udp[0].sent.front().bytes.find("192.168.1.99"), std::string::npos);
    // The row went and Find ran (the list is cleared, the SDK search started).
    EXPECT_EQ(w->List().RowCount(), 0);
    EXPECT_EQ(sdkSearches, 1);
}

TEST_F(MainWindowTest, PeltraWithAnotherCommandSetAsksNothingAndSendsNothing) {
    auto w = Shown();
    TDevInfo old = Device(1, "00:11:22:33:44:01", "192.168.1.20");
    old.protocolVersion = 1;
    w->Engine().MergeFound(old);
    endpoints->udp[0].sent.clear();
    TForm(*w).btnApply->click();
    EXPECT_EQ(credentialAsks, 0);
    EXPECT_TRUE(endpoints->udp[0].sent.empty());
    EXPECT_EQ(w->LastApply().reason, TNotAppliedReason::kProtocolVersion);
    EXPECT_EQ(w->List().RowCount(), 1);
}

TEST_F(MainWindowTest, HdsGatewayIsCheckedBeforeAnyDialog) {
    auto w = Shown();
    TForm f(*w);
    w->Engine().MergeFound(Device(6, "00:11:22:33:44:01", "192.168.1.20"));
    f.edGateway->SetIPString(QStringLiteral("0.0.0.0"));
    endpoints->multicast.sent.clear();
    TForm(*w).btnApply->click();
    EXPECT_EQ(credentialAsks, 0);
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].text, QStringLiteral("Please fill Gateway."));
    EXPECT_EQ(presenter.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_TRUE(endpoints->multicast.sent.empty());
    EXPECT_EQ(w->List().RowCount(), 1);
    // With a gateway the account is asked with the family's presets.
    f.edGateway->SetIPString(QStringLiteral("192.168.1.1"));
    credentialsOk = false;
    TForm(*w).btnApply->click();
    EXPECT_EQ(credentialAsks, 1);
    EXPECT_EQ(askedPassword, QStringLiteral("zeqit"));
}

TEST_F(MainWindowTest, ARefreshOfAnotherRowKeepsTheUsersEdits) {
    auto w = Shown();
    TForm f(*w);
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:01", "192.168.1.20"));
    f.edName->setText(QStringLiteral("typed"));
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:02", "192.168.1.5"));
    TDevInfo changed = Device(1, "00:11:22:33:44:02", "192.168.1.6");
    w->Engine().MergeFound(changed);
    EXPECT_EQ(f.edName->text(), QStringLiteral("typed"));
    // A changed reply of the selected device refreshes the panel.
    TDevInfo mine = Device(1, "00:11:22:33:44:01", "192.168.1.20");
    mine.name = "renamed";
    w->Engine().MergeFound(mine);
    EXPECT_EQ(f.edName->text(), QStringLiteral("renamed"));
}

TEST_F(MainWindowTest, ALongNameIsShownWholeAndSentBackUnchanged) {
    auto w = Shown();
    TForm f(*w);
    TDevInfo peltra = Device(1, "00:11:22:33:44:01", "192.168.1.20");
    peltra.protocolVersion = 2;
    peltra.name = "Lobby-Camera-North1"; // 19 characters
    peltra.name += "\xE9";               // and a Latin-1 byte: 20
    w->Engine().MergeFound(peltra);
    EXPECT_EQ(f.edName->text().size(), 20);
    // Typing cannot make it longer; a name typed from scratch stays within 15.
    f.edName->setFocus();
    f.edName->end(false);
    QTest::keyClicks(f.edName, QStringLiteral("x"));
    EXPECT_EQ(f.edName->text().size(), 20);
    // Only the address changes: the command carries the device's own name bytes.
    f.edIP->SetIPString(QStringLiteral("192.168.1.99"));
    endpoints->udp[0].sent.clear();
    TForm(*w).btnApply->click();
    ASSERT_TRUE(w->LastApply().Applied()) << w->LastApply().detail;
    ASSERT_FALSE(endpoints->udp[0].sent.empty());
    EXPECT_NE(endpoints->udp[0].sent.front().bytes.find("," + peltra.name + ","), std::string::npos)
        << endpoints->udp[0].sent.front().bytes;

    w->Engine().MergeFound(peltra);
    f.edName->selectAll();
    QTest::keyClicks(f.edName, QStringLiteral("abcdefghijklmnopqrst"));
    EXPECT_EQ(f.edName->text(), QStringLiteral("abcdefghijklmno"));
}

TEST_F(MainWindowTest, ARowThatLeavesTakesTheSelectionWithIt) {
    auto w = Shown();
    TForm f(*w);
    const TDevInfo a = Device(1, "00:11:22:33:44:01", "192.168.1.10");
    const TDevInfo b = Device(1, "00:11:22:33:44:02", "192.168.1.20");
    const TDevInfo c = Device(4, "00:11:22:33:44:03", "192.168.1.30");
    for (const TDevInfo& d : {a, b, c})
        w->Engine().MergeFound(d);
    w->SelectRow(1);
    ASSERT_EQ(w->SelectedRecord()->mac, b.mac);
    f.edName->setText(QStringLiteral("typed"));
    // b stops answering; a keeps answering (c, of the vendor library, never ages).
    for (int tick = 0; tick < 10; ++tick) {
        w->Engine().Tick();
        w->Engine().MergeFound(a);
    }
    ASSERT_EQ(w->List().RowCount(), 2);
    EXPECT_EQ(w->SelectedRecord(), nullptr);
    EXPECT_EQ(f.edName->text(), QString());
    EXPECT_FALSE(f.btnApply->isEnabled());
    for (auto& udp : endpoints->udp)
        udp.sent.clear();
    TForm(*w).btnApply->click();
    EXPECT_EQ(credentialAsks, 0);
    for (auto& udp : endpoints->udp)
        EXPECT_TRUE(udp.sent.empty());
    // A vendor-library report that only refreshes its row selects nothing.
    w->Engine().MergeFound(c);
    EXPECT_EQ(w->SelectedRecord(), nullptr);
    // A deleted row leaves nothing selected as well.
    w->SelectRow(0);
    w->List().DeleteRow(0);
    EXPECT_EQ(w->SelectedRecord(), nullptr);
    EXPECT_EQ(f.edName->text(), QString());
}

TEST_F(MainWindowTest, HiddenCommandGoesToFamilyOneOnly) {
    auto w = Shown();
    w->Engine().MergeFound(Device(5, "00:11:22:33:44:01", "192.168.1.20"));
    endpoints->udp[0].sent.clear();
    QTest::keyClick(TForm(*w).ListView, Qt::Key_D,
                    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_TRUE(endpoints->udp[0].sent.empty());
    EXPECT_EQ(w->List().RowCount(), 1);

    w->List().ClearDeviceList();
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:02", "192.168.1.21"));
    QTest::keyClick(TForm(*w).ListView, Qt::Key_D,
                    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    ASSERT_FALSE(endpoints->udp[0].sent.empty());
    EXPECT_EQ(endpoints->udp[0].sent.front().bytes, "PELTRAQUERY,3,00:11:22:33:44:02");
    EXPECT_EQ(endpoints->udp[0].sent.front().port, 10000);
    EXPECT_EQ(w->List().RowCount(), 0); // deleted, then Find cleared the list
}

TEST_F(MainWindowTest, LanguageChangeKeepsTheAdapterAndWritesTheOptionFile) {
    auto w = Shown();
    TForm f(*w);
    f.cmbCards->setCurrentIndex(1);
    EXPECT_EQ(f.edCurIP->text(), QStringLiteral("10.0.0.7"));
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:01", "192.168.1.20"));
    const int french = f.cmbLan->findData(QStringLiteral("fr"));
    ASSERT_GE(french, 0);
    f.cmbLan->setCurrentIndex(french);
    ActivateLanguage(*w);
    EXPECT_EQ(CurrentLanguage(), QStringLiteral("fr"));
    EXPECT_NE(f.btnFind->text(), QStringLiteral("&Find"));
    EXPECT_EQ(f.cmbCards->currentIndex(), 1);
    EXPECT_EQ(f.edCurIP->text(), QStringLiteral("10.0.0.7"));
    EXPECT_TRUE(f.lblDevNum->text().endsWith(QLatin1Char('1')));
    EXPECT_EQ(f.cmbLan->currentIndex(), f.cmbLan->findData(QStringLiteral("fr")));
    EXPECT_NE(QGuiApplication::applicationDisplayName(), w->windowTitle());
    QFile file(UserOptionFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("[Global]")) << text.toStdString();
    EXPECT_TRUE(text.contains("lan=fr")) << text.toStdString();
    file.close();

    // The next start reads it.
    w.reset();
    auto again = Make();
    EXPECT_EQ(CurrentLanguage(), QStringLiteral("fr"));
    EXPECT_NE(again->windowTitle(), QGuiApplication::applicationDisplayName());
    again.reset();
    SetLanguage(QStringLiteral("en"));
}

TEST_F(MainWindowTest, CodePageChoosesTheFirstLanguage) {
    TMainWindowSetup s = WindowSetup();
    s.oemCodePage = 936;
    auto w = Make(std::move(s));
    EXPECT_EQ(CurrentLanguage(), QStringLiteral("cn"));
    EXPECT_EQ(TForm(*w).cmbLan->currentData().toString(), QStringLiteral("cn"));
    w.reset();
    TMainWindowSetup ita = WindowSetup();
    ita.oemCodePage = 1144; // "Ita" has no file
    w = Make(std::move(ita));
    EXPECT_EQ(CurrentLanguage(), QStringLiteral("en"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("ZI Zadari Rurova"));
}

TEST_F(MainWindowTest, CloseStopsTheNetworkAndClearsTheList) {
    auto w = Shown();
    w->Engine().MergeFound(Device(1, "00:11:22:33:44:01", "192.168.1.20"));
    int sdkShutdowns = 0;
    AddSdkCounter(w->Session(), nullptr, &sdkShutdowns);
    const QString folder = LanguageFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(folder));
    TForm(*w).btnClose->click();
    EXPECT_FALSE(w->Engine().TimerActive());
    EXPECT_EQ(endpoints->closed, 1);
    EXPECT_EQ(sdkShutdowns, 1);
    EXPECT_EQ(w->List().RowCount(), 0);
    w.reset();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(MainWindowTest, DecliningToGoOnWithoutMulticastEndsTheStart) {
    multicastOk = false;
    presenter.answer = MsgResult::kNo;
    auto w = Make();
    EXPECT_TRUE(w->StartAborted());
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].style, MsgStyle::kYesNo | MsgStyle::kIconError);
    EXPECT_EQ(presenter.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(endpoints->closed, 1);
    w.reset();

    presenter.boxes.clear();
    presenter.answer = MsgResult::kYes;
    w = Make();
    EXPECT_FALSE(w->StartAborted());
    EXPECT_TRUE(w->Engine().TimerActive());
}

TEST_F(MainWindowTest, ExportProposesIpcamTxt) {
    TMainWindowSetup s = WindowSetup();
    QString proposed;
    const QString target = dir.filePath(QStringLiteral("out.txt"));
    s.chooseExportFile = [&](QWidget*, const QString& name) {
        proposed = name;
        return target;
    };
    auto w = Make(std::move(s));
    w->show();
    w->Engine().MergeFound(Device(1, "00-1a-2b-3c-4d-5e", "192.168.1.20"));
    TForm(*w).spbExport->click();
    EXPECT_EQ(proposed, QStringLiteral("ipcam.txt"));
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("1\tM\tcam-5e\t192.168.1.20\t80\t001A2B3C4D5E\r\n"));
}

TEST_F(MainWindowTest, ExportFailureIsReported) {
    TMainWindowSetup s = WindowSetup();
    s.chooseExportFile = [&](QWidget*, const QString&) {
        return dir.filePath(QStringLiteral("missing/folder/x.txt"));
    };
    auto w = Make(std::move(s));
    TForm(*w).spbExport->click();
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_FALSE(presenter.boxes[0].text.isEmpty());
}

TEST_F(MainWindowTest, UpgradeStopsTheTimerAndDisablesTheButtonOnEveryPath) {
    TMainWindowSetup s = WindowSetup();
    bool dialogResult = false;
    bool timerDuring = true;
    TUpgradeRequest seen;
    s.runUpgradeDialog = [&](QWidget*, const TUpgradeRequest& request) {
        seen = request;
        timerDuring = false;
        return dialogResult;
    };
    auto w = Make(std::move(s));
    w->show();
    w->Engine().MergeFound(Device(9, "00:11:22:33:44:01", "192.168.1.20", 8080));
    TForm f(*w);
    f.edIP->SetIPString(QStringLiteral("192.168.1.77")); // the panel's value counts
    // Cancelled credentials: nothing opens, the timer never stopped.
    credentialsOk = false;
    f.btnUpgrade->click();
    EXPECT_EQ(askedUser, QStringLiteral("admin"));
    EXPECT_EQ(askedPassword, QString());
    EXPECT_TRUE(timerDuring);
    EXPECT_TRUE(w->Engine().TimerActive());
    EXPECT_TRUE(f.btnUpgrade->isEnabled());

    credentialsOk = true;
    // A failed upgrade: the row stays, the timer and the button come back.
    TSearchEngine& engine = w->Engine();
    f.btnUpgrade->click();
    EXPECT_EQ(seen.family, 9);
    EXPECT_EQ(seen.host, QStringLiteral("192.168.1.77"));
    EXPECT_EQ(seen.port, 8080);
    EXPECT_EQ(seen.user, QStringLiteral("admin"));
    EXPECT_EQ(seen.password, QStringLiteral("pw"));
    EXPECT_TRUE(engine.TimerActive());
    EXPECT_TRUE(f.btnUpgrade->isEnabled());
    EXPECT_EQ(w->List().RowCount(), 1);

    // A successful one: the row goes and Find runs.
    dialogResult = true;
    f.btnUpgrade->click();
    EXPECT_TRUE(engine.TimerActive());
    EXPECT_EQ(w->List().RowCount(), 0);
}

TEST_F(MainWindowTest, DuringTheUpgradeTheTimerStandsAndTheButtonIsOff) {
    TMainWindowSetup s = WindowSetup();
    TfrmMain* window = nullptr;
    bool timerDuring = true;
    bool buttonDuring = true;
    s.runUpgradeDialog = [&](QWidget*, const TUpgradeRequest&) {
        timerDuring = window->Engine().TimerActive();
        buttonDuring = TForm(*window).btnUpgrade->isEnabled();
        throw std::runtime_error("dialog failed");
        return true;
    };
    auto w = Make(std::move(s));
    window = w.get();
    w->show();
    w->Engine().MergeFound(Device(2, "001122334401", "192.168.1.20"));
    TForm(*w).btnUpgrade->click();
    EXPECT_FALSE(timerDuring);
    EXPECT_FALSE(buttonDuring);
    EXPECT_TRUE(w->Engine().TimerActive());
    EXPECT_TRUE(TForm(*w).btnUpgrade->isEnabled());
    EXPECT_EQ(w->List().RowCount(), 1);
}

// Every caption fits its control at the window's smallest size in every language, also at twice
// the font size (what 200 % scaling does to the text).
TEST_F(MainWindowTest, CaptionsFitInEveryLanguage) {
    const QFont base = QApplication::font();
    for (const int scale : {1, 2}) {
        QFont font = base;
        font.setPointSizeF(10.0 * scale);
        QApplication::setFont(font);
        for (const char* code : {"en", "cn", "b5", "fr", "jp", "ru", "spa"}) {
            auto w = Make(WindowSetup());
            TForm f(*w);
            const int index = f.cmbLan->findData(QString::fromLatin1(code));
            ASSERT_GE(index, 0) << code;
            f.cmbLan->setCurrentIndex(index);
            ActivateLanguage(*w);
            w->Engine().MergeFound(Device(9, "00:11:22:33:44:01", "192.168.1.20", 8080));
            w->show();
            w->resize(w->minimumSizeHint());
            QApplication::processEvents();
            EXPECT_LE(w->width(), 1100 * scale) << code;
            EXPECT_LE(w->height(), 760 * scale) << code;
            for (QLabel* label : w->findChildren<QLabel*>()) {
                if (!label->isVisible() || label->text().isEmpty())
                    continue;
                EXPECT_GE(label->width(), label->sizeHint().width())
                    << code << " x" << scale << " " << label->objectName().toStdString();
            }
            for (QAbstractButton* button : w->findChildren<QAbstractButton*>()) {
                if (!button->isVisible() || button->text().isEmpty())
                    continue;
                EXPECT_GE(button->width(), button->sizeHint().width())
                    << code << " x" << scale << " " << button->objectName().toStdString();
            }
            if (!qEnvironmentVariableIsEmpty("ZADARI_GUI_GRAB")) {
                w->grab().save(qEnvironmentVariable("ZADARI_GUI_GRAB") + QLatin1Char('-') +
                               QString::fromLatin1(code) + QLatin1Char('-') +
                               QString::number(scale) + QStringLiteral(".png"));
            }
        }
    }
    QApplication::setFont(base);
    SetLanguage(QStringLiteral("en"));
}

// ---- the real window in the e2e namespaces ----------------------------------------------------

// Only inside a namespace of the e2e harness may the window's real sockets send anything.
bool InHarnessNamespace() {
    QProcess ip;
    ip.start(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("identify")});
    if (!ip.waitForFinished(5000))
        return false;
    return ip.readAllStandardOutput().trimmed().startsWith("zadari-e2e-");
}

std::string Listing(TDeviceList& list) {
    std::string text;
    for (int i = 0; i < list.RowCount(); ++i) {
        const TDevInfo& r = list.Row(i).record;
        text += std::to_string(r.family) + " " + r.mac + " " + r.ip + "\n";
    }
    return text;
}

// Run by tests/e2e/test_gui.py in the pc namespace, against the camera simulator: the plan names
// the families to wait for, the device to re-address and the uploads to make.
TEST(WindowInNamespace, FindsAppliesAndUpgrades) {
    const QString planPath = qEnvironmentVariable("ZADARI_E2E_PLAN");
    if (planPath.isEmpty())
        GTEST_SKIP() << "run by tests/e2e/test_gui.py";
    if (!InHarnessNamespace())
        GTEST_SKIP() << "not inside a namespace of the e2e harness";
    QFile planFile(planPath);
    ASSERT_TRUE(planFile.open(QIODevice::ReadOnly));
    const QJsonObject plan = QJsonDocument::fromJson(planFile.readAll()).object();

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TAnsweringPresenter presenter;
    TScopedMessagePresenter scoped(&presenter);
    TMainWindowSetup setup = TMainWindowSetup::ForProgram(dir.filePath(QStringLiteral("zadari")));
    setup.userConfigDir = dir.filePath(QStringLiteral("user"));
    setup.languageBase = dir.path();
    setup.oemCodePage = 437;
    setup.askCredentials = [](QWidget*, QString&, QString&) { return true; }; // the presets
    setup.openUrl = [](const QUrl&) {};
    TfrmMain w(std::move(setup));
    TForm f(w);
    w.show();

    // Cameras of every family appear.
    std::set<int> wanted;
    for (const QJsonValue v : plan.value(QStringLiteral("families")).toArray())
        wanted.insert(v.toInt());
    const int rows = plan.value(QStringLiteral("rows")).toInt();
    const auto everyFamily = [&] {
        std::set<int> seen;
        for (int i = 0; i < w.List().RowCount(); ++i)
            seen.insert(w.List().Row(i).record.family);
        return w.List().RowCount() >= rows &&
               std::includes(seen.begin(), seen.end(), wanted.begin(), wanted.end());
    };
    ASSERT_TRUE(QTest::qWaitFor(everyFamily, 20000)) << Listing(w.List());
    EXPECT_EQ(f.lblDevNum->text(), QStringLiteral("Count:") + QString::number(w.List().RowCount()));
    EXPECT_NE(w.SelectedRecord(), nullptr);

    // Apply re-addresses one, and it comes back with its new address.
    const QJsonObject apply = plan.value(QStringLiteral("apply")).toObject();
    const std::string mac = apply.value(QStringLiteral("mac")).toString().toStdString();
    const QString newIp = apply.value(QStringLiteral("ip")).toString();
    const int row = w.List().RowOfMac(mac);
    ASSERT_GE(row, 0) << Listing(w.List());
    w.SelectRow(row);
    f.cmbIPAss->setCurrentIndex(f.cmbIPAss->findData(2));
    f.edIP->SetIPString(newIp);
    f.btnApply->click();
    EXPECT_TRUE(w.LastApply().Applied()) << w.LastApply().detail;
    const auto readdressed = [&] {
        const int r = w.List().RowOfMac(mac);
        return r >= 0 && w.List().Row(r).record.ip == newIp.toStdString();
    };
    EXPECT_TRUE(QTest::qWaitFor(readdressed, 15000)) << Listing(w.List());

    // A camera only ONVIF found: the first Apply reads its settings, the next re-addresses it.
    const QJsonObject onvif = plan.value(QStringLiteral("onvif")).toObject();
    if (!onvif.isEmpty()) {
        const std::string key = onvif.value(QStringLiteral("macKey")).toString().toStdString();
        const QString onvifIp = onvif.value(QStringLiteral("ip")).toString();
        const auto rowOf = [&] {
            for (int i = 0; i < w.List().RowCount(); ++i) {
                if (w.List().Row(i).record.macKey == key)
                    return i;
            }
            return -1;
        };
        ASSERT_TRUE(QTest::qWaitFor([&] { return rowOf() >= 0; }, 15000)) << Listing(w.List());
        w.SelectRow(rowOf());
        presenter.boxes.clear();
        f.btnApply->click();
        EXPECT_EQ(w.LastApply().reason, TNotAppliedReason::kUnchanged) << w.LastApply().detail;
        EXPECT_EQ(f.edSubMask->IPString(), QStringLiteral("255.255.255.0"));
        EXPECT_EQ(f.cmbIPAss->currentData().toInt(), 2);
        f.edIP->SetIPString(onvifIp);
        f.btnApply->click();
        EXPECT_TRUE(w.LastApply().Applied()) << w.LastApply().detail;
        EXPECT_EQ(presenter.boxes.size(), 2u);
        const auto moved = [&] {
            const int r = rowOf();
            return r >= 0 && w.List().Row(r).record.ip == onvifIp.toStdString();
        };
        EXPECT_TRUE(QTest::qWaitFor(moved, 15000)) << Listing(w.List());
    }

    // Each upgrade reaches its camera through the dialog.
    for (const QJsonValue value : plan.value(QStringLiteral("upgrades")).toArray()) {
        const QJsonObject upgrade = value.toObject();
        const std::string target = upgrade.value(QStringLiteral("mac")).toString().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.List().RowOfMac(target) >= 0; }, 15000))
            << target << "\n"
            << Listing(w.List());
        w.SelectRow(w.List().RowOfMac(target));
        ASSERT_FALSE(f.btnUpgrade->isHidden());
        presenter.boxes.clear();
        bool started = false;
        QElapsedTimer since;
        since.start();
        QTimer driver;
        driver.setInterval(50);
        QObject::connect(&driver, &QTimer::timeout, &w, [&] {
            auto* dialog = qobject_cast<TfrmUpgradeSoft*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            if (!started) {
                started = true;
                EXPECT_FALSE(w.Engine().TimerActive());
                EXPECT_FALSE(f.btnUpgrade->isEnabled());
                dialog->Edit1()->setText(upgrade.value(QStringLiteral("file")).toString());
                dialog->RadioButton1()->setChecked(
                    upgrade.value(QStringLiteral("system")).toBool());
                dialog->BitBtn2()->click();
            } else if (!dialog->Uploading() &&
                       (!presenter.boxes.empty() || since.elapsed() > 90000)) {
                dialog->reject(); // a failed upload: leave the dialog, the test reports it
            }
        });
        driver.start();
        f.btnUpgrade->click();
        driver.stop();
        EXPECT_TRUE(started);
        ASSERT_FALSE(presenter.boxes.empty()) << target;
        EXPECT_EQ(presenter.boxes.back().text, QStringLiteral("Upgrade success!")) << target;
        EXPECT_TRUE(w.Engine().TimerActive());
    }
    w.close();
}

TEST_F(MainWindowTest, ReaddressesTheSelectedRowsThroughAPlanItPreviews) {
    auto w = Shown();
    TForm f(*w);
    std::vector<TDevInfo> cameras;
    for (int i = 0; i < 4; ++i) {
        TDevInfo d = Device(1, "00:11:22:33:44:0" + std::to_string(i + 1),
                            "192.168.1." + std::to_string(10 + i));
        d.protocolVersion = 2;
        cameras.push_back(d);
        w->Engine().MergeFound(d);
    }
    // Three rows selected with the keyboard: the first, then Shift+Down twice.
    w->SelectRow(0);
    f.ListView->setFocus();
    QTest::keyClick(f.ListView, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(f.ListView, Qt::Key_Down, Qt::ShiftModifier);
    ASSERT_EQ(w->SelectedRecords().size(), 3u);
    // The details panel follows the current row.
    EXPECT_EQ(w->SelectedRecord()->mac, cameras[2].mac);

    QTemporaryDir files;
    const QString planPath = files.filePath(QStringLiteral("plan.csv"));
    {
        QFile plan(planPath);
        ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
        plan.write("mac,ip,mask,gateway,name\n"
                   "00:11:22:33:44:01,192.168.1.50,,,\n"
                   "00:11:22:33:44:02,192.168.1.50,,,\n");
    }
    const QString reportPath = files.filePath(QStringLiteral("report.json"));
    TMainWindowSetup setup = WindowSetup();
    int shown = 0;
    auto checkDialog = [&](TFleetDialog& dialog) {
        ++shown;
        TFleetModel& model = dialog.Model();
        auto cell = [&](int row, int column) {
            return model.data(model.index(row, column)).toString();
        };
        // The range starts at the first camera's address and skips every address in use.
        ASSERT_EQ(model.rowCount(), 3);
        EXPECT_EQ(cell(0, TFleetModel::kNewIp), QStringLiteral("192.168.1.14"));
        EXPECT_EQ(cell(1, TFleetModel::kNewIp), QStringLiteral("192.168.1.15"));
        EXPECT_EQ(cell(2, TFleetModel::kNewIp), QStringLiteral("192.168.1.16"));
        QPushButton* start = dialog.findChild<QPushButton*>(QStringLiteral("btnStart"));
        EXPECT_TRUE(start->isEnabled());

        // A plan file with one address twice: the preview says so and nothing can start.
        dialog.LoadPlanFile(planPath);
        EXPECT_FALSE(dialog.Plan().Valid());
        EXPECT_FALSE(start->isEnabled());
        bool conflictShown = false;
        for (int row = 0; row < model.rowCount(); ++row)
            conflictShown =
                conflictShown || cell(row, TFleetModel::kState) == GetStrRes("IDS_PLAN_DUPIP");
        EXPECT_TRUE(conflictShown);

        // The range again, and the run: each camera answers at its new address.
        dialog.findChild<QPushButton*>(QStringLiteral("btnMakePlan"))->click();
        ASSERT_TRUE(start->isEnabled());
        for (auto& udp : endpoints->udp)
            udp.sent.clear();
        start->click();
        ASSERT_NE(dialog.Run(), nullptr);
        std::vector<QString> liveStates;
        QObject::connect(dialog.Run(), &TFleetRun::CameraChanged, &dialog, [&](int index) {
            const TFleetCamera& camera = dialog.Run()->Cameras()[static_cast<std::size_t>(index)];
            liveStates.push_back(cell(index, TFleetModel::kState));
            if (camera.status == TFleetStatus::kVerifying) {
                TDevInfo moved = camera.listed;
                moved.ip = camera.newIp;
                QTimer::singleShot(10, &dialog, [&w, moved] { w->Engine().MergeFound(moved); });
            }
        });
        QElapsedTimer waited;
        waited.start();
        while (!dialog.Run()->Done() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        ASSERT_TRUE(dialog.Run()->AllVerified());
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(cell(row, TFleetModel::kState), GetStrRes("IDS_FLEET_VERIFIED"));
        EXPECT_NE(std::find(liveStates.begin(), liveStates.end(), GetStrRes("IDS_FLEET_VERIFYING")),
                  liveStates.end());
        std::size_t sent = 0;
        for (auto& udp : endpoints->udp)
            sent += udp.sent.size();
        EXPECT_EQ(sent, 3u);
        EXPECT_EQ(dialog.findChild<QProgressBar*>(QStringLiteral("pbFleet"))->value(), 3);
        if (!qEnvironmentVariableIsEmpty("ZADARI_GUI_GRAB"))
            dialog.grab().save(qEnvironmentVariable("ZADARI_GUI_GRAB") +
                               QStringLiteral("-readdress.png"));
        dialog.SaveReport();
        const QJsonArray report = QJsonDocument::fromJson([&] {
                                      QFile file(reportPath);
                                      file.open(QIODevice::ReadOnly);
                                      return file.readAll();
                                  }())
                                      .array();
        ASSERT_EQ(report.size(), 3);
        EXPECT_EQ(report[0].toObject()[QStringLiteral("status")].toString(),
                  QStringLiteral("verified"));
    };
    w->close();
    setup.runFleetDialog = checkDialog;
    setup.fleet.chooseReportFile = [&](QWidget*) { return reportPath; };
    setup.fleet.verifyMs = 5000;
    auto window = Make(std::move(setup));
    window->show();
    w.reset();
    w = std::move(window);
    TForm g(*w);
    for (const TDevInfo& d : cameras)
        w->Engine().MergeFound(d);
    w->SelectRow(0);
    g.ListView->setFocus();
    QTest::keyClick(g.ListView, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(g.ListView, Qt::Key_Down, Qt::ShiftModifier);
    // The list's context menu holds the action, Ctrl+R its shortcut.
    QAction* readdress = g.ListView->findChild<QAction*>(QStringLiteral("actReaddress"));
    ASSERT_NE(readdress, nullptr);
    EXPECT_TRUE(g.ListView->actions().contains(readdress));
    EXPECT_EQ(readdress->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    readdress->trigger();
    EXPECT_EQ(shown, 1);
}

} // namespace
} // namespace zadari
