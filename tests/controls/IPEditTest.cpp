#include "controls/IPEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace zadari {
namespace {

// ---- the inet_addr rules -----------------------------------------------------------------

struct TInetCase {
    const char* text;
    std::optional<std::uint32_t> packed;
};

TEST(InetAddrToPacked, FollowsTheInetAddrRules) {
    const TInetCase cases[] = {
        {"192.168.1.10", 0xC0A8010Au},
        {"0.0.0.0", 0u},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"10.1", 0x0A000001u},            // a.b: b fills the last three bytes
        {"10.1.2", 0x0A010002u},          // a.b.c: c fills the last two bytes
        {"172.16.65535", 0xAC10FFFFu},    // the 16-bit last part at its limit
        {"1.16777215", 0x01FFFFFFu},      // the 24-bit last part at its limit
        {"3232235786", 0xC0A8010Au},      // one part is the whole address
        {"0xC0.0xa8.1.012", 0xC0A8010Au}, // hexadecimal and octal parts
        {"0300.0250.01.012", 0xC0A8010Au},
        {"0xC0A8010A", 0xC0A8010Au},
        {"1.2.3.4 trailing", 0x01020304u}, // a blank ends the address
        {"1.2.3.4\t", 0x01020304u},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1.2.3.", std::nullopt},
        {"1..2.3", std::nullopt},
        {"256.1.1.1", std::nullopt},
        {"1.2.3.256", std::nullopt},
        {"1.2.65536", std::nullopt},
        {"1.16777216", std::nullopt},
        {"4294967296", std::nullopt},
        {"08.1.1.1", std::nullopt}, // 8 is no octal digit
        {"1.2.3.4x", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const TInetCase& c : cases)
        EXPECT_EQ(InetAddrToPacked(c.text), c.packed) << '"' << c.text << '"';
}

TEST(PackedToDotted, WritesFourDecimalsWithoutLeadingZeros) {
    EXPECT_EQ(PackedToDotted(0xC0A8010Au), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(PackedToDotted(0), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(PackedToDotted(0x0A000001u), QStringLiteral("10.0.0.1"));
}

// ---- properties and notifications --------------------------------------------------------

QLineEdit* FieldOf(TIPEdit& edit, int index) {
    return qobject_cast<QLineEdit*>(edit.FieldWidget(index));
}

TEST(TIPEdit, StartsAtZeroAndCreationRaisesNoChange) {
    TIPEdit edit;
    QSignalSpy changes(&edit, &TIPEdit::OnChange);
    EXPECT_EQ(edit.IP(), 0u);
    EXPECT_EQ(edit.IPString(), QStringLiteral("0.0.0.0"));
    EXPECT_FALSE(edit.Blank());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(edit.Field(i), 0);
    edit.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(changes.count(), 0);
    EXPECT_TRUE(edit.focusPolicy() & Qt::TabFocus);
}

TEST(TIPEdit, PropertiesSetBeforeShowingAreShownWithoutChangeOnShow) {
    TIPEdit edit;
    edit.SetIPString(QStringLiteral("10.0.0.7"));
    QSignalSpy changes(&edit, &TIPEdit::OnChange);
    edit.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(FieldOf(edit, 3)->text(), QStringLiteral("7"));
}

TEST(TIPEdit, IPStringWriteSplitsIntoFieldsAndPacks) {
    TIPEdit edit;
    edit.SetIPString(QStringLiteral("192.168.1.10"));
    EXPECT_EQ(edit.Field0(), 192);
    EXPECT_EQ(edit.Field1(), 168);
    EXPECT_EQ(edit.Field2(), 1);
    EXPECT_EQ(edit.Field3(), 10);
    EXPECT_EQ(edit.IP(), 0xC0A8010Au);
    EXPECT_EQ(edit.IPString(), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(edit.property("IPString").toString(), QStringLiteral("192.168.1.10"));
}

TEST(TIPEdit, IPStringWriteUsesShortFormsAndShowsBroadcastForNonsense) {
    TIPEdit edit;
    edit.SetIPString(QStringLiteral("10.1"));
    EXPECT_EQ(edit.IPString(), QStringLiteral("10.0.0.1"));
    EXPECT_EQ(FieldOf(edit, 1)->text(), QStringLiteral("0"));
    edit.SetIPString(QStringLiteral("abc"));
    EXPECT_EQ(edit.IPString(), QStringLiteral("255.255.255.255"));
    EXPECT_EQ(edit.Field2(), 255);
    // No address at all is not the broadcast address: an empty text shows 0.0.0.0.
    edit.SetIPString(QString());
    EXPECT_EQ(edit.IPString(), QStringLiteral("0.0.0.0"));
    edit.SetIPString(QStringLiteral("1.2.3.4"));
    edit.SetIPString(QStringLiteral("  "));
    EXPECT_EQ(edit.IPString(), QStringLiteral("0.0.0.0"));
}

TEST(TIPEdit, WritesThatChangeNothingRaiseNothing) {
    TIPEdit edit;
    edit.SetIPString(QStringLiteral("192.168.1.10"));
    QSignalSpy changes(&edit, &TIPEdit::OnChange);
    edit.SetField2(1);
    edit.SetIPString(QStringLiteral("192.168.1.10"));
    EXPECT_EQ(changes.count(), 0);
    edit.SetField2(2);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(edit.IPString(), QStringLiteral("192.168.2.10"));
    // Another spelling of the shown address is converted and shows the same: no change.
    edit.SetIPString(QStringLiteral("0xC0.168.2.10"));
    EXPECT_EQ(changes.count(), 1);
}

TEST(TIPEdit, IPWriteRoundTripsAndResetsWhatTheUserTyped) {
    TIPEdit edit;
    edit.SetIP(0xC0A8010Au);
    EXPECT_EQ(edit.IP(), 0xC0A8010Au);
    EXPECT_EQ(edit.Field0(), 192);
    // The user types into field 0 without leaving it: the stored field is still 192.
    FieldOf(edit, 0)->setText(QString());
    QTest::keyClicks(FieldOf(edit, 0), QStringLiteral("7"));
    EXPECT_EQ(edit.IPString(), QStringLiteral("7.168.1.10"));
    edit.SetIP(0);
    EXPECT_EQ(edit.IPString(), QStringLiteral("0.0.0.0"));
    EXPECT_EQ(FieldOf(edit, 0)->text(), QStringLiteral("0"));
}

TEST(TIPEdit, FieldChangeReportStoresInRangeIndexesAndAlwaysRaises) {
    TIPEdit edit;
    QSignalSpy fieldChanges(&edit, &TIPEdit::OnFieldChange);
    edit.FieldChanged(1, 0x1AB); // the low 8 bits are stored
    EXPECT_EQ(edit.Field1(), 0xAB);
    ASSERT_EQ(fieldChanges.count(), 1);
    EXPECT_EQ(fieldChanges[0][0].toInt(), 1);
    EXPECT_EQ(fieldChanges[0][1].value<quint8>(), 0xAB);

    edit.FieldChanged(4, 9);
    edit.FieldChanged(-1, 9);
    EXPECT_EQ(fieldChanges.count(), 3);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(edit.Field(i), i == 1 ? 0xAB : 0);
}

TEST(TIPEdit, BlankOnlyWhenAllFieldsAreEmpty) {
    TIPEdit edit;
    for (int i = 0; i < 3; ++i)
        FieldOf(edit, i)->clear();
    EXPECT_FALSE(edit.Blank());
    FieldOf(edit, 3)->clear();
    EXPECT_TRUE(edit.Blank());
    EXPECT_EQ(edit.IPString(), QStringLiteral("0.0.0.0"));
}

// ---- editing -------------------------------------------------------------------------------

class TIPEditTyping : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window_.get());
        before_ = new QLineEdit(window_.get());
        edit_ = new TIPEdit(window_.get());
        after_ = new QLineEdit(window_.get());
        layout->addWidget(before_);
        layout->addWidget(edit_);
        layout->addWidget(after_);
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        before_->setFocus();
    }

    QLineEdit* Field(int index) { return FieldOf(*edit_, index); }
    QWidget* Focused() { return QApplication::focusWidget(); }

    /// Types each character into whatever has the focus at that moment, as a person would.
    void Type(const QString& text) {
        for (QChar c : text)
            QTest::keyClick(Focused(), c.toLatin1());
    }

    /// Puts the caret in a field cleared of its text.
    void StartTyping(int index) {
        Field(index)->setFocus();
        Field(index)->selectAll();
        QTest::keyClick(Field(index), Qt::Key_Delete);
    }

    std::unique_ptr<QWidget> window_;
    QLineEdit* before_ = nullptr;
    TIPEdit* edit_ = nullptr;
    QLineEdit* after_ = nullptr;
};

TEST_F(TIPEditTyping, DotMovesToTheNextFieldAndAFullFieldMovesOnItsOwn) {
    StartTyping(0);
    Type(QStringLiteral("10."));
    EXPECT_EQ(Focused(), Field(1));
    Type(QStringLiteral("192"));
    EXPECT_EQ(Focused(), Field(2)); // three digits fill a field
    Type(QStringLiteral("3.44"));
    EXPECT_EQ(Focused(), Field(3));
    EXPECT_EQ(edit_->IPString(), QStringLiteral("10.192.3.44"));
}

TEST_F(TIPEditTyping, DotOnAnEmptyFieldWaitsAndLettersAreRefused) {
    StartTyping(0);
    Type(QStringLiteral(".a-"));
    EXPECT_EQ(Focused(), Field(0));
    EXPECT_TRUE(Field(0)->text().isEmpty());
}

TEST_F(TIPEditTyping, ValuesAboveAByteAreCutTo255) {
    StartTyping(2);
    Type(QStringLiteral("300"));
    EXPECT_EQ(Field(2)->text(), QStringLiteral("255"));
    EXPECT_EQ(Focused(), Field(3));
}

TEST_F(TIPEditTyping, BackspaceAtTheStartOfAFieldMovesBack) {
    edit_->SetIPString(QStringLiteral("192.168.1.10"));
    Field(2)->setFocus();
    Field(2)->setCursorPosition(0);
    QTest::keyClick(Field(2), Qt::Key_Backspace);
    EXPECT_EQ(Focused(), Field(1));
    EXPECT_EQ(Field(1)->cursorPosition(), 3);
    EXPECT_EQ(Field(2)->text(), QStringLiteral("1")); // moving back deletes nothing
    QTest::keyClick(Field(1), Qt::Key_Backspace);
    EXPECT_EQ(Field(1)->text(), QStringLiteral("16"));
    EXPECT_EQ(Focused(), Field(1));
}

TEST_F(TIPEditTyping, ArrowsCrossFieldBorders) {
    edit_->SetIPString(QStringLiteral("1.2.3.4"));
    Field(1)->setFocus();
    Field(1)->setCursorPosition(1);
    QTest::keyClick(Field(1), Qt::Key_Right);
    EXPECT_EQ(Focused(), Field(2));
    QTest::keyClick(Field(2), Qt::Key_Left);
    EXPECT_EQ(Focused(), Field(1));
}

TEST_F(TIPEditTyping, PastingAWholeAddressFillsAllFour) {
    QGuiApplication::clipboard()->setText(QStringLiteral(" 172.16.0.99 "));
    StartTyping(1);
    QSignalSpy changes(edit_, &TIPEdit::OnChange);
    QTest::keySequence(Focused(), QKeySequence::Paste);
    EXPECT_EQ(edit_->IPString(), QStringLiteral("172.16.0.99"));
    EXPECT_EQ(Focused(), Field(3));
    EXPECT_GE(changes.count(), 1);
    // The pasted fields are stored as the user's own changes.
    EXPECT_EQ(edit_->Field0(), 172);
    EXPECT_EQ(edit_->Field3(), 99);
}

TEST_F(TIPEditTyping, PastingOtherTextKeepsOnlyItsDigits) {
    QGuiApplication::clipboard()->setText(QStringLiteral("x4y2"));
    StartTyping(0);
    QTest::keySequence(Focused(), QKeySequence::Paste);
    EXPECT_EQ(Field(0)->text(), QStringLiteral("42"));
}

TEST_F(TIPEditTyping, LeavingAnEditedFieldReportsItOnce) {
    QSignalSpy fieldChanges(edit_, &TIPEdit::OnFieldChange);
    QSignalSpy changes(edit_, &TIPEdit::OnChange);
    StartTyping(0);
    Type(QStringLiteral("010"));
    EXPECT_EQ(Focused(), Field(1));
    ASSERT_EQ(fieldChanges.count(), 1);
    EXPECT_EQ(fieldChanges[0][0].toInt(), 0);
    EXPECT_EQ(fieldChanges[0][1].value<quint8>(), 10);
    EXPECT_EQ(edit_->Field0(), 10);
    EXPECT_EQ(Field(0)->text(), QStringLiteral("10"));
    EXPECT_GE(changes.count(), 1);
    // Moving through a field without typing reports nothing.
    QTest::keyClick(Field(1), Qt::Key_Period); // field 1 shows 0: moves on
    EXPECT_EQ(Focused(), Field(2));
    EXPECT_EQ(fieldChanges.count(), 1);
}

TEST_F(TIPEditTyping, EnterAndExitOnlyWhenFocusCrossesTheControl) {
    QSignalSpy enters(edit_, &TIPEdit::OnEnter);
    QSignalSpy exits(edit_, &TIPEdit::OnExit);
    QTest::keyClick(before_, Qt::Key_Tab);
    EXPECT_EQ(Focused(), Field(0));
    EXPECT_EQ(enters.count(), 1);
    Type(QStringLiteral("1.2.3."));
    EXPECT_EQ(Focused(), Field(3));
    EXPECT_EQ(enters.count(), 1);
    EXPECT_EQ(exits.count(), 0);
    // Tab leaves the whole control, not just the field.
    QTest::keyClick(Focused(), Qt::Key_Tab);
    EXPECT_EQ(Focused(), after_);
    EXPECT_EQ(exits.count(), 1);
}

TEST_F(TIPEditTyping, TabFromBeforeSkipsTheInnerFields) {
    QTest::keyClick(before_, Qt::Key_Tab);
    EXPECT_EQ(Focused(), Field(0));
    QTest::keyClick(Field(0), Qt::Key_Tab);
    EXPECT_EQ(Focused(), after_);
}

TEST_F(TIPEditTyping, SizeFollowsTheFont) {
    const QSize small = edit_->sizeHint();
    QFont big = edit_->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    edit_->setFont(big);
    const QSize large = edit_->sizeHint();
    EXPECT_GT(large.width(), small.width());
    EXPECT_GT(large.height(), small.height());
}

} // namespace
} // namespace zadari
