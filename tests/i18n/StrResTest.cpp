// Message lookup: the file of the current language, the cache and the message box.
#include "i18n/StrRes.h"
#include "i18n/Language.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace zadari {
namespace {

class StrResTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_previousFolder = LanguageFolder();
        SetLanguageFolder(m_dir.path());
        SetCurrentLanguage(QStringLiteral("en"));
        ClearStrResCache();
    }
    void TearDown() override {
        ClearStrResCache();
        SetLanguageFolder(m_previousFolder);
        SetCurrentLanguage(QStringLiteral("en"));
    }
    void WriteFile(const QString& code, const QByteArray& bytes) {
        QFile f(LanguageFilePathFor(code));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QTemporaryDir m_dir;
    QString m_previousFolder;
};

const QByteArray kEnglish = QByteArrayLiteral("[StrRes]\r\n"
                                              "IDS_WARNING=Warning\r\n"
                                              "IDS_ERROR\t=Error\r\n"
                                              "IDS_DEVCOUNT=Count:\r\n"
                                              "IDS_NOID=Error: no DDNS.$n$nPlease check.\r\n"
                                              "IDS_EMPTY=\r\n");

TEST_F(StrResTest, FilePathIsTheFolderAndTheProgramNameWithTheLanguageExtension) {
    const QString path = LanguageFilePathFor(QStringLiteral("spa"));
    EXPECT_TRUE(path.startsWith(LanguageFolder()));
    EXPECT_TRUE(path.endsWith(QStringLiteral(".lspa"))) << path.toStdString();
    EXPECT_TRUE(path.contains(ProgramFileName().section(QLatin1Char('.'), 0, 0)));
    EXPECT_EQ(LanguageFilePath(), LanguageFilePathFor(QStringLiteral("en")));
    EXPECT_TRUE(LanguageFolder().endsWith(QLatin1Char('/')));

    SetLanguageFolder(QString());
    EXPECT_EQ(LanguageFilePath(), QString()); // no folder: nothing relative is ever read
}

TEST_F(StrResTest, LooksUpMessagesRegardlessOfCaseAndExpandsEscapes) {
    WriteFile(QStringLiteral("en"), kEnglish);
    EXPECT_EQ(GetStrRes("IDS_DEVCOUNT"), QStringLiteral("Count:"));
    EXPECT_EQ(GetStrRes("ids_devcount"), QStringLiteral("Count:"));
    EXPECT_EQ(GetStrRes("IDS_ERROR"), QStringLiteral("Error"));
    EXPECT_EQ(GetStrRes("IDS_NOID"), QStringLiteral("Error: no DDNS.\r\n\r\nPlease check."));
    EXPECT_EQ(GetStrRes("IDS_INITWSADATAERR"), QString());
    EXPECT_EQ(GetStrRes(""), QString());
}

TEST_F(StrResTest, FoundTextsAreCachedUntilTheLanguageChanges) {
    WriteFile(QStringLiteral("en"), kEnglish);
    EXPECT_EQ(GetStrRes("IDS_WARNING"), QStringLiteral("Warning"));
    WriteFile(QStringLiteral("en"), QByteArrayLiteral("[StrRes]\r\nIDS_WARNING=Changed\r\n"));
    EXPECT_EQ(GetStrRes("IDS_WARNING"), QStringLiteral("Warning"));
    EXPECT_EQ(GetStrRes("Ids_Warning"), QStringLiteral("Warning")); // same cache entry
    ClearStrResCache();
    EXPECT_EQ(GetStrRes("IDS_WARNING"), QStringLiteral("Changed"));
}

TEST_F(StrResTest, EmptyResultsAreNotCachedAndFoundOnceTheFileAppears) {
    EXPECT_EQ(GetStrRes("IDS_DEVCOUNT"), QString()); // no file yet
    WriteFile(QStringLiteral("en"), kEnglish);
    EXPECT_EQ(GetStrRes("IDS_DEVCOUNT"), QStringLiteral("Count:"));

    EXPECT_EQ(GetStrRes("IDS_EMPTY"), QString()); // present but empty
    WriteFile(QStringLiteral("en"), QByteArrayLiteral("[StrRes]\r\nIDS_EMPTY=Now set\r\n"));
    EXPECT_EQ(GetStrRes("IDS_EMPTY"), QStringLiteral("Now set"));
}

TEST_F(StrResTest, SetLanguageFallsBackToEnglishAndEmptiesTheCache) {
    WriteFile(QStringLiteral("en"), kEnglish);
    WriteFile(QStringLiteral("fr"), QByteArrayLiteral("[StrRes]\r\nIDS_WARNING=Avertissement\r\n"));
    EXPECT_EQ(GetStrRes("IDS_WARNING"), QStringLiteral("Warning"));
    SetLanguage(QStringLiteral("fr"));
    EXPECT_EQ(CurrentLanguage(), QStringLiteral("fr"));
    EXPECT_EQ(GetStrRes("IDS_WARNING"), QStringLiteral("Avertissement"));
    SetLanguage(QStringLiteral("xx"));
    EXPECT_EQ(CurrentLanguage(), QStringLiteral("en"));
    EXPECT_EQ(GetStrRes("IDS_WARNING"), QStringLiteral("Warning"));
}

TEST_F(StrResTest, LookupsFromManyThreadsAgree) {
    WriteFile(QStringLiteral("en"), kEnglish);
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                if (GetStrRes(i % 2 ? "IDS_ERROR" : "ids_devcount") !=
                    (i % 2 ? QStringLiteral("Error") : QStringLiteral("Count:")))
                    ++wrong;
                if (!GetStrRes("IDS_EMPTY").isEmpty())
                    ++wrong;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong.load(), 0);
}

class TRecordingPresenter : public TMessagePresenter {
public:
    int ShowMessage(const QString& caption, const QString& text, int style) override {
        captions.push_back(caption);
        texts.push_back(text);
        styles.push_back(style);
        return answer;
    }
    std::vector<QString> captions, texts;
    std::vector<int> styles;
    int answer = MsgResult::kOk;
};

TEST_F(StrResTest, MessageBoxShowsTheLookedUpCaptionAndTextAndReturnsTheAnswer) {
    WriteFile(QStringLiteral("en"), kEnglish);
    TRecordingPresenter presenter;
    presenter.answer = MsgResult::kNo;
    {
        TScopedMessagePresenter scope(&presenter);
        const int result =
            StrResMessageBox("IDS_DEVCOUNT", "IDS_ERROR", MsgStyle::kYesNo | MsgStyle::kIconError);
        EXPECT_EQ(result, MsgResult::kNo);
        presenter.answer = MsgResult::kOk;
        EXPECT_EQ(StrResMessageBox("IDS_MISSING", "IDS_WARNING", MsgStyle::kIconWarning),
                  MsgResult::kOk);
    }
    ASSERT_EQ(presenter.captions.size(), 2u);
    EXPECT_EQ(presenter.captions[0], QStringLiteral("Error"));
    EXPECT_EQ(presenter.texts[0], QStringLiteral("Count:"));
    EXPECT_EQ(presenter.styles[0], 20);
    EXPECT_EQ(presenter.captions[1], QStringLiteral("Warning"));
    EXPECT_EQ(presenter.texts[1], QString());
    EXPECT_EQ(MessagePresenter(), nullptr);
    EXPECT_EQ(StrResMessageBox("IDS_ERROR", "IDS_ERROR", 16), MsgResult::kNone);
}

} // namespace
} // namespace zadari
