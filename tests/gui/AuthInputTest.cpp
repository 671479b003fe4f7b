#include "access/ui/AuthInput.h"

#include "i18n/Language.h"
#include "i18n/LanguageStore.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace zadari {
namespace {

/// Runs `action` on the dialog once its modal loop is running.
template <typename F> void WhenShown(TfrmAuthInput& dialog, F action) {
    QTimer::singleShot(0, &dialog, [&dialog, action] {
        if (dialog.isVisible())
            action(dialog);
    });
}

TEST(TfrmAuthInput, ComponentsCarryTheirNamesAndEnglishCaptions) {
    TfrmAuthInput dialog;
    EXPECT_EQ(dialog.objectName(), QStringLiteral("frmAuthInput"));
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Validate Authentication"));
    auto* label1 = dialog.findChild<QLabel*>(QStringLiteral("Label1"));
    auto* label2 = dialog.findChild<QLabel*>(QStringLiteral("Label2"));
    ASSERT_NE(label1, nullptr);
    ASSERT_NE(label2, nullptr);
    EXPECT_EQ(label1->text(), QStringLiteral("Account:"));
    EXPECT_EQ(label2->text(), QStringLiteral("Password:"));
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("edUser")), dialog.edUser());
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("edPwd")), dialog.edPwd());
    EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("btnOK"))->text(),
              QStringLiteral("&OK"));
    EXPECT_EQ(dialog.findChild<QPushButton*>(QStringLiteral("btnCancel"))->text(),
              QStringLiteral("&Cancel"));
    EXPECT_FALSE(dialog.btnOK()->isDefault());
    EXPECT_FALSE(dialog.btnCancel()->isDefault());
}

TEST(TfrmAuthInput, FieldsRefuseTheFourteenthCharacter) {
    TfrmAuthInput dialog;
    dialog.show();
    for (QLineEdit* field : {dialog.edUser(), dialog.edPwd()}) {
        field->clear();
        QTest::keyClicks(field, QStringLiteral("abcdefghijklmn"));
        EXPECT_EQ(field->text(), QStringLiteral("abcdefghijklm"));
    }
    dialog.SetPassword(QStringLiteral("0123456789abcdef"));
    EXPECT_EQ(dialog.edPwd()->text().size(), 13);
}

TEST(TfrmAuthInput, PasswordIsMasked) {
    TfrmAuthInput dialog;
    EXPECT_EQ(dialog.edPwd()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.edUser()->echoMode(), QLineEdit::Normal);
    dialog.SetPassword(QStringLiteral("secret"));
    dialog.show();
    EXPECT_EQ(dialog.edPwd()->displayText(), QStringLiteral("******"));
}

TEST(TfrmAuthInput, OkGivesTrimmedTexts) {
    QString user = QStringLiteral("admin");
    QString password;
    TfrmAuthInput dialog;
    dialog.SetUser(user);
    WhenShown(dialog, [](TfrmAuthInput& d) {
        d.edUser()->end(false);
        QTest::keyClicks(d.edUser(), QStringLiteral("  "));
        QTest::keyClicks(d.edPwd(), QStringLiteral("  pa ss\t"));
        QTest::mouseClick(d.btnOK(), Qt::LeftButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(dialog.User(), QStringLiteral("admin"));
    EXPECT_EQ(dialog.Password(), QStringLiteral("pa ss"));
}

TEST(TfrmAuthInput, OkWithEmptyFieldsIsAccepted) {
    TfrmAuthInput dialog;
    WhenShown(dialog, [](TfrmAuthInput& d) { d.btnOK()->click(); });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(dialog.User().isEmpty());
    EXPECT_TRUE(dialog.Password().isEmpty());
}

TEST(TfrmAuthInput, CloseBoxAndCancelAnswerCancel) {
    {
        TfrmAuthInput dialog;
        WhenShown(dialog, [](TfrmAuthInput& d) { d.close(); });
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
    {
        TfrmAuthInput dialog;
        WhenShown(dialog, [](TfrmAuthInput& d) { d.btnCancel()->click(); });
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
}

TEST(TfrmAuthInput, EnterOrEscInAFieldDoesNotCloseTheDialog) {
    TfrmAuthInput dialog;
    dialog.show();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        for (QLineEdit* field : {dialog.edUser(), dialog.edPwd()}) {
            field->setFocus();
            QTest::keyClick(field, key);
            EXPECT_TRUE(dialog.isVisible()) << key;
            EXPECT_EQ(dialog.result(), 0) << key;
        }
    }
}

/// Acts on the modal dialog that Ask opens, once it is up.
template <typename F> void OnModalDialog(F action) {
    QTimer::singleShot(0, qApp, [action] {
        if (auto* d = qobject_cast<TfrmAuthInput*>(QApplication::activeModalWidget()))
            action(*d);
    });
}

TEST(TfrmAuthInput, AskPassesPresetsAndKeepsThemOnCancel) {
    QString user = QStringLiteral("admin");
    QString password = QStringLiteral("preset");
    QString seenUser;
    OnModalDialog([&seenUser](TfrmAuthInput& d) {
        seenUser = d.edUser()->text();
        d.edUser()->setText(QStringLiteral(" root "));
        d.close();
    });
    EXPECT_FALSE(TfrmAuthInput::Ask(nullptr, user, password));
    EXPECT_EQ(seenUser, QStringLiteral("admin"));
    EXPECT_EQ(user, QStringLiteral("admin"));
    EXPECT_EQ(password, QStringLiteral("preset"));

    OnModalDialog([](TfrmAuthInput& d) {
        d.edPwd()->setText(QStringLiteral(" 1234 "));
        d.btnOK()->click();
    });
    EXPECT_TRUE(TfrmAuthInput::Ask(nullptr, user, password));
    EXPECT_EQ(user, QStringLiteral("admin"));
    EXPECT_EQ(password, QStringLiteral("1234"));
}

TEST(TfrmAuthInput, EachShowingTakesTheTextsOfTheCurrentLanguage) {
    QTemporaryDir dir;
    TLanguageStore languages{dir.path()};
    TfrmAuthInput dialog;
    SetLanguage(QStringLiteral("fr"));
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Authentification"));
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("Label2"))->text(),
              QStringLiteral("Mot de passe :"));
    EXPECT_EQ(dialog.btnCancel()->text(), QStringLiteral("&Annuler"));
    dialog.hide();
    SetLanguage(QStringLiteral("en"));
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Validate Authentication"));
    EXPECT_EQ(dialog.btnCancel()->text(), QStringLiteral("&Cancel"));
}

TEST(TfrmAuthInput, ShowingIsRaisedEachTimeTheDialogAppears) {
    TfrmAuthInput dialog;
    QSignalSpy showing(&dialog, &TfrmAuthInput::Showing);
    dialog.show();
    dialog.hide();
    dialog.show();
    EXPECT_EQ(showing.count(), 2);
}

} // namespace
} // namespace zadari
