#pragma once
// TIPEdit: the IPv4 address input of the details panel. Four one-byte fields shown as a dotted
// address, with the navigation people know from address fields: "." or a full field moves on,
// backspace at the start of a field moves back, pasting a whole address fills all four.
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

class QLabel;

namespace zadari {

class TIPField;

/// The address that inet_addr makes of `text`, packed with the first byte in bits 24 to 31:
/// dotted parts in decimal, octal (leading 0) or hexadecimal (leading 0x), and the short forms
/// a, a.b and a.b.c whose last part fills the remaining bytes. Trailing blanks end the text.
/// No value for a text that is not an address.
std::optional<std::uint32_t> InetAddrToPacked(std::string_view text);

/// Dotted decimal text of a packed address, first byte first, without leading zeros.
QString PackedToDotted(std::uint32_t packed);

class TIPEdit : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool Blank READ Blank)
    Q_PROPERTY(quint8 Field0 READ Field0 WRITE SetField0)
    Q_PROPERTY(quint8 Field1 READ Field1 WRITE SetField1)
    Q_PROPERTY(quint8 Field2 READ Field2 WRITE SetField2)
    Q_PROPERTY(quint8 Field3 READ Field3 WRITE SetField3)
    Q_PROPERTY(quint32 IP READ IP WRITE SetIP)
    Q_PROPERTY(QString IPString READ IPString WRITE SetIPString)
public:
    explicit TIPEdit(QWidget* parent = nullptr);
    ~TIPEdit() override;

    /// True when all four fields show no digits.
    bool Blank() const;

    /// The stored value of field `index` (0 to 3, field 0 is the leftmost); 0 for other indexes.
    quint8 Field(int index) const;
    /// Stores and shows the value when it differs from the stored one; otherwise does nothing.
    void SetField(int index, quint8 value);
    quint8 Field0() const { return Field(0); }
    quint8 Field1() const { return Field(1); }
    quint8 Field2() const { return Field(2); }
    quint8 Field3() const { return Field(3); }
    void SetField0(quint8 value) { SetField(0, value); }
    void SetField1(quint8 value) { SetField(1, value); }
    void SetField2(quint8 value) { SetField(2, value); }
    void SetField3(quint8 value) { SetField(3, value); }

    /// The address the fields show, packed (192.168.1.10 is 0xC0A8010A); an empty field is 0.
    quint32 IP() const;
    /// Shows the packed address (always, even when it equals what is shown).
    void SetIP(quint32 packed);

    /// The address the fields show as dotted decimal text.
    QString IPString() const;
    /// Does nothing when `text` equals IPString(); otherwise shows the address inet_addr makes
    /// of it, or 255.255.255.255 when the text is not an address. An empty or blank text
    /// shows 0.0.0.0.
    void SetIPString(const QString& text);

    /// Packs the stored fields and shows them.
    void ApplyFields();

    /// The field-change report of one field: stores the low 8 bits of `value` when `index` is
    /// 0 to 3 and raises OnFieldChange in any case. The fields call it when the user leaves a
    /// field whose text was edited.
    void FieldChanged(int index, int value);

    /// The line edit of field `index` (0 to 3), for focus and key handling by owners and tests.
    QWidget* FieldWidget(int index) const;

Q_SIGNALS:
    /// The shown text changed, by the user or by a property write.
    void OnChange();
    /// The control got the keyboard focus (from outside the control).
    void OnEnter();
    /// The control lost the keyboard focus (to outside the control).
    void OnExit();
    /// The user changed field `oldField` to `value`.
    void OnFieldChange(int oldField, quint8 value);

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class TIPField;

    void ShowPacked(quint32 packed);
    /// Raises OnChange when the shown text differs from the one last reported.
    void NoteTextChanged();
    void UpdateMetrics();
    void FieldTextEdited(int index);
    void FieldEntered(int index);
    void FieldLeft(int index);
    /// Moves the focus to field `index`, with the caret at its start, its end, or all selected.
    enum class TCaret { Start, End, SelectAll };
    void FocusField(int index, TCaret caret);
    /// Fills the fields from a pasted text that holds a whole address; false when it does not.
    bool PasteAddress(const QString& text);
    bool IsOwnField(const QWidget* widget) const;

    std::array<quint8, 4> fields_{};
    std::array<TIPField*, 4> edits_{};
    std::array<bool, 4> edited_{};
    std::array<QLabel*, 3> dots_{};
    bool creating_ = false;
    bool applying_ = false;
    bool inside_ = false;
    QString lastText_;
};

} // namespace zadari
