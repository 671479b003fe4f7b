// Window translation on real widgets, the language fonts, and the message-box presenter.
#include "i18n/ui/TranslateForm.h"
#include "i18n/Language.h"
#include "i18n/LanguageStore.h"
#include "i18n/StrRes.h"
#include "i18n/TextCodec.h"
#include "i18n/ui/MessageBoxPresenter.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>

namespace zadari {
namespace {

// Written in Windows-1252 as the test language "tst".
const char kTestSection[] = "[Form_frmTest]\r\n"
                            "Caption=Fenêtre d'essai\r\n"
                            "Panel1.Caption=not shown by frames\r\n"
                            "Label1.Caption=Étiquette\r\n"
                            "Image1.Hint=Logo\r\n"
                            "Image1.Caption=must not replace the picture\r\n"
                            "Check1.Caption=Case à cocher\r\n"
                            "Check1.Hint=check boxes take no hint\r\n"
                            "Button1.Caption=&Bouton\r\n"
                            "Button1.Hint=Astuce\r\n"
                            "ToolButton1.Caption=Outil\r\n"
                            "ToolButton1.Hint=Astuce outil\r\n"
                            "SpeedButton1.Caption=Rapide\r\n"
                            "Radio1.Caption=Radio\r\n"
                            "Radio1.Hint=Astuce radio\r\n"
                            "actOpen.Caption=&Ouvrir\r\n"
                            "mnuFile.Caption=&Fichier\r\n"
                            "tabGeneral.Caption=Général\r\n"
                            "GroupBox1.Caption=Groupe\r\n"
                            "RadioGroup1.Items0.Caption=Premier\r\n"
                            "RadioGroup1.Items1.Caption=Second\r\n"
                            "List1.Items1.Caption=Deux\r\n"
                            "cmbIPAssBak.Items2.Caption=IP fixe\r\n"
                            "ListView.Columns2.Caption=Adresse\r\n"
                            "ListView.Columns3.Caption=no such column\r\n"
                            "ModelView.Columns1.Caption=Nom\r\n"
                            "Grid1.Columns0.Caption=Colonne\r\n"
                            "Tree1.Items0.Text=Racine\r\n"
                            "Tree1.Items1.Text=Enfant\r\n"
                            "Tree1.Items2.Text=Seconde racine\r\n"
                            "OpenDialog1.Filter=Micrologiciel (*.bin)|*.bin\r\n"
                            "Multi.Caption=Ligne$nsuivante\r\n";

// A window with one component of every kind, named as the language file names them.
struct TTestWindow {
    TTestWindow() {
        window = std::make_unique<QWidget>();
        window->setObjectName(QStringLiteral("frmTest"));
        window->setWindowTitle(QStringLiteral("Test window"));
        QFont f = window->font();
        f.setPointSize(9);
        window->setFont(f);
        window->setProperty(FileDialogFilterProperty(QStringLiteral("OpenDialog1")).constData(),
                            QStringLiteral("Firmware(*.bin)|*.bin"));
        auto* layout = new QVBoxLayout(window.get());
        auto add = [&](auto* w, const char* name) {
            w->setObjectName(QString::fromLatin1(name));
            layout->addWidget(w);
            return w;
        };
        status = add(new QStatusBar, "Status1");
        panel = add(new QFrame, "Panel1");
        label = add(new QLabel(QStringLiteral("Label")), "Label1");
        untouched = add(new QLabel(QStringLiteral("Keep me")), "Label2");
        multi = add(new QLabel(QStringLiteral("Built$nin")), "Multi");
        builtIn = add(new QLabel(QStringLiteral("one$ntwo")), "NoKey");
        image = add(new QLabel, "Image1");
        QPixmap pixmap(4, 4);
        pixmap.fill(Qt::red);
        image->setPixmap(pixmap);
        check = add(new QCheckBox(QStringLiteral("Check")), "Check1");
        button = add(new QPushButton(QStringLiteral("Button")), "Button1");
        toolBar = add(new QToolBar, "ToolBar1");
        toolButton = new QToolButton(toolBar);
        toolButton->setObjectName(QStringLiteral("ToolButton1"));
        toolButton->setText(QStringLiteral("Tool"));
        toolBar->addWidget(toolButton);
        speedButton = add(new QToolButton, "SpeedButton1");
        speedButton->setText(QStringLiteral("Speed"));
        radio = add(new QRadioButton(QStringLiteral("Radio")), "Radio1");
        action = new QAction(QStringLiteral("&Open"), window.get());
        action->setObjectName(QStringLiteral("actOpen"));
        menu = new QMenu(QStringLiteral("&File"), window.get());
        menu->setObjectName(QStringLiteral("mnuFile"));
        tabs = add(new QTabWidget, "PageControl1");
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("tabGeneral"));
        tabs->addTab(page, QStringLiteral("General"));
        auto* other = new QWidget;
        other->setObjectName(QStringLiteral("tabOther"));
        tabs->addTab(other, QStringLiteral("Others"));
        group = add(new QGroupBox(QStringLiteral("Group")), "GroupBox1");
        auto* groupLayout = new QVBoxLayout(group);
        radioGroup = new QButtonGroup(window.get());
        radioGroup->setObjectName(QStringLiteral("RadioGroup1"));
        for (const char* text : {"First", "Second"}) {
            auto* r = new QRadioButton(QString::fromLatin1(text));
            groupLayout->addWidget(r);
            radioGroup->addButton(r);
        }
        list = add(new QListWidget, "List1");
        list->addItems({QStringLiteral("One"), QStringLiteral("Two")});
        combo = add(new QComboBox, "cmbIPAssBak");
        combo->addItems(
            {QStringLiteral("PPPoE"), QStringLiteral("Dynamic IP"), QStringLiteral("Fixed IP")});
        combo->setCurrentIndex(2);
        listView = add(new QTreeWidget, "ListView");
        listView->setRootIsDecorated(false);
        listView->setHeaderLabels(
            {QStringLiteral("Mode"), QStringLiteral("Name"), QStringLiteral("IP")});
        modelView = add(new QTreeView, "ModelView");
        model = new QStandardItemModel(0, 2, modelView);
        model->setHorizontalHeaderLabels({QStringLiteral("Mode"), QStringLiteral("Name")});
        modelView->setModel(model);
        grid = add(new QTableWidget(1, 2), "Grid1");
        grid->setHorizontalHeaderLabels({QStringLiteral("Column"), QStringLiteral("Other")});
        tree = add(new QTreeWidget, "Tree1");
        auto* root = new QTreeWidgetItem(tree, {QStringLiteral("Root")});
        new QTreeWidgetItem(root, {QStringLiteral("Child")});
        new QTreeWidgetItem(tree, {QStringLiteral("Second root")});
        // A dialog the window owns is a window of its own, translated by its own section.
        dialog = new QDialog(window.get());
        dialogLabel = new QLabel(QStringLiteral("Dialog label"), dialog);
        dialogLabel->setObjectName(QStringLiteral("Label1"));
    }

    std::unique_ptr<QWidget> window;
    QStatusBar* status;
    QFrame* panel;
    QLabel *label, *untouched, *multi, *builtIn, *image, *dialogLabel;
    QCheckBox* check;
    QPushButton* button;
    QToolBar* toolBar;
    QToolButton *toolButton, *speedButton;
    QRadioButton* radio;
    QAction* action;
    QMenu* menu;
    QTabWidget* tabs;
    QGroupBox* group;
    QButtonGroup* radioGroup;
    QListWidget* list;
    QComboBox* combo;
    QTreeWidget *listView, *tree;
    QTreeView* modelView;
    QStandardItemModel* model;
    QTableWidget* grid;
    QDialog* dialog;
};

class TranslateFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_base.isValid());
        m_store = std::make_unique<TLanguageStore>(m_base.path());
        ASSERT_EQ(m_store->FilesWritten(), 7);
        const std::optional<std::string> bytes =
            EncodeText(QString::fromUtf8(kTestSection), "CP1252");
        ASSERT_TRUE(bytes.has_value());
        QFile f(LanguageFilePathFor(QStringLiteral("tst")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes->data(), static_cast<qint64>(bytes->size()));
    }
    void TearDown() override {
        SetLanguage(QStringLiteral("en"));
        m_store.reset();
    }

    QTemporaryDir m_base;
    std::unique_ptr<TLanguageStore> m_store;
};

TEST_F(TranslateFormTest, EveryKindOfComponentTakesItsKeyedTexts) {
    SetLanguage(QStringLiteral("tst"));
    ASSERT_EQ(CurrentLanguage(), QStringLiteral("tst"));
    TTestWindow t;
    TranslateForm(t.window.get());

    EXPECT_EQ(t.window->windowTitle(), QString::fromUtf8("Fenêtre d'essai"));
    EXPECT_EQ(t.label->text(), QString::fromUtf8("Étiquette"));
    EXPECT_EQ(t.untouched->text(), QStringLiteral("Keep me"));
    EXPECT_EQ(t.multi->text(), QStringLiteral("Ligne\nsuivante"));
    EXPECT_EQ(t.image->toolTip(), QStringLiteral("Logo"));
    EXPECT_FALSE(t.image->pixmap().isNull());
    EXPECT_EQ(t.check->text(), QString::fromUtf8("Case à cocher"));
    EXPECT_EQ(t.check->toolTip(), QString());
    EXPECT_EQ(t.button->text(), QStringLiteral("&Bouton"));
    EXPECT_EQ(t.button->toolTip(), QStringLiteral("Astuce"));
    EXPECT_EQ(t.toolButton->text(), QStringLiteral("Outil"));
    EXPECT_EQ(t.toolButton->toolTip(), QStringLiteral("Astuce outil"));
    EXPECT_EQ(t.speedButton->text(), QStringLiteral("Rapide"));
    EXPECT_EQ(t.radio->text(), QStringLiteral("Radio"));
    EXPECT_EQ(t.radio->toolTip(), QStringLiteral("Astuce radio"));
    EXPECT_EQ(t.action->text(), QStringLiteral("&Ouvrir"));
    EXPECT_EQ(t.menu->title(), QStringLiteral("&Fichier"));
    EXPECT_EQ(t.tabs->tabText(0), QString::fromUtf8("Général"));
    EXPECT_EQ(t.tabs->tabText(1), QStringLiteral("Others"));
    EXPECT_EQ(t.group->title(), QStringLiteral("Groupe"));
    EXPECT_EQ(t.radioGroup->buttons()[0]->text(), QStringLiteral("Premier"));
    EXPECT_EQ(t.radioGroup->buttons()[1]->text(), QStringLiteral("Second"));
    EXPECT_EQ(t.list->item(0)->text(), QStringLiteral("One"));
    EXPECT_EQ(t.list->item(1)->text(), QStringLiteral("Deux"));
    EXPECT_EQ(t.combo->itemText(0), QStringLiteral("PPPoE"));
    EXPECT_EQ(t.combo->itemText(2), QStringLiteral("IP fixe"));
    EXPECT_EQ(t.combo->currentIndex(), 2);
    EXPECT_EQ(t.listView->headerItem()->text(0), QStringLiteral("Mode"));
    EXPECT_EQ(t.listView->headerItem()->text(2), QStringLiteral("Adresse"));
    EXPECT_EQ(t.listView->columnCount(), 3);
    EXPECT_EQ(t.model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Nom"));
    EXPECT_EQ(t.grid->horizontalHeaderItem(0)->text(), QStringLiteral("Colonne"));
    EXPECT_EQ(t.grid->horizontalHeaderItem(1)->text(), QStringLiteral("Other"));
    EXPECT_EQ(t.tree->topLevelItem(0)->text(0), QStringLiteral("Racine"));
    EXPECT_EQ(t.tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("Enfant"));
    EXPECT_EQ(t.tree->topLevelItem(1)->text(0), QStringLiteral("Seconde racine"));
    EXPECT_EQ(t.window->property("OpenDialog1.Filter").toString(),
              QStringLiteral("Micrologiciel (*.bin)|*.bin"));
    EXPECT_EQ(t.dialogLabel->text(), QStringLiteral("Dialog label"));
}

TEST_F(TranslateFormTest, EscapesInBuiltInTextsAreExpandedWithoutAKey) {
    SetLanguage(QStringLiteral("tst"));
    TTestWindow t;
    TranslateForm(t.window.get());
    EXPECT_EQ(t.builtIn->text(), QStringLiteral("one\ntwo"));
}

TEST_F(TranslateFormTest, FontsFollowTheLanguage) {
    SetLanguage(QStringLiteral("tst"));
    TTestWindow t;
    TranslateForm(t.window.get());
    EXPECT_EQ(t.window->font().family(), QStringLiteral("Tahoma"));
    EXPECT_EQ(t.window->font().pointSize(), 8); // 9 becomes 8 outside cn, b5, jp
    EXPECT_TRUE(t.label->testAttribute(Qt::WA_SetFont));
    EXPECT_EQ(t.label->font().family(), QStringLiteral("Tahoma"));
    EXPECT_TRUE(t.speedButton->testAttribute(Qt::WA_SetFont));
    EXPECT_TRUE(t.status->testAttribute(Qt::WA_SetFont));
    EXPECT_TRUE(t.panel->testAttribute(Qt::WA_SetFont));
    EXPECT_TRUE(t.radioGroup->buttons()[0]->testAttribute(Qt::WA_SetFont));
    // Tool buttons on a tool bar, pictures and menus keep the font they inherit.
    EXPECT_FALSE(t.toolButton->testAttribute(Qt::WA_SetFont));
    EXPECT_FALSE(t.image->testAttribute(Qt::WA_SetFont));
}

TEST_F(TranslateFormTest, AMissingSectionKeepsTheTextsButAppliesTheFonts) {
    SetLanguage(QStringLiteral("cn"));
    TTestWindow t;
    t.window->setObjectName(QStringLiteral("frmNoSuchWindow"));
    QFont f = t.window->font();
    f.setPointSize(8);
    t.window->setFont(f);
    TranslateForm(t.window.get());
    EXPECT_EQ(t.window->windowTitle(), QStringLiteral("Test window"));
    EXPECT_EQ(t.label->text(), QStringLiteral("Label"));
    EXPECT_EQ(t.combo->itemText(2), QStringLiteral("Fixed IP"));
    EXPECT_EQ(t.listView->headerItem()->text(2), QStringLiteral("IP"));
    EXPECT_EQ(t.window->font().family(), QString::fromUtf8("宋体"));
    EXPECT_EQ(t.window->font().pointSize(), 9); // 8 becomes 9 in cn
    EXPECT_EQ(t.label->font().family(), QString::fromUtf8("宋体"));
}

TEST_F(TranslateFormTest, TheSuffixNamesTheSection) {
    SetLanguage(QStringLiteral("tst"));
    TTestWindow t;
    t.window->setObjectName(QStringLiteral("somethingElse"));
    TranslateForm(t.window.get(), QStringLiteral("frmTest"));
    EXPECT_EQ(t.label->text(), QString::fromUtf8("Étiquette"));
}

// The main window's components as the language files name them.
struct TMainWindow {
    TMainWindow() {
        window.setObjectName(QStringLiteral("frmMain"));
        window.setWindowTitle(QStringLiteral("frmMain"));
        auto* layout = new QVBoxLayout(&window);
        upgrade = new QPushButton(QStringLiteral("btnUpgrade"));
        upgrade->setObjectName(QStringLiteral("btnUpgrade"));
        layout->addWidget(upgrade);
        devices = new QTreeWidget;
        devices->setObjectName(QStringLiteral("ListView"));
        devices->setRootIsDecorated(false);
        devices->setHeaderLabels({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
        layout->addWidget(devices);
        count = new QLabel(QStringLiteral("lblDevNum"));
        count->setObjectName(QStringLiteral("lblDevNum"));
        layout->addWidget(count);
    }
    QWidget window;
    QPushButton* upgrade;
    QTreeWidget* devices;
    QLabel* count;
};

TEST_F(TranslateFormTest, TheMainWindowFollowsEachChangeOfLanguage) {
    TMainWindow m;
    TranslateForm(&m.window);
    EXPECT_EQ(m.window.windowTitle(), QStringLiteral("ZI Zadari Rurova"));
    EXPECT_EQ(m.upgrade->text(), QStringLiteral("Upgrade")); // its key is "btnUpgrade.caption"
    EXPECT_EQ(m.devices->headerItem()->text(0), QStringLiteral("Mode"));
    EXPECT_EQ(m.devices->headerItem()->text(1), QStringLiteral("Name"));
    EXPECT_EQ(m.devices->headerItem()->text(2), QStringLiteral("IP"));
    EXPECT_EQ(m.count->text(), QStringLiteral("Count:"));

    SetLanguage(QStringLiteral("ru"));
    TranslateForm(&m.window);
    EXPECT_EQ(m.upgrade->text(), QString::fromUtf8("Обновить"));
    EXPECT_EQ(m.count->text(), QString::fromUtf8("Всего:"));
    SetLanguage(QStringLiteral("jp"));
    TranslateForm(&m.window);
    EXPECT_EQ(m.devices->headerItem()->text(1), QString::fromUtf8("名前"));
    SetLanguage(QStringLiteral("b5"));
    TranslateForm(&m.window);
    EXPECT_EQ(m.count->text(), QString::fromUtf8("數量："));

    // A language without a file leaves English current.
    SetLanguage(QStringLiteral("xx"));
    EXPECT_EQ(CurrentLanguage(), QStringLiteral("en"));
    TranslateForm(&m.window);
    EXPECT_EQ(m.upgrade->text(), QStringLiteral("Upgrade"));
}

TEST_F(TranslateFormTest, WithoutLanguageFilesWindowsKeepTheirTexts) {
    m_store.reset();
    SetLanguage(QStringLiteral("en"));
    TMainWindow m;
    TranslateForm(&m.window);
    EXPECT_EQ(m.upgrade->text(), QStringLiteral("btnUpgrade"));
    EXPECT_EQ(m.window.windowTitle(), QStringLiteral("frmMain"));
}

TEST(ApplyLanguageFont, FontNamesAndSizeRules) {
    struct TCase {
        const char* code;
        int size;
        const char* family;
        int newSize;
    } cases[] = {
        {"en", 9, "Tahoma", 8}, {"en", 8, "Tahoma", 8},   {"en", 10, "Tahoma", 10},
        {"fr", 9, "Tahoma", 8}, {"ru", 9, "Tahoma", 8},   {"spa", 9, "Tahoma", 8},
        {"cn", 8, "宋体", 9},   {"cn", 9, "宋体", 9},     {"b5", 8, "PMingLiU", 9},
        {"jp", 8, "Tahoma", 9}, {"jp", 12, "Tahoma", 12}, {"xx", 9, "Tahoma", 8},
    };
    for (const TCase& c : cases) {
        QFont font(QStringLiteral("Sans"), c.size);
        ApplyLanguageFont(QString::fromLatin1(c.code), font);
        EXPECT_EQ(font.family(), QString::fromUtf8(c.family)) << c.code;
        EXPECT_EQ(font.pointSize(), c.newSize) << c.code << " " << c.size;
    }
}

TEST(FileDialogNameFilters, PairsBecomeQtFilters) {
    EXPECT_EQ(FileDialogNameFilters(QStringLiteral("Firmware(*.bin)|*.bin")),
              QStringList{QStringLiteral("Firmware(*.bin)")});
    EXPECT_EQ(FileDialogNameFilters(QStringLiteral("Micrologiciel|*.bin|Text|*.txt;*.log")),
              (QStringList{QStringLiteral("Micrologiciel (*.bin)"),
                           QStringLiteral("Text (*.txt *.log)")}));
    EXPECT_EQ(FileDialogNameFilters(QStringLiteral("Lonely")), QStringList());
    EXPECT_EQ(FileDialogNameFilters(QString()), QStringList());
}

// Answers the next message box by pressing `button`, after noting what it shows.
struct TBoxAnswer {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

void AnswerNextBox(QMessageBox::StandardButton button, TBoxAnswer* seen) {
    QTimer::singleShot(0, qApp, [button, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            AnswerNextBox(button, seen);
            return;
        }
        seen->title = box->windowTitle();
        seen->text = box->text();
        seen->icon = box->icon();
        seen->buttons = box->standardButtons();
        box->button(button)->click();
    });
}

TEST_F(TranslateFormTest, MessageBoxesShowTheMessagesAndReturnTheButton) {
    TMessageBoxPresenter presenter;
    TScopedMessagePresenter scope(&presenter);
    TBoxAnswer seen;
    AnswerNextBox(QMessageBox::No, &seen);
    EXPECT_EQ(StrResMessageBox("IDS_ERRCREATE307SOCKET", "IDS_ERROR",
                               MsgStyle::kYesNo | MsgStyle::kIconError),
              MsgResult::kNo);
    EXPECT_EQ(seen.title, QStringLiteral("Error"));
    EXPECT_TRUE(seen.text.startsWith(QStringLiteral("Could not create the socket port")));
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);

    AnswerNextBox(QMessageBox::Ok, &seen);
    EXPECT_EQ(StrResMessageBox("IDS_NOID", "IDS_INFORMATION", MsgStyle::kIconInformation),
              MsgResult::kOk);
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    EXPECT_EQ(seen.text, QStringLiteral("Error: no DDNS account setting.\n\nPlease check the "
                                        "DDNS setting in IP camera."));
}

} // namespace
} // namespace zadari
