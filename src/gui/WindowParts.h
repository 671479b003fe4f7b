#pragma once
// Small pieces of the main window that need none of its state: the skin and logo beside the
// program, the credential dialog as the apply flow's account provider, the wait cursor, and the
// hidden Ctrl+Alt+Shift+D shortcut.
#include "app/Credentials.h"
#include "app/DeviceList.h"
#include "net/Adapters.h"

#include <QKeyCombination>

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <vector>

class QAbstractItemView;
class QAction;
class QComboBox;
class QHeaderView;
class QItemSelectionModel;
class QLabel;
class QLineEdit;
class QWidget;

namespace zadari {

/// Loads "<program>.skn" beside the program as the application's style sheet, when present.
void LoadSkin(const QString& programPath);
/// Shows "logofind.bmp" of `programDir` in `logo`, 40 pixels high, when present.
void LoadLogo(const QString& programDir, QLabel* logo);

/// The row a details panel follows: the current row when it is selected, else the first
/// selected one; -1 when none (or the selection is out of the model's `rowCount`).
int CurrentSelectedRow(const QItemSelectionModel* selection, int rowCount);
/// The records of every selected row of `list`, in display order.
std::vector<TDevInfo> RecordsOfSelectedRows(const QItemSelectionModel* selection,
                                            const TDeviceList& list);
/// The list's header: clickable with a sort indicator, the name column taking the room.
void SetUpListHeader(QHeaderView* header);
/// An action of the view's context menu with a window-wide shortcut; its text is the message
/// `textKey` (set again after a language change).
QAction* AddListAction(QAbstractItemView* view, const char* name, const char* textKey,
                       QKeyCombination shortcut, std::function<void()> triggered);

/// Asks where to save a fleet report (`choose`, else the save dialog proposing `proposedName`)
/// and writes it atomically: JSON for a ".json" file, else CSV. A failure is shown in a box.
void SaveFleetReport(QWidget* owner, const std::function<QString(QWidget*)>& choose,
                     const QString& proposedName, const std::string& json, const std::string& csv);

/// Lists the current language file's languages in `combo` (its data the codes), the current
/// language selected; no signal is sent.
void FillLanguageCombo(QComboBox* combo);

/// The adapters box: the computer's adapters in a combo, the chosen one's address, mask,
/// gateway and name servers in five fields.
class TAdapterFields : public QObject {
public:
    TAdapterFields(QComboBox* cards, std::array<QLineEdit*, 5> fields, QObject* parent);
    ~TAdapterFields() override;
    /// Lists `adapters` and shows the first.
    void Fill(TAdapterList adapters);
    /// Shows the adapter chosen in the combo (nothing when none is).
    void ShowChosen();
    /// Room for the longest address in the current font.
    void FitToFont();
    const TAdapterList& Adapters() const { return adapters_; }

private:
    QComboBox* cards_;
    std::array<QLineEdit*, 5> fields_;
    TAdapterList adapters_;
};

/// The apply flow's credential provider: asks through `ask` (the credential dialog).
class TDialogCredentials : public ICredentialsProvider {
public:
    explicit TDialogCredentials(std::function<bool(QString&, QString&)> ask)
        : ask_(std::move(ask)) {}
    std::optional<TCredentials> AskCredentials(std::int32_t, const TCredentials& presets) override;

private:
    std::function<bool(QString&, QString&)> ask_;
};

/// The wait cursor over the whole application while it lives.
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
    /// Shows (true) or takes back (false) one wait cursor.
    static void Set(bool busy);
};

/// Calls `pressed` once per Ctrl+Alt+Shift+D pressed in any widget of `window`. The key is not
/// consumed: the window's own key handling still sees it.
class THiddenShortcut : public QObject {
public:
    THiddenShortcut(QWidget* window, std::function<void()> pressed);
    ~THiddenShortcut() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::function<void()> pressed_;
    const QEvent* lastEvent_ = nullptr;
};

} // namespace zadari
