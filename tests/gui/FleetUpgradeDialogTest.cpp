// The fleet upgrade dialog on the offscreen platform with fake uploads and a list the test plays:
// its fields per family, the file checks before anything starts, the run with its rows, summary
// and report, Cancel and Close while files travel, and the window's context-menu action.
#include "gui/FleetUpgradeDialog.h"

#include "app/Session.h"
#include "gui/MainWindow.h"
#include "i18n/LanguageStore.h"
#include "i18n/StrRes.h"
#include "net/SearchEndpoints.h"
#include "upgrade/UploadJob.h"

#include "common/QuietEndpoints.h"
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>

namespace zadari {
namespace {

class TAsker : public ICredentialsProvider {
public:
    std::optional<TCredentials> AskCredentials(std::int32_t family,
                                               const TCredentials& presets) override {
        asked.push_back(family);
        return presets;
    }
    std::vector<std::int32_t> asked;
};

struct TShownBox {
    QString caption;
    QString text;
};

class TRecordingPresenter : public TMessagePresenter {
public:
    int ShowMessage(const QString& caption, const QString& text, int) override {
        boxes.push_back({caption, text});
        return MsgResult::kOk;
    }
    std::vector<TShownBox> boxes;
};

TDevInfo Camera(std::int32_t family, int n) {
    TDevInfo record;
    record.family = family;
    record.mac = "02:5A:00:00:00:0" + std::to_string(n);
    record.ip = "192.168.1." + std::to_string(10 + n);
    record.httpPort = 80;
    record.name = "cam" + std::to_string(n);
    record.version = "1.0";
    return record;
}

class FleetUpgradeDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        TSessionSetup setup;
        setup.makeEndpoints = [] { return std::make_unique<TQuietEndpoints>(); };
        session = std::make_unique<TSession>(setup, asker);
        selected = {Camera(2, 1), Camera(9, 2), Camera(1, 3), Camera(9, 4)};
        for (const TDevInfo& camera : selected)
            session->Engine().MergeFound(camera);
        goodFile = File("good.bin", "BNEG-firmware");
        wrongFile = File("wrong.bin", "XXXX-firmware");
    }

    QString File(const char* name, const QByteArray& bytes) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    /// Fake uploads: each reports its progress and, while `hold` is set, waits.
    TFleetUpgradeDialogSetup DialogSetup() {
        TFleetUpgradeDialogSetup setup;
        setup.upgrade.silentMs = 30;
        setup.upgrade.settleMs = 60;
        setup.upgrade.backMs = 5000;
        setup.upgrade.makeJob = [this](const TUpgradeTarget& target, TFirmwareKind kind,
                                       const QString& path) {
            jobs.push_back({target.host, path, kind});
            return new TUploadJob([this](const TUploadProgress& progress) {
                const int now = ++running;
                mostRunning = std::max(mostRunning.load(), now);
                for (int sent = 0; sent <= 100; sent += 20) {
                    progress(sent, 100);
                    QThread::msleep(5);
                }
                while (hold)
                    QThread::msleep(5);
                --running;
                return TUpgradeResult::Success;
            });
        };
        setup.chooseFirmwareFile = [this](QWidget*, std::int32_t family) {
            chosenFor.push_back(family);
            return family == 2 ? goodFile : File("nine.bin", "ABCDEF");
        };
        return setup;
    }

    /// A search tick: every camera answers but those restarting, which come back with 2.0.
    void Tick() {
        session->List().AgePass();
        for (const TDevInfo& camera : selected) {
            const auto down = silentFor.find(camera.ip);
            if (down != silentFor.end() && down->second-- > 0)
                continue;
            TDevInfo answer = camera;
            if (uploaded.count(camera.ip) != 0)
                answer.version = "2.0";
            session->Engine().MergeFound(answer);
        }
    }

    /// Plays the cameras until `until` holds (or 15 s pass).
    bool Play(TFleetUpgradeDialog& dialog, const std::function<bool()>& until) {
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [this] { Tick(); });
        ticker.start(20);
        if (dialog.Upgrade() != nullptr && !followed) {
            followed = true;
            QObject::connect(dialog.Upgrade(), &TFleetUpgrade::CameraChanged, &dialog,
                             [this, &dialog](int index) {
                                 const TUpgradeCamera& camera =
                                     dialog.Upgrade()->Cameras()[static_cast<std::size_t>(index)];
                                 if (camera.stage == TUpgradeStage::kRebooting &&
                                     uploaded.insert(camera.listed.ip).second)
                                     silentFor[camera.listed.ip] = 10;
                             });
        }
        return QTest::qWaitFor(until, 15000);
    }

    struct TJob {
        std::string host;
        QString path;
        TFirmwareKind kind;
    };

    QTemporaryDir dir;
    TLanguageStore languages{dir.path()}; // the English texts
    TRecordingPresenter presenter;
    TScopedMessagePresenter scoped{&presenter};
    TAsker asker;
    std::unique_ptr<TSession> session;
    std::vector<TDevInfo> selected;
    QString goodFile;
    QString wrongFile;
    std::vector<TJob> jobs;
    std::vector<std::int32_t> chosenFor;
    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
    std::atomic<bool> hold{false};
    std::map<std::string, int> silentFor;
    std::set<std::string> uploaded;
    bool followed = false;
};

TEST_F(FleetUpgradeDialogTest, OneFileFieldPerFamilyAndTheCamerasThatTakeNoFirmwareLeftOut) {
    TFleetUpgradeDialog dialog(*session, asker, selected, DialogSetup());
    EXPECT_EQ(dialog.objectName(), QStringLiteral("frmFleetUpgrade"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Upgrade the firmware of several cameras"));
    EXPECT_EQ(dialog.Families(), (std::vector<std::int32_t>{2, 9}));
    ASSERT_EQ(dialog.Cameras().size(), 3u);
    EXPECT_NE(dialog.findChild<QLineEdit*>(QStringLiteral("edFile2")), nullptr);
    EXPECT_NE(dialog.findChild<QLineEdit*>(QStringLiteral("edFile9")), nullptr);
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("edFile1")), nullptr);
    QLabel* leftOut = dialog.findChild<QLabel*>(QStringLiteral("lblLeftOut"));
    EXPECT_FALSE(leftOut->isHidden());
    EXPECT_EQ(leftOut->text(), QStringLiteral("1 of the selected cameras take no firmware upgrade "
                                              "and are left out."));
    bool labelled = false;
    for (QLabel* label : dialog.findChildren<QLabel*>())
        labelled = labelled || label->text() == QStringLiteral("Firmware for T cameras (2):");
    EXPECT_TRUE(labelled);
    EXPECT_TRUE(dialog.findChild<QRadioButton*>(QStringLiteral("rbSystem"))->isChecked());
    EXPECT_EQ(dialog.findChild<QSpinBox*>(QStringLiteral("sbParallel"))->value(), 4);
    TFleetUpgradeModel& model = dialog.Model();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.headerData(TFleetUpgradeModel::kStage, Qt::Horizontal).toString(),
              QStringLiteral("Stage"));
    EXPECT_EQ(model.data(model.index(1, TFleetUpgradeModel::kMac)).toString(),
              QStringLiteral("02:5A:00:00:00:02"));
    EXPECT_EQ(model.data(model.index(1, TFleetUpgradeModel::kStage)).toString(),
              QStringLiteral("Waiting"));
    EXPECT_FALSE(dialog.findChild<QPushButton*>(QStringLiteral("btnCancel"))->isEnabled());
    EXPECT_FALSE(dialog.findChild<QPushButton*>(QStringLiteral("btnSaveReport"))->isEnabled());

    // Browse fills the family's own field.
    dialog.findChild<QPushButton*>(QStringLiteral("btnBrowse9"))->click();
    EXPECT_EQ(chosenFor, std::vector<std::int32_t>{9});
    EXPECT_TRUE(dialog.findChild<QLineEdit*>(QStringLiteral("edFile9"))
                    ->text()
                    .endsWith(QStringLiteral("nine.bin")));
    EXPECT_TRUE(dialog.findChild<QLineEdit*>(QStringLiteral("edFile2"))->text().isEmpty());
}

TEST_F(FleetUpgradeDialogTest, NothingStartsUntilEveryFamilyHasAFileThatSuitsIt) {
    TFleetUpgradeDialog dialog(*session, asker, selected, DialogSetup());
    dialog.SetFile(9, goodFile);
    EXPECT_FALSE(dialog.StartUpgrade());
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes.back().text,
              QStringLiteral("Choose a firmware file for every kind of camera first."));
    EXPECT_EQ(presenter.boxes.back().caption, QStringLiteral("Error"));
    // Family 2's system firmware must begin "BNEG".
    dialog.SetFile(2, wrongFile);
    EXPECT_FALSE(dialog.StartUpgrade());
    EXPECT_EQ(presenter.boxes.back().text, QStringLiteral("The selected file is incorrect."));
    EXPECT_EQ(dialog.Upgrade(), nullptr);
    EXPECT_TRUE(asker.asked.empty());
    EXPECT_TRUE(jobs.empty());
    // The same file is a web UI for family 9 but not for family 2 (BD 9A 0C 44).
    dialog.SetFile(2, goodFile);
    dialog.findChild<QRadioButton*>(QStringLiteral("rbWebUi"))->setChecked(true);
    EXPECT_FALSE(dialog.StartUpgrade());
    EXPECT_EQ(presenter.boxes.size(), 3u);
}

TEST_F(FleetUpgradeDialogTest, TheRunShowsEachCameraUntilItIsBackAndSavesTheReport) {
    TFleetUpgradeDialogSetup setup = DialogSetup();
    const QString reportPath = dir.filePath(QStringLiteral("report.csv"));
    setup.chooseReportFile = [&](QWidget*) { return reportPath; };
    TFleetUpgradeDialog dialog(*session, asker, selected, setup);
    dialog.show();
    dialog.SetFile(2, goodFile);
    dialog.SetFile(9, File("nine.bin", "ABCDEF"));
    dialog.findChild<QSpinBox*>(QStringLiteral("sbParallel"))->setValue(2);
    dialog.findChild<QPushButton*>(QStringLiteral("btnStart"))->click();
    ASSERT_NE(dialog.Upgrade(), nullptr);
    EXPECT_FALSE(dialog.findChild<QPushButton*>(QStringLiteral("btnStart"))->isEnabled());
    EXPECT_FALSE(dialog.findChild<QLineEdit*>(QStringLiteral("edFile2"))->isEnabled());
    EXPECT_EQ(asker.asked, (std::vector<std::int32_t>{2, 9}));
    TFleetUpgradeModel& model = dialog.Model();
    std::set<QString> stagesShown;
    QObject::connect(
        &model, &QAbstractItemModel::dataChanged, &dialog, [&](const QModelIndex& from) {
            stagesShown.insert(model.data(model.index(from.row(), TFleetUpgradeModel::kStage))
                                   .toString()
                                   .section(QLatin1Char(' '), 0, 0));
            // The rows' bars are painted while they move.
            dialog.findChild<QTableView*>(QStringLiteral("tvCameras"))->grab();
        });
    ASSERT_TRUE(Play(dialog, [&] { return dialog.Upgrade()->Done(); }));
    EXPECT_TRUE(dialog.Upgrade()->AllDone());
    EXPECT_EQ(jobs.size(), 3u);
    EXPECT_LE(mostRunning.load(), 2);
    EXPECT_EQ(dialog.Upgrade()->MostUploading(), 2);
    for (const TJob& job : jobs) {
        EXPECT_EQ(job.kind, TFirmwareKind::SystemFirmware);
        EXPECT_EQ(job.path.endsWith(QStringLiteral("good.bin")), job.host == "192.168.1.11");
    }
    for (const char* stage : {"Uploading", "Restarting", "Back:", "Done:"})
        EXPECT_EQ(stagesShown.count(QString::fromLatin1(stage)), 1u) << stage;
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(model.data(model.index(row, TFleetUpgradeModel::kStage)).toString(),
                  QStringLiteral("Done: 2.0"));
        EXPECT_EQ(model.data(model.index(row, TFleetUpgradeModel::kUpload)).toString(),
                  QStringLiteral("100 %"));
    }
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("lblSummary"))->text(),
              QStringLiteral("Done: 3, failed: 0, not back: 0, not found: 0, cancelled: 0"));
    EXPECT_EQ(dialog.findChild<QProgressBar*>(QStringLiteral("pbFleet"))->value(), 3);
    EXPECT_TRUE(dialog.findChild<QPushButton*>(QStringLiteral("btnClose"))->isEnabled());
    if (!qEnvironmentVariableIsEmpty("ZADARI_GUI_GRAB"))
        dialog.grab().save(qEnvironmentVariable("ZADARI_GUI_GRAB") +
                           QStringLiteral("-fleet-upgrade.png"));

    dialog.findChild<QPushButton*>(QStringLiteral("btnSaveReport"))->click();
    QFile report(reportPath);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = report.readAll().split('\n');
    ASSERT_EQ(lines.size(), 5); // header, three cameras, the empty end
    EXPECT_EQ(lines[0], "mac,ip,family,status,versionBefore,versionAfter,uploadSeconds,detail");
    EXPECT_TRUE(lines[1].startsWith("02:5A:00:00:00:01,192.168.1.11,2,done,1.0,2.0,"));
}

TEST_F(FleetUpgradeDialogTest, WhileFilesTravelCloseCancelsAndOnceNoneDoesTheDialogCloses) {
    TFleetUpgradeDialog dialog(*session, asker, selected, DialogSetup());
    dialog.show();
    dialog.SetFile(2, goodFile);
    dialog.SetFile(9, goodFile);
    dialog.findChild<QSpinBox*>(QStringLiteral("sbParallel"))->setValue(1);
    hold = true;
    ASSERT_TRUE(dialog.StartUpgrade());
    QPushButton* close = dialog.findChild<QPushButton*>(QStringLiteral("btnClose"));
    QPushButton* cancel = dialog.findChild<QPushButton*>(QStringLiteral("btnCancel"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Upgrade()->Uploading() == 1; }, 5000));
    EXPECT_FALSE(close->isEnabled());
    EXPECT_TRUE(cancel->isEnabled());
    // Esc or the close box: the upgrade is cancelled, the dialog stays.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(dialog.Upgrade()->Cancelled());
    EXPECT_FALSE(cancel->isEnabled());
    hold = false;
    ASSERT_TRUE(Play(dialog, [&] { return dialog.Upgrade()->Uploading() == 0; }));
    EXPECT_TRUE(close->isEnabled());
    EXPECT_EQ(jobs.size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dialog.Upgrade()->Count(TUpgradeStage::kCancelled) == 2; }, 5000));
    // The first camera still restarts; Close leaves it to itself.
    close->click();
    EXPECT_FALSE(dialog.isVisible());
}

TEST(FleetUpgradeWindow, TheListsContextMenuOpensTheDialogForTheSelectedRows) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QDir().mkpath(dir.filePath(QStringLiteral("prog")));
    QDir().mkpath(dir.filePath(QStringLiteral("lang")));
    TMainWindowSetup setup;
    setup.programPath = dir.filePath(QStringLiteral("prog/zadari"));
    setup.userConfigDir = dir.filePath(QStringLiteral("user"));
    setup.languageBase = dir.filePath(QStringLiteral("lang"));
    setup.oemCodePage = 437;
    setup.session.makeEndpoints = [] { return std::make_unique<TQuietEndpoints>(); };
    std::vector<TDevInfo> given;
    int shown = 0;
    setup.runFleetUpgradeDialog = [&](TFleetUpgradeDialog& dialog) {
        ++shown;
        given = dialog.Cameras();
        // The search goes on while the dialog is open.
        EXPECT_TRUE(static_cast<TfrmMain*>(dialog.parentWidget())->Engine().TimerActive());
    };
    TfrmMain window(std::move(setup));
    window.show();
    for (const TDevInfo& camera : {Camera(9, 1), Camera(2, 2), Camera(1, 3)})
        window.Engine().MergeFound(camera);
    QTreeView* list = window.findChild<QTreeView*>(QStringLiteral("ListView"));
    QAction* action = list->findChild<QAction*>(QStringLiteral("actFleetUpgrade"));
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(list->actions().contains(action));
    EXPECT_EQ(action->text(), QStringLiteral("Fleet upgrade..."));
    EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_U));
    list->selectAll();
    ASSERT_EQ(window.SelectedRecords().size(), 3u);
    action->trigger();
    EXPECT_EQ(shown, 1);
    ASSERT_EQ(given.size(), 2u); // family 1 takes no firmware
    std::set<std::int32_t> families{given[0].family, given[1].family};
    EXPECT_EQ(families, (std::set<std::int32_t>{2, 9}));
    window.close();
}

} // namespace
} // namespace zadari
