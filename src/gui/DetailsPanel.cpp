#include "gui/DetailsPanel.h"

#include "ui_MainWindow.h"

#include "app/DeviceText.h"
#include "app/StandardsText.h"
#include "i18n/StrRes.h"
#include "protocols/FamilyTable.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>

#include <algorithm>

namespace zadari {

namespace {

/// The most characters the user may type into edName; a longer name of the device is still
/// shown whole.
constexpr int kNameTypedMax = 15;

// Writes a text only when it differs, so an unchanged value keeps the user's cursor.
void SetTextIfChanged(QLineEdit* edit, const QString& text) {
    if (edit->text() != text)
        edit->setText(text);
}

} // namespace

TDetailsPanel::TDetailsPanel(QWidget* parent) : QGroupBox(parent) {}

void TDetailsPanel::Bind(Ui::frmMain& form) {
    form_ = &form;
    // The values of the connection types.
    for (int i = 0; i < form.cmbIPAssBak->count() && i < 3; ++i)
        form.cmbIPAssBak->setItemData(i, i);
    connect(form.cmbIPAss, &QComboBox::currentIndexChanged, this, [this] { ModeChanged(); });
    // Typing never makes the name longer than kNameTypedMax or than the device's own name:
    // the limit follows the text down as the user shortens a long name.
    connect(form.edName, &QLineEdit::textEdited, this, [this](const QString& text) {
        form_->edName->setMaxLength(std::max<int>(kNameTypedMax, static_cast<int>(text.size())));
    });
}

void TDetailsPanel::ShowRecord(const TDevInfo* record) {
    Ui::frmMain& f = *form_;
    const bool selected = record != nullptr;
    showsRecord_ = selected;
    shown_ = selected ? *record : TDevInfo();

    // 1. Every control of both tabs follows the selection.
    for (QWidget* tab : {f.tabGeneral, f.tabOther, f.tabStandards}) {
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
        ShowStandards();
        return;
    }
    const TDevInfo& r = shown_;
    const TFamilyRow* family = FindFamily(r.family);
    // 4. A fresh copy of the connection types, nothing selected.
    {
        const QSignalBlocker blocker(f.cmbIPAss);
        f.cmbIPAss->clear();
        for (int i = 0; i < f.cmbIPAssBak->count(); ++i)
            f.cmbIPAss->addItem(f.cmbIPAssBak->itemText(i), f.cmbIPAssBak->itemData(i));
        f.cmbIPAss->setCurrentIndex(-1);
    }
    // 5. Some families keep their names.
    if (!NameEditable(r.family)) {
        f.edName->setReadOnly(true);
        QPalette palette = f.edName->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        f.edName->setPalette(palette);
    }
    // 6.
    f.btnUpgrade->setVisible(HasUpgrade(r.family));
    // 7. The whole name is shown (setText would cut it to the field's limit); typing stays
    // limited. The port field keeps its value within 1..65535.
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
        ModeChanged();
    }
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
    if (family != nullptr && family->standard && !StandardsPageUrl(r).isEmpty())
        url = StandardsPageUrl(r);
    SetTextIfChanged(f.edUrl, url);
    ShowStandards();
    // 11.
    const bool showType = IpModeShown(r.family);
    f.cmbIPAss->setVisible(showType);
    f.Label4->setVisible(showType);
    // 12. Some families have no PPPoE.
    if (family != nullptr && !family->pppoeOffered && f.cmbIPAss->count() > 0) {
        const QSignalBlocker blocker(f.cmbIPAss);
        const int current = f.cmbIPAss->currentIndex();
        f.cmbIPAss->removeItem(0);
        f.cmbIPAss->setCurrentIndex(current <= 0 ? -1 : current - 1);
    }
}

void TDetailsPanel::ShowStandards() {
    QTreeWidget* tree = form_->tvStandards;
    tree->clear();
    if (!showsRecord_)
        return;
    const std::vector<TStandardsLine> lines = StandardsLines(shown_);
    if (lines.empty()) {
        auto* item = new QTreeWidgetItem(tree);
        item->setText(0, GetStrRes("IDS_STDNONE"));
        item->setFirstColumnSpanned(true);
        return;
    }
    for (const TStandardsLine& line : lines) {
        auto* item = new QTreeWidgetItem(tree);
        item->setText(0, GetStrRes(line.labelKey.c_str()));
        item->setText(1, line.value);
        item->setToolTip(1, line.value);
    }
    tree->resizeColumnToContents(0);
}

void TDetailsPanel::Retranslate() {
    ShowStandards();
}

void TDetailsPanel::ModeChanged() {
    Ui::frmMain& f = *form_;
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

TEditedValues TDetailsPanel::EditedValues() const {
    const Ui::frmMain& f = *form_;
    TEditedValues values;
    values.name = EncodeLikeDevice(f.edName->text().trimmed(), shown_.name);
    values.portText = f.edPort->text().toStdString();
    if (f.cmbIPAss->currentIndex() >= 0)
        values.ipMode = f.cmbIPAss->currentData().toInt();
    values.ip = f.edIP->IPString().toStdString();
    values.mask = f.edSubMask->IPString().toStdString();
    values.gateway = f.edGateway->IPString().toStdString();
    return values;
}

void TDetailsPanel::FocusFieldOf(const std::string& messageKey) {
    if (messageKey == "IDS_INPUTPORT" || messageKey == "IDS_PORTDIGITS")
        form_->edPort->setFocus();
    else if (messageKey == "IDS_ERRIPCAM")
        form_->cmbIPAss->setFocus();
}

void TDetailsPanel::FitFieldsToFont() {
    const auto widthOf = [](QWidget* w, const QString& text) {
        return w->fontMetrics().horizontalAdvance(text) + 4 * w->fontMetrics().averageCharWidth();
    };
    form_->edUrl->setMinimumWidth(
        widthOf(form_->edUrl, QStringLiteral("http://255.255.255.255:65535")));
    form_->edVersion->setMinimumWidth(widthOf(form_->edVersion, QStringLiteral("255.255.255.255")));
}

QString TDetailsPanel::PageUrl() const {
    return form_->edUrl->text();
}

QString TDetailsPanel::EditedHost() const {
    return form_->edIP->IPString();
}

int TDetailsPanel::EditedPort() const {
    return form_->edPort->value();
}

} // namespace zadari
