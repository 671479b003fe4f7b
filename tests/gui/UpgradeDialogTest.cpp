// The upgrade dialog: the file checks, the two ways a file travels, the messages and the rule
// that the dialog cannot be closed while a file travels. HTTP goes to a server of this test on
// 127.0.0.1.
#include "upgrade/ui/UpgradeSoft_214.h"

#include "access/SR_517.h"
#include "i18n/Language.h"
#include "i18n/LanguageStore.h"
#include "i18n/StrRes.h"
#include "i18n/ui/TranslateForm.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace zadari {
namespace {

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

// The family-9 client's uploads, called on the dialog's worker thread.
class TFakeClient : public IT517Series {
public:
    void Search(int, TOnDeviceFound) override {}
    bool SetNetParams(const std::string&, const std::string&, const TDevInfo&) override {
        return false;
    }
    bool UpgradeFirmware(const std::string& baseUrl, const std::string& user,
                         const std::string& password, const QString& fileName,
                         const TUploadProgress& progress) override {
        return Record("firmware", baseUrl, user, password, fileName, progress);
    }
    bool UpgradeWebUI(const std::string& baseUrl, const std::string& user,
                      const std::string& password, const QString& fileName,
                      const TUploadProgress& progress) override {
        return Record("webui", baseUrl, user, password, fileName, progress);
    }

    struct TCall {
        std::string what, baseUrl, user, password;
        QString fileName;
    };
    std::vector<TCall> Calls() {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }

    std::atomic<bool> answer{true};
    std::atomic<bool> hold{false};
    std::atomic<bool> entered{false};

private:
    bool Record(const char* what, const std::string& baseUrl, const std::string& user,
                const std::string& password, const QString& fileName,
                const TUploadProgress& progress) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            calls_.push_back({what, baseUrl, user, password, fileName});
        }
        entered = true;
        if (progress)
            progress(50, 100);
        while (hold)
            QThread::msleep(5);
        return answer;
    }

    std::mutex mutex_;
    std::vector<TCall> calls_;
};

// A one-answer HTTP server: reads the request head and its body, then answers `status`.
class TUploadServer : public QObject {
public:
    explicit TUploadServer(QByteArray answer) : answer_(std::move(answer)) {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Read(socket); });
            }
        });
    }
    quint16 Port() const { return server_.serverPort(); }
    QByteArray request;
    bool answered = false;

private:
    void Read(QTcpSocket* socket) {
        request += socket->readAll();
        const qsizetype end = request.indexOf("\r\n\r\n");
        if (end < 0 || answered)
            return;
        qsizetype length = 0;
        for (const QByteArray& line : request.left(end).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (request.size() < end + 4 + length)
            return;
        answered = true;
        socket->write(answer_);
        socket->flush();
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QByteArray answer_;
};

class UpgradeDialogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString File(const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    void Prepare(TfrmUpgradeSoft& dialog, std::int32_t family, int port = 8080) {
        dialog.DevFamily = family;
        dialog.DevHost = QStringLiteral("127.0.0.1");
        dialog.DevPort = port;
        dialog.DevUser = QStringLiteral("admin");
        dialog.DevPassword = QStringLiteral("pw");
        dialog.show();
    }

    // Clicks Upgrade and waits until the upload's message was shown.
    bool UpgradeAndWait(TfrmUpgradeSoft& dialog) {
        const std::size_t before = presenter.boxes.size();
        dialog.BitBtn2()->click();
        return QTest::qWaitFor([&] { return presenter.boxes.size() > before; }, 20000);
    }

    QTemporaryDir dir;
    TLanguageStore languages{dir.path()}; // the English texts of the messages
    TRecordingPresenter presenter;
    TScopedMessagePresenter scoped{&presenter};
    TFakeClient client;
};

TEST_F(UpgradeDialogTest, ComponentsAndEnglishTexts) {
    TfrmUpgradeSoft dialog(&client);
    EXPECT_EQ(dialog.objectName(), QStringLiteral("frmUpgradeSoft"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Upgrade firmware"));
    EXPECT_EQ(dialog.Label1()->text(), QStringLiteral("Source File:"));
    EXPECT_EQ(dialog.RadioButton1()->text(), QStringLiteral("System Firmware"));
    EXPECT_EQ(dialog.RadioButton2()->text(), QStringLiteral("Embeded Web UI Firmware"));
    EXPECT_FALSE(dialog.RadioButton1()->isChecked());
    EXPECT_TRUE(dialog.RadioButton2()->isChecked());
    EXPECT_EQ(dialog.BitBtn2()->text(), QStringLiteral("&Upgrade"));
    EXPECT_EQ(dialog.BitBtn3()->text(), QStringLiteral("&Close"));
    EXPECT_TRUE(dialog.BitBtn1()->text().isEmpty());
    EXPECT_FALSE(dialog.BitBtn1()->icon().isNull());
    for (const char* name :
         {"Label1", "Edit1", "BitBtn1", "RadioButton1", "RadioButton2", "BitBtn2", "BitBtn3"})
        EXPECT_NE(dialog.findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(dialog.property(FileDialogFilterProperty(QStringLiteral("OpenDialog1")).constData())
                  .toString(),
              QStringLiteral("Firmware(*.bin)|*.bin"));
    if (!qEnvironmentVariableIsEmpty("ZADARI_GUI_GRAB")) {
        dialog.show();
        dialog.Progress()->setVisible(true);
        dialog.Progress()->setRange(0, 1000);
        dialog.Progress()->setValue(420);
        QApplication::processEvents();
        dialog.grab().save(qEnvironmentVariable("ZADARI_GUI_GRAB") +
                           QStringLiteral("-upgrade.png"));
    }
}

TEST_F(UpgradeDialogTest, TextsFollowAChangeOfLanguage) {
    SetLanguage(QStringLiteral("fr"));
    {
        TfrmUpgradeSoft dialog(&client);
        EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Mise à jour du firmware"));
        EXPECT_EQ(dialog.RadioButton1()->text(), QString::fromUtf8("Firmware système"));
        EXPECT_EQ(dialog.BitBtn3()->text(), QStringLiteral("&Fermer"));
    }
    SetLanguage(QStringLiteral("en"));
    TfrmUpgradeSoft dialog(&client);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Upgrade firmware"));
}

TEST_F(UpgradeDialogTest, BrowsePutsTheChosenPathAndCancelKeepsTheText) {
    TfrmUpgradeSoft dialog(&client);
    QStringList filtersSeen;
    QString answer = QStringLiteral("/tmp/fw.bin");
    dialog.chooseFile = [&](QWidget*, const QStringList& filters) {
        filtersSeen = filters;
        return answer;
    };
    dialog.BitBtn1()->click();
    EXPECT_EQ(dialog.Edit1()->text(), QStringLiteral("/tmp/fw.bin"));
    EXPECT_EQ(filtersSeen, QStringList{QStringLiteral("Firmware(*.bin)")});
    answer.clear();
    dialog.BitBtn1()->click();
    EXPECT_EQ(dialog.Edit1()->text(), QStringLiteral("/tmp/fw.bin"));
}

TEST_F(UpgradeDialogTest, AThreeByteFileIsRefusedOnBothPaths) {
    const QString path = File("short.bin", QByteArray("BNE"));
    for (std::int32_t family : {2, 9}) {
        presenter.boxes.clear();
        TfrmUpgradeSoft dialog(&client);
        Prepare(dialog, family);
        dialog.RadioButton1()->setChecked(true);
        dialog.Edit1()->setText(path);
        ASSERT_TRUE(UpgradeAndWait(dialog)) << family;
        EXPECT_EQ(presenter.boxes.back().text, QStringLiteral("The selected file is incorrect."));
        EXPECT_EQ(presenter.boxes.back().caption, QStringLiteral("Error"));
        EXPECT_EQ(presenter.boxes.back().style, MsgStyle::kIconError);
        EXPECT_TRUE(dialog.isVisible()) << family;
        EXPECT_EQ(dialog.result(), 0);
        EXPECT_TRUE(dialog.BitBtn2()->isEnabled());
    }
    EXPECT_TRUE(client.Calls().empty());
}

TEST_F(UpgradeDialogTest, ClientPathSendsTheTrimmedPathAndClosesOnSuccess) {
    const QString path = File("fw.bin", QByteArray("ABCDEFGH"));
    TfrmUpgradeSoft dialog(&client);
    Prepare(dialog, 9, 8080);
    dialog.RadioButton1()->setChecked(true);
    dialog.Edit1()->setText(QStringLiteral("  ") + path + QStringLiteral(" "));
    ASSERT_TRUE(UpgradeAndWait(dialog));
    const auto calls = client.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].what, "firmware");
    EXPECT_EQ(calls[0].baseUrl, "http://127.0.0.1:8080");
    EXPECT_EQ(calls[0].user, "admin");
    EXPECT_EQ(calls[0].password, "pw");
    EXPECT_EQ(calls[0].fileName, path);
    EXPECT_EQ(presenter.boxes.back().text, QStringLiteral("Upgrade success!"));
    EXPECT_EQ(presenter.boxes.back().caption, QStringLiteral("Information"));
    EXPECT_EQ(presenter.boxes.back().style, MsgStyle::kIconInformation);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(UpgradeDialogTest, AFailedUploadKeepsTheDialogOpenForAnotherTry) {
    const QString path = File("ui.bin", QByteArray("ABCDEFGH"));
    client.answer = false;
    TfrmUpgradeSoft dialog(&client);
    Prepare(dialog, 3, 80);
    dialog.Edit1()->setText(path);
    ASSERT_TRUE(UpgradeAndWait(dialog));
    ASSERT_EQ(client.Calls().size(), 1u);
    EXPECT_EQ(client.Calls()[0].what, "webui");
    EXPECT_EQ(client.Calls()[0].baseUrl, "http://127.0.0.1");
    EXPECT_EQ(presenter.boxes.back().text, QStringLiteral("Upgrade failed!"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.BitBtn2()->isEnabled());
    EXPECT_TRUE(dialog.BitBtn3()->isEnabled());
    EXPECT_FALSE(dialog.Progress()->isVisible());
    client.answer = true;
    ASSERT_TRUE(UpgradeAndWait(dialog));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(UpgradeDialogTest, TheDialogStaysWhileTheFileTravels) {
    const QString path = File("fw.bin", QByteArray("ABCDEFGH"));
    client.hold = true;
    TfrmUpgradeSoft dialog(&client);
    Prepare(dialog, 9);
    dialog.Edit1()->setText(path);
    dialog.BitBtn2()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.entered.load(); }, 10000));
    EXPECT_TRUE(dialog.Uploading());
    EXPECT_TRUE(dialog.Progress()->isVisible());
    EXPECT_FALSE(dialog.BitBtn2()->isEnabled());
    EXPECT_FALSE(dialog.BitBtn3()->isEnabled());
    EXPECT_FALSE(dialog.Edit1()->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.Progress()->value() == 500; }, 5000));
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());
    client.hold = false;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !presenter.boxes.empty(); }, 10000));
    EXPECT_FALSE(dialog.Uploading());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(UpgradeDialogTest, MoiPostsTheFileWithTheAccountInTheQuery) {
    const QString path = File("fw.bin", QByteArray("BNEG-firmware"));
    TUploadServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    TfrmUpgradeSoft dialog(&client);
    Prepare(dialog, 2, server.Port());
    dialog.DevUser = QStringLiteral("a&b");
    dialog.RadioButton1()->setChecked(true);
    dialog.Edit1()->setText(path);
    ASSERT_TRUE(UpgradeAndWait(dialog));
    EXPECT_TRUE(server.request.startsWith(
        "POST /upgrade_firmware.cgi?user=a&b&pwd=pw&next_url=reboot.htm HTTP/1.1\r\n"))
        << server.request.left(200).toStdString();
    EXPECT_TRUE(server.request.contains("BNEG-firmware"));
    EXPECT_TRUE(server.request.contains(QByteArray("Host: 127.0.0.1:") +
                                        QByteArray::number(server.Port()) + "\r\n"));
    EXPECT_EQ(presenter.boxes.back().text, QStringLiteral("Upgrade success!"));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(client.Calls().empty());
}

TEST_F(UpgradeDialogTest, MoiWrongSignatureSendsNothingAndARedirectFails) {
    TUploadServer server("HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n");
    TfrmUpgradeSoft dialog(&client);
    Prepare(dialog, 2, server.Port());
    dialog.RadioButton1()->setChecked(true);
    dialog.Edit1()->setText(File("bad.bin", QByteArray("BNEF-firmware")));
    ASSERT_TRUE(UpgradeAndWait(dialog));
    EXPECT_EQ(presenter.boxes.back().text, QStringLiteral("The selected file is incorrect."));
    EXPECT_TRUE(server.request.isEmpty());

    // The web UI wants BD 9A 0C 44 and goes to its own CGI.
    dialog.RadioButton2()->setChecked(true);
    dialog.Edit1()->setText(File("ui.bin", QByteArray("\xBD\x9A\x0C\x44rest", 8)));
    ASSERT_TRUE(UpgradeAndWait(dialog));
    EXPECT_TRUE(server.request.startsWith("POST /upgrade_htmls.cgi?user=admin&pwd=pw&"));
    EXPECT_EQ(presenter.boxes.back().text, QStringLiteral("Upgrade failed!"));
    EXPECT_TRUE(dialog.isVisible());
}

} // namespace
} // namespace zadari
