#pragma once
// TfrmMain: the main window "ZI Zadari Rurova". It wires the widgets of its form to the session
// (device list, search engine, apply flow), the details panel, the adapter list, the option file
// and the language store; everything it shows or sends goes through those classes. The window is
// built in the order of its start-up (FormCreate) in the constructor, runs the first search when
// first shown (FormShow), stops all network activity when closed (FormClose) and removes the
// language files when destroyed (FormDestroy).
#include "app/ApplyFlow.h"
#include "app/Session.h"
#include "gui/FleetDialog.h"
#include "gui/FleetUpgradeDialog.h"
#include "net/Adapters.h"
#include "protocols/DevInfo.h"

#include <QMainWindow>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Ui {
class frmMain;
}

namespace zadari {

class TAdapterFields;
class TDetailsPanel;
class TLanguageStore;
class TOptionFile;

/// The fields the upgrade dialog is given (the panel's values and the account).
struct TUpgradeRequest {
    std::int32_t family = 0;
    QString host;
    int port = 80;
    QString user;
    QString password;
};

/// Everything the window takes from outside. A default setup touches no network and no
/// system file beyond the given folders: the program fills in the real parts with ForProgram,
/// tests give fakes.
struct TMainWindowSetup {
    /// The program's file; its folder holds the site-wide option.ini, "logofind.bmp", the skin
    /// (the program's path with ".skn") and the vendor library's folder "402".
    QString programPath;
    /// The per-user folder of option.ini; empty for the user's configuration folder.
    QString userConfigDir;
    /// Where the language store makes its private folder; empty for the usual place.
    QString languageBase;
    /// The OEM code page that picks the first language; empty for the system's.
    std::optional<int> oemCodePage;

    /// The session's parts (sockets, family-9 client, vendor library); by default none.
    TSessionSetup session;
    /// The computer's adapters; empty for none.
    std::function<TAdapterList()> listAdapters;

    /// Asks for a camera's account (presets in, trimmed texts out); false on Cancel. Empty for
    /// the credential dialog.
    std::function<bool(QWidget* owner, QString& user, QString& password)> askCredentials;
    /// Opens a camera's page; empty for the desktop's browser.
    std::function<void(const QUrl& url)> openUrl;
    /// The export file chosen by the user ("" when cancelled); empty for the save dialog.
    std::function<QString(QWidget* owner, const QString& proposedName)> chooseExportFile;
    /// Shows the upgrade dialog for one camera; true when an upgrade succeeded. Empty for the
    /// real dialog.
    std::function<bool(QWidget* owner, const TUpgradeRequest& request)> runUpgradeDialog;
    /// Runs the re-addressing dialog once it is built; empty for exec().
    std::function<void(TFleetDialog& dialog)> runFleetDialog;
    /// The re-addressing dialog's file choosers and verification time.
    TFleetDialogSetup fleet;
    /// Runs the fleet upgrade dialog once it is built; empty for exec().
    std::function<void(TFleetUpgradeDialog& dialog)> runFleetUpgradeDialog;
    /// The fleet upgrade dialog's file choosers, limits and (for tests) uploads.
    TFleetUpgradeDialogSetup fleetUpgrade;

    /// The program's own parts: real sockets, adapters, family-9 client and vendor library.
    static TMainWindowSetup ForProgram(const QString& programPath);
};

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(TMainWindowSetup setup, QWidget* parent = nullptr);
    ~TfrmMain() override;

    /// True when the start-up was abandoned (the user declined to go on without the multicast
    /// sockets); the program then ends without showing the window.
    bool StartAborted() const { return startAborted_; }

    Ui::frmMain& Form() { return *ui_; }
    TSession& Session() { return *session_; }
    TDeviceList& List() { return session_->List(); }
    TSearchEngine& Engine() { return session_->Engine(); }
    const TAdapterList& Adapters() const;

    /// The record of the selected row, or nullptr when no row is selected.
    const TDevInfo* SelectedRecord() const;
    /// The display row of the selection (its current row when several are selected), or -1.
    int SelectedRow() const;
    /// The records of every selected row, in display order.
    std::vector<TDevInfo> SelectedRecords() const;
    void SelectRow(int row);

    /// What the latest Apply (or Ctrl+Alt+Shift+D) did.
    const TApplyResult& LastApply() const { return lastApply_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void ConnectComponents();
    void ConnectList();
    void RefreshDetails();
    void SelectionChanged();
    void SelectFirstRowIfNone();
    void UpdateCountLabel();
    void btnFindClick();
    void btnApplyClick();
    void btnUpgradeClick();
    /// The upgrade of the selected camera of `family`; true when it was done.
    bool RunUpgrade(std::int32_t family);
    void btnExportClick();
    /// "Re-address…" for the selected rows.
    void ReaddressSelected();
    /// "Fleet upgrade…" for the selected rows.
    void UpgradeSelected();
    void spbOpenClick();
    void cmbLanChange();
    /// Ctrl+Alt+Shift+D on a selected row (FormShortCut).
    void HiddenCommand();
    /// Shows the message an Apply came back with and puts the focus where it points.
    void ShowApplyMessage();
    bool AskCredentials(QString& user, QString& password);
    QString ProgramDir() const;
    /// option.ini: the per-user file over the program folder's.
    TOptionFile OptionFile() const;

    TMainWindowSetup setup_;
    std::unique_ptr<TLanguageStore> languageStore_;
    std::unique_ptr<Ui::frmMain> ui_;
    TDetailsPanel* details_ = nullptr;
    std::unique_ptr<ICredentialsProvider> credentials_;
    std::unique_ptr<TSession> session_;
    TApplyResult lastApply_;
    TAdapterFields* adapters_ = nullptr;
    QAction* readdress_ = nullptr;
    QAction* fleetUpgrade_ = nullptr;
    bool startAborted_ = false;
    bool closed_ = false;
    bool shownOnce_ = false;
};

} // namespace zadari
