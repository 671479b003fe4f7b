#pragma once
// The details panel: the selected camera's name, port, connection type, addresses, page, MAC
// and version, and what the user edited of them. The form makes its fields; Bind hands them to
// the panel, which from then on decides what they show, following the family table.
#include "app/ApplyFlow.h"
#include "protocols/DevInfo.h"

#include <QGroupBox>

#include <string>

namespace Ui {
class frmMain;
}

namespace zadari {

class TDetailsPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit TDetailsPanel(QWidget* parent = nullptr);

    /// Takes the panel's fields from the window's form and connects them.
    void Bind(Ui::frmMain& form);

    /// Shows a copy of `record`; null shows the empty state (every field cleared and disabled).
    void ShowRecord(const TDevInfo* record);
    bool ShowsRecord() const { return showsRecord_; }
    const TDevInfo& Shown() const { return shown_; }

    /// The fields as the apply flow takes them; the name in the encoding of the device's own.
    TEditedValues EditedValues() const;
    /// Moves the focus to the field a validation message is about.
    void FocusFieldOf(const std::string& messageKey);
    /// Room for the longest address and URL in the current font.
    void FitFieldsToFont();
    /// The camera's page as the panel shows it ("" when none): a device found only by standard
    /// protocols shows its presentation page when it names one.
    QString PageUrl() const;
    /// Fills the standards tab again in the current language.
    void Retranslate();
    /// The address and port fields, where an upgrade goes.
    QString EditedHost() const;
    int EditedPort() const;

private:
    void ModeChanged();
    void ShowStandards();

    Ui::frmMain* form_ = nullptr;
    TDevInfo shown_;
    bool showsRecord_ = false;
};

} // namespace zadari
