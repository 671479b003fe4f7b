// The window's Apply on a camera that only ONVIF found, against a simulated camera behind a fake
// ONVIF transport: the first Apply reads and shows the camera's settings, the next one changes
// them, and a refused account is shown as a message; nothing leaves the process.
#include "gui/MainWindow.h"

#include "app/DeviceList.h"
#include "controls/IPEdit.h"
#include "i18n/StrRes.h"

#include "access/OnvifTestDevice.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

namespace zadari {
namespace {

using namespace onviftest;

class TForwardingTransport : public IOnvifTransport {
public:
    explicit TForwardingTransport(TSimCamera& camera) : camera_(camera) {}
    TOnvifHttpAnswer Post(const TOnvifHttpRequest& request) override {
        urls.push_back(request.url);
        return camera_.Handle(request);
    }
    std::vector<std::string> urls;

private:
    TSimCamera& camera_;
};

struct TShownBox {
    QString caption;
    QString text;
    int style;
};

class TRecordingPresenter : public TMessagePresenter {
public:
    int ShowMessage(const QString& caption, const QString& text, int style) override {
        boxes.push_back({caption, text, style});
        return MsgResult::kOk;
    }
    std::vector<TShownBox> boxes;
};

template <class T> T* Find(QWidget& w, const char* name) {
    T* found = w.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

class OnvifWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.filePath(QStringLiteral("prog")));
        QDir().mkpath(dir.filePath(QStringLiteral("lang")));
        camera.ip = "192.168.1.40";
        camera.password = "pw";
        camera.scopeName = "Lobby Cam";
        camera.clockMs = [] { return QDateTime::currentMSecsSinceEpoch() + 3600 * 1000LL; };
    }

    std::unique_ptr<TfrmMain> Shown() {
        TMainWindowSetup s;
        s.programPath = dir.filePath(QStringLiteral("prog/zadari"));
        s.userConfigDir = dir.filePath(QStringLiteral("user"));
        s.languageBase = dir.filePath(QStringLiteral("lang"));
        s.oemCodePage = 437;
        s.session.makeOnvifTransport = [this] {
            return std::make_unique<TForwardingTransport>(camera);
        };
        s.askCredentials = [this](QWidget*, QString& user, QString& password) {
            asked.push_back(user + QLatin1Char('/') + password);
            user = QStringLiteral("admin");
            password = typedPassword;
            return true;
        };
        auto w = std::make_unique<TfrmMain>(std::move(s));
        w->resize(900, 600);
        w->show();
        return w;
    }

    /// The camera as WS-Discovery lists it.
    TDevInfo Discovered() const {
        TDevInfo record;
        record.family = kFamilyOnvif;
        record.mac = "00:1A:2B:3C:4D:5E";
        record.macKey = "001A2B3C4D5E";
        record.ip = camera.ip;
        record.name = "Lobby Cam";
        record.httpPort = 80;
        TStandardsInfo info;
        info.onvif.emplace();
        info.onvif->name = "Lobby Cam";
        info.onvif->xaddrs = {"http://" + camera.ip + "/onvif/device_service"};
        record.standards = TStandardsRef(std::move(info));
        return record;
    }

    QTemporaryDir dir;
    TSimCamera camera;
    TRecordingPresenter presenter;
    TScopedMessagePresenter scoped{&presenter};
    QString typedPassword = QStringLiteral("pw");
    std::vector<QString> asked;
};

TEST_F(OnvifWindowTest, TheFirstApplyShowsTheCamerasSettingsAndTheNextChangesThem) {
    auto w = Shown();
    w->Engine().MergeFound(Discovered());
    ASSERT_NE(w->SelectedRecord(), nullptr);
    auto* edName = Find<QLineEdit>(*w, "edName");
    auto* cmbIPAss = Find<QComboBox>(*w, "cmbIPAss");
    auto* edIP = Find<TIPEdit>(*w, "edIP");
    auto* edSubMask = Find<TIPEdit>(*w, "edSubMask");
    auto* edGateway = Find<TIPEdit>(*w, "edGateway");
    auto* btnApply = Find<QPushButton>(*w, "btnApply");
    // Name, connection type (no PPPoE) and addresses are offered as for the other families.
    EXPECT_FALSE(edName->isReadOnly());
    EXPECT_FALSE(cmbIPAss->isHidden());
    ASSERT_EQ(cmbIPAss->count(), 2);
    EXPECT_EQ(cmbIPAss->currentIndex(), -1); // not known before the camera is asked

    btnApply->click();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], QStringLiteral("admin/"));
    EXPECT_FALSE(w->LastApply().Applied());
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].text,
              QStringLiteral("The camera's current settings are shown now. Change them and press "
                             "Apply again."));
    EXPECT_EQ(presenter.boxes[0].style, MsgStyle::kIconInformation);
    EXPECT_TRUE(camera.SetCalls().empty());
    EXPECT_EQ(cmbIPAss->currentText(), QStringLiteral("Fixed IP"));
    EXPECT_EQ(edSubMask->IPString(), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(edGateway->IPString(), QStringLiteral("192.168.0.1"));
    EXPECT_EQ(edName->text(), QStringLiteral("Lobby Cam"));
    EXPECT_EQ(Find<QLineEdit>(*w, "edVersion")->text(), QStringLiteral("2.4.1 build 7"));

    edIP->SetIPString(QStringLiteral("192.168.1.150"));
    edGateway->SetIPString(QStringLiteral("192.168.1.1"));
    btnApply->click();
    EXPECT_EQ(asked.size(), 2u);
    ASSERT_TRUE(w->LastApply().Applied()) << w->LastApply().detail;
    EXPECT_EQ(camera.ip, "192.168.1.150");
    EXPECT_EQ(camera.gateway, "192.168.1.1");
    EXPECT_EQ(camera.reboots, 1);
    EXPECT_EQ(camera.SetCalls(),
              (std::vector<std::string>{"SetNetworkDefaultGateway", "SetNetworkInterfaces",
                                        "SystemReboot"}));
    ASSERT_EQ(presenter.boxes.size(), 2u);
    EXPECT_EQ(presenter.boxes[1].text,
              QStringLiteral("The camera is restarting to use its new settings. It will appear in "
                             "the list again when it answers."));
    // The row went and the search started again.
    EXPECT_EQ(w->List().RowCount(), 0);
}

TEST_F(OnvifWindowTest, ARefusedAccountIsShownAndNothingChanges) {
    typedPassword = QStringLiteral("wrong");
    auto w = Shown();
    w->Engine().MergeFound(Discovered());
    Find<TIPEdit>(*w, "edIP")->SetIPString(QStringLiteral("192.168.1.151"));
    Find<QComboBox>(*w, "cmbIPAss")->setCurrentIndex(1); // Fixed IP
    Find<QPushButton>(*w, "btnApply")->click();
    EXPECT_FALSE(w->LastApply().Applied());
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].text,
              QStringLiteral(
                  "The camera refused the account. Please check the user name and the password."));
    EXPECT_EQ(presenter.boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(presenter.boxes[0].style, MsgStyle::kIconError);
    EXPECT_TRUE(camera.SetCalls().empty());
    EXPECT_EQ(camera.ip, "192.168.1.40");
    EXPECT_EQ(w->List().RowCount(), 1);
}

} // namespace
} // namespace zadari
