#include "controls/IPEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace zadari {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

quint32 Pack(const std::array<quint8, 4>& fields) {
    return (quint32(fields[0]) << 24) | (quint32(fields[1]) << 16) | (quint32(fields[2]) << 8) |
           quint32(fields[3]);
}

/// A whole address in the form people copy: four decimal numbers 0 to 255 joined by dots.
std::optional<std::array<quint8, 4>> DottedQuadOf(const QString& text) {
    const QStringList parts = text.trimmed().split(QLatin1Char('.'));
    if (parts.size() != 4)
        return std::nullopt;
    std::array<quint8, 4> result{};
    for (int i = 0; i < 4; ++i) {
        const QString& part = parts[i];
        if (part.isEmpty() || part.size() > 3)
            return std::nullopt;
        for (QChar c : part) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        }
        const int value = part.toInt();
        if (value > 255)
            return std::nullopt;
        result[i] = quint8(value);
    }
    return result;
}

} // namespace

std::optional<std::uint32_t> InetAddrToPacked(std::string_view text) {
    std::uint64_t parts[3] = {};
    int dots = 0;
    std::size_t i = 0;
    std::uint64_t last = 0;
    for (;;) {
        if (i >= text.size() || !IsDigit(text[i]))
            return std::nullopt;
        int base = 10;
        if (text[i] == '0') {
            base = 8;
            ++i;
            if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
                base = 16;
                ++i;
            }
        }
        std::uint64_t value = 0;
        while (i < text.size()) {
            const char c = text[i];
            int digit = -1;
            if (base == 16)
                digit = HexValue(c);
            else if (IsDigit(c))
                digit = c - '0';
            if (digit < 0)
                break;
            if (base == 8 && digit > 7)
                return std::nullopt;
            value = value * std::uint64_t(base) + std::uint64_t(digit);
            if (value > 0xFFFFFFFFull)
                return std::nullopt;
            ++i;
        }
        if (i < text.size() && text[i] == '.') {
            if (dots == 3 || value > 0xFF)
                return std::nullopt;
            parts[dots++] = value;
            ++i;
            continue;
        }
        if (i < text.size() && !IsBlank(text[i]))
            return std::nullopt;
        last = value;
        break;
    }
    // The last part fills the bytes the earlier parts leave.
    static constexpr std::uint64_t kLastLimit[4] = {0xFFFFFFFFull, 0xFFFFFFull, 0xFFFFull, 0xFFull};
    if (last > kLastLimit[dots])
        return std::nullopt;
    std::uint64_t packed = last;
    for (int p = 0; p < dots; ++p)
        packed |= parts[p] << (24 - 8 * p);
    return std::uint32_t(packed);
}

QString PackedToDotted(std::uint32_t packed) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg((packed >> 24) & 0xFF)
        .arg((packed >> 16) & 0xFF)
        .arg((packed >> 8) & 0xFF)
        .arg(packed & 0xFF);
}

/// One byte field of the control. It keeps only key handling; the control owns the rules.
class TIPField : public QLineEdit {
public:
    TIPField(TIPEdit* owner, int index) : QLineEdit(owner), owner_(owner), index_(index) {
        setFrame(false);
        setAlignment(Qt::AlignCenter);
        setObjectName(QStringLiteral("field%1").arg(index));
        // Tab moves from control to control, not from field to field, as in other address inputs.
        setFocusPolicy(index == 0 ? Qt::StrongFocus : Qt::ClickFocus);
    }

    QSize sizeHint() const override {
        const QFontMetrics metrics(font());
        const QMargins margins = textMargins();
        const int width = metrics.horizontalAdvance(QStringLiteral("000")) +
                          metrics.averageCharWidth() + margins.left() + margins.right();
        return QSize(width, QLineEdit::sizeHint().height());
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

    /// The owner is going away: its focus-out during destruction must not reach it.
    void Detach() { owner_ = nullptr; }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (owner_ == nullptr) {
            QLineEdit::keyPressEvent(event);
            return;
        }
        const bool plain =
            (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) ==
            Qt::NoModifier;
        const bool shift = event->modifiers() & Qt::ShiftModifier;
        switch (event->key()) {
        case Qt::Key_Backspace:
            if (plain && cursorPosition() == 0 && !hasSelectedText() && index_ > 0) {
                owner_->FocusField(index_ - 1, TIPEdit::TCaret::End);
                return;
            }
            break;
        case Qt::Key_Left:
            if (plain && !shift && cursorPosition() == 0 && !hasSelectedText() && index_ > 0) {
                owner_->FocusField(index_ - 1, TIPEdit::TCaret::End);
                return;
            }
            break;
        case Qt::Key_Right:
            if (plain && !shift && cursorPosition() == text().size() && !hasSelectedText() &&
                index_ < 3) {
                owner_->FocusField(index_ + 1, TIPEdit::TCaret::Start);
                return;
            }
            break;
        default:
            break;
        }
        const QString typed = event->text();
        if (plain && typed.size() == 1 && typed[0].isPrint()) {
            const QChar c = typed[0];
            if (c == QLatin1Char('.') || c == QLatin1Char(',')) {
                // A separator finishes the field; on an empty field it waits for digits.
                if (!text().isEmpty() && index_ < 3)
                    owner_->FocusField(index_ + 1, TIPEdit::TCaret::SelectAll);
                return;
            }
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return;
            if (!hasSelectedText() && text().size() >= 3) {
                // A full field passes the digit on to the next one, as typing through would.
                if (cursorPosition() == text().size() && index_ < 3) {
                    owner_->FocusField(index_ + 1, TIPEdit::TCaret::SelectAll);
                    QCoreApplication::sendEvent(owner_->edits_[index_ + 1], event);
                }
                return;
            }
        }
        QLineEdit::keyPressEvent(event);
    }

    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        if (owner_ != nullptr)
            owner_->FieldEntered(index_);
    }

    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        if (owner_ != nullptr)
            owner_->FieldLeft(index_);
    }

private:
    TIPEdit* owner_;
    int index_;
};

TIPEdit::TIPEdit(QWidget* parent) : QWidget(parent) {
    creating_ = true;
    setAttribute(Qt::WA_InputMethodEnabled, false);
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        edits_[i] = new TIPField(this, i);
        edits_[i]->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        layout->addWidget(edits_[i], 1);
        connect(edits_[i], &QLineEdit::textEdited, this, [this, i] { FieldTextEdited(i); });
        if (i < 3) {
            dots_[i] = new QLabel(QStringLiteral("."), this);
            dots_[i]->setAlignment(Qt::AlignCenter);
            dots_[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
            layout->addWidget(dots_[i], 0);
        }
    }
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(edits_[0]);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    UpdateMetrics();
    // The shown text is reported from here on; what creation shows raises no OnChange.
    ApplyFields();
    creating_ = false;
}

TIPEdit::~TIPEdit() {
    // QWidget's destructor moves the focus away from a field; by then this is no TIPEdit.
    for (TIPField* edit : edits_)
        edit->Detach();
}

bool TIPEdit::Blank() const {
    for (const TIPField* edit : edits_) {
        if (!edit->text().isEmpty())
            return false;
    }
    return true;
}

quint8 TIPEdit::Field(int index) const {
    if (index < 0 || index > 3)
        return 0;
    return fields_[index];
}

void TIPEdit::SetField(int index, quint8 value) {
    if (index < 0 || index > 3 || fields_[index] == value)
        return;
    fields_[index] = value;
    ApplyFields();
}

quint32 TIPEdit::IP() const {
    quint32 packed = 0;
    for (const TIPField* edit : edits_) {
        const int value = edit->text().toInt();
        packed = (packed << 8) | quint32(value < 0 ? 0 : value > 255 ? 255 : value);
    }
    return packed;
}

void TIPEdit::SetIP(quint32 packed) {
    fields_ = {quint8(packed >> 24), quint8(packed >> 16), quint8(packed >> 8), quint8(packed)};
    ApplyFields();
}

QString TIPEdit::IPString() const {
    return PackedToDotted(IP());
}

void TIPEdit::SetIPString(const QString& text) {
    if (text == IPString())
        return;
    // A record without an address gives an empty text: that is "no address", shown as the
    // control's own empty value rather than as the broadcast address it would parse to.
    if (text.trimmed().isEmpty()) {
        SetIP(0);
        return;
    }
    const std::string bytes = text.toStdString();
    SetIP(InetAddrToPacked(bytes).value_or(0xFFFFFFFFu));
}

void TIPEdit::ApplyFields() {
    edited_ = {};
    ShowPacked(Pack(fields_));
}

void TIPEdit::FieldChanged(int index, int value) {
    if (index >= 0 && index <= 3)
        fields_[index] = quint8(value & 0xFF);
    Q_EMIT OnFieldChange(index, quint8(value & 0xFF));
}

QWidget* TIPEdit::FieldWidget(int index) const {
    if (index < 0 || index > 3)
        return nullptr;
    return edits_[index];
}

void TIPEdit::ShowPacked(quint32 packed) {
    applying_ = true;
    for (int i = 0; i < 4; ++i)
        edits_[i]->setText(QString::number((packed >> (24 - 8 * i)) & 0xFF));
    applying_ = false;
    NoteTextChanged();
}

void TIPEdit::NoteTextChanged() {
    QString shown;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            shown += QLatin1Char('.');
        shown += edits_[i]->text();
    }
    if (shown == lastText_)
        return;
    lastText_ = shown;
    if (!creating_)
        Q_EMIT OnChange();
}

void TIPEdit::FieldTextEdited(int index) {
    if (applying_)
        return;
    TIPField* edit = edits_[index];
    const QString typed = edit->text();
    QString digits;
    bool other = false;
    for (QChar c : typed) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digits += c;
        else
            other = true;
    }
    if (other) {
        // Text with separators comes from a paste: a whole address fills all four fields.
        const QClipboard* clipboard = QGuiApplication::clipboard();
        for (QClipboard::Mode mode : {QClipboard::Clipboard, QClipboard::Selection}) {
            const QString pasted = clipboard->text(mode).trimmed();
            if (!pasted.isEmpty() && typed.contains(pasted) && PasteAddress(pasted))
                return;
        }
    }
    if (digits.size() > 3)
        digits.truncate(3);
    if (digits.toInt() > 255)
        digits = QStringLiteral("255");
    if (digits != typed) {
        const int caret = qMin(edit->cursorPosition(), int(digits.size()));
        edit->setText(digits);
        edit->setCursorPosition(caret);
    }
    edited_[index] = true;
    NoteTextChanged();
    if (digits.size() == 3 && edit->hasFocus() && edit->cursorPosition() == 3 && index < 3)
        FocusField(index + 1, TCaret::SelectAll);
}

void TIPEdit::FieldEntered(int index) {
    Q_UNUSED(index);
    if (!inside_) {
        inside_ = true;
        Q_EMIT OnEnter();
    }
}

void TIPEdit::FieldLeft(int index) {
    if (edited_[index]) {
        edited_[index] = false;
        TIPField* edit = edits_[index];
        // "010" and "10" are the same byte; show it the way the address reads.
        if (!edit->text().isEmpty()) {
            applying_ = true;
            edit->setText(QString::number(edit->text().toInt()));
            applying_ = false;
            NoteTextChanged();
        }
        FieldChanged(index, edit->text().toInt());
    }
    if (inside_ && !IsOwnField(QApplication::focusWidget())) {
        inside_ = false;
        Q_EMIT OnExit();
    }
    update();
}

void TIPEdit::FocusField(int index, TCaret caret) {
    if (index < 0 || index > 3)
        return;
    TIPField* edit = edits_[index];
    edit->setFocus(Qt::OtherFocusReason);
    switch (caret) {
    case TCaret::Start:
        edit->setCursorPosition(0);
        break;
    case TCaret::End:
        edit->deselect();
        edit->setCursorPosition(int(edit->text().size()));
        break;
    case TCaret::SelectAll:
        edit->selectAll();
        break;
    }
    update();
}

bool TIPEdit::PasteAddress(const QString& text) {
    const auto quad = DottedQuadOf(text);
    if (!quad)
        return false;
    applying_ = true;
    for (int i = 0; i < 4; ++i)
        edits_[i]->setText(QString::number((*quad)[i]));
    applying_ = false;
    NoteTextChanged();
    for (int i = 0; i < 4; ++i) {
        edited_[i] = false;
        if (fields_[i] != (*quad)[i])
            FieldChanged(i, (*quad)[i]);
    }
    if (IsOwnField(QApplication::focusWidget()))
        FocusField(3, TCaret::End);
    return true;
}

bool TIPEdit::IsOwnField(const QWidget* widget) const {
    for (const TIPField* edit : edits_) {
        if (widget == edit)
            return true;
    }
    return false;
}

void TIPEdit::UpdateMetrics() {
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    layout()->setContentsMargins(frame, frame, frame, frame);
}

void TIPEdit::changeEvent(QEvent* event) {
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        UpdateMetrics();
    QWidget::changeEvent(event);
}

void TIPEdit::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    // The four fields sit in one frame that looks like a single line edit.
    QStyleOptionFrame option;
    option.initFrom(this);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    if (inside_)
        option.state |= QStyle::State_HasFocus;
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
}

} // namespace zadari
