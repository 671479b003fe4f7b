#pragma once
// TfrmMain: the main window "ZI Zadari Rurova". It wires the widgets of its form to the device
// list, the search engine, the adapter list, the option file and the language store; everything
// it shows or sends goes through those classes. The window is built in the order of its start-up
// (FormCreate) in the constructor, runs the first search when first shown (FormShow), stops all
// network activity when closed (FormClose) and removes the language files when destroyed
// (FormDestroy).
#include "app/ApplyFlow.h"
#include "app/SearchEngine.h"
#include "net/Adapters.h"
#include "protocols/DevInfo.h"

#include <QMainWindow>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class frmMain;
}

class QModelIndex;

namespace zadari {

class IT517Series;
class TDeviceForwarder;
class TDeviceList;
class TFind_Hisi;
class TLanguageStore;
class TOptionFile;
class TSearchEndpoints;

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

    /// The discovery sockets; empty for none (nothing is sent).
    std::function<std::unique_ptr<TSearchEndpoints>()> makeEndpoints;
    TSearchEngineSetup engine;
    /// The computer's adapters; empty for none.
    std::function<TAdapterList()> listAdapters;
    /// The family-9 client; empty for none.
    std::function<std::unique_ptr<IT517Series>()> makeFamily9;
    /// Whether to load the vendor SDK finder from the program's folder "402".
    bool sdkFinder = false;

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

    /// The program's own parts: real sockets, adapters, family-9 client and SDK finder.
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
    TDeviceList& List() { return *list_; }
    TSearchEngine& Engine() { return *engine_; }
    TSearchEndpoints& Endpoints() { return *endpoints_; }
    const TAdapterList& Adapters() const { return adapters_; }
    IT517Series* Family9() const { return family9_.get(); }
    TFind_Hisi* SdkFinder() const { return finder_.get(); }

    /// The record of the selected row, or nullptr when no row is selected.
    const TDevInfo* SelectedRecord() const;
    /// The display row of the selection, or -1.
    int SelectedRow() const;
    void SelectRow(int row);

    // --- the handlers of the window's life and its components ---
    void RefreshDetails();
    void cmbIPAssChange();
    /// Validates the panel and copies its values into `record`; false (after telling the user)
    /// when something is missing.
    bool ReadDetailsInto(TDevInfo& record);
    void btnFindClick();
    void btnApplyClick();
    void btnUpgradeClick();
    /// The upgrade of the selected camera of `family`; true when it was done.
    bool RunUpgrade(std::int32_t family);
    void btnExportClick();
    void spbOpenClick();
    void cmbLanChange();
    void cmbCardsChange();
    void FillLanguageCombo();
    void UpdateCountLabel();
    /// The hand-over of a device the vendor library found (WM_DEVICE_FOUND), on this thread.
    void DeviceFound(const TDevInfo& record);

    /// The panel's values as the apply flow takes them.
    TEditedValues PanelValues() const;
    /// What the latest Apply (or Ctrl+Alt+Shift+D) did.
    const TApplyResult& LastApply() const { return lastApply_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormDestroy();
    void FitFieldsToFont();
    void CreateSdkFinder();
    void LoadSkin();
    void LoadLogo();
    void FillAdapters();
    void ConnectComponents();
    void SelectionChanged();
    void SelectFirstRowIfNone();
    /// Ctrl+Alt+Shift+D on a selected row (FormShortCut).
    void HiddenCommand();
    /// Deletes the row of the device with this mac, if it is still listed.
    void DeleteDeviceRow(const std::string& mac);
    bool AskCredentials(QString& user, QString& password);
    void CreateApplyFlow();
    QString ProgramDir() const;
    /// option.ini: the per-user file over the program folder's.
    TOptionFile OptionFile() const;

    TMainWindowSetup setup_;
    std::unique_ptr<TLanguageStore> languageStore_;
    std::unique_ptr<Ui::frmMain> ui_;
    std::unique_ptr<TDeviceList> list_;
    std::unique_ptr<TSearchEndpoints> endpoints_;
    std::unique_ptr<TSearchEngine> engine_;
    std::unique_ptr<IT517Series> family9_;
    std::unique_ptr<TDeviceForwarder> forwarder_; ///< outlives the finder that reports to it
    std::unique_ptr<TFind_Hisi> finder_;
    std::unique_ptr<ICredentialsProvider> credentials_;
    std::unique_ptr<TApplyFlow> applyFlow_;
    TApplyResult lastApply_;
    TAdapterList adapters_;
    std::int32_t upgradeFamily_ = 0;
    std::string shownMac_;
    bool shownAny_ = false;
    bool startAborted_ = false;
    bool closed_ = false;
    bool shownOnce_ = false;
    const QEvent* lastShortcutEvent_ = nullptr;
};

} // namespace zadari
