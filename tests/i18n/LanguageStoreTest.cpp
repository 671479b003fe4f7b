// The language store's life cycle: private folders, their removal, and instances side by side.
#include "i18n/LanguageStore.h"
#include "i18n/CodePage.h"
#include "i18n/EmbeddedLanguages.h"
#include "i18n/Language.h"
#include "i18n/PrivateFolder.h"
#include "i18n/StrRes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zadari {
namespace {

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
}

bool Exists(const QString& path) {
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0;
}

void Touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("keep me");
}

// A pid that surely belongs to no process any more: a child that has exited and been reaped.
pid_t DeadPid() {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(0);
    int status = 0;
    waitpid(pid, &status, 0);
    return pid;
}

class LanguageStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_base.isValid()); }
    void TearDown() override {
        SetLanguageFolder(QString());
        SetCurrentLanguage(QStringLiteral("en"));
        ClearStrResCache();
    }
    QTemporaryDir m_base;
};

TEST_F(LanguageStoreTest, WritesTheSevenFilesIntoAPrivateFolderAndRemovesItAtTheEnd) {
    QString folder;
    {
        SetCurrentLanguage(QStringLiteral("fr"));
        TLanguageStore store(m_base.path());
        folder = store.Folder();
        ASSERT_FALSE(folder.isEmpty());
        EXPECT_EQ(CurrentLanguage(), QStringLiteral("en"));
        EXPECT_EQ(LanguageFolder(), folder);
        EXPECT_TRUE(folder.startsWith(m_base.path() + QLatin1Char('/')));
        EXPECT_EQ(store.FilesWritten(), 7);

        struct stat st {};
        ASSERT_EQ(stat(QFile::encodeName(folder).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        EXPECT_EQ(st.st_uid, getuid());

        EXPECT_EQ(FilesIn(folder).size(), 7);
        for (const TEmbeddedLanguageFile& f : EmbeddedLanguageFiles()) {
            QFile file(LanguageFilePathFor(QString::fromLatin1(f.code)));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << f.code;
            const QByteArray bytes = file.readAll();
            EXPECT_EQ(bytes, QByteArray(reinterpret_cast<const char*>(f.bytes),
                                        static_cast<qsizetype>(f.size)))
                << f.code;
        }

        // The messages of the written files are those of the program.
        EXPECT_EQ(GetStrRes("IDS_DEVCOUNT"), QStringLiteral("Count:"));
        SetLanguage(QStringLiteral("cn"));
        EXPECT_EQ(GetStrRes("IDS_ERROR"), QString::fromUtf8("错误"));
        SetLanguage(QStringLiteral("ru"));
        EXPECT_EQ(GetStrRes("IDS_ERROR"), QString::fromUtf8("Ошибка"));
        // A code saved in other letter cases finds its file (lan=FR).
        for (const char* code : {"FR", "Spa", "B5"}) {
            SetLanguage(QString::fromLatin1(code));
            EXPECT_EQ(CurrentLanguage(), QString::fromLatin1(code).toLower());
        }
        SetLanguage(QStringLiteral("xx"));
        EXPECT_EQ(CurrentLanguage(), QStringLiteral("en"));
        EXPECT_EQ(GetStrRes("IDS_ERROR"), QStringLiteral("Error"));
    }
    EXPECT_FALSE(Exists(folder));
    EXPECT_EQ(LanguageFolder(), QString());
    EXPECT_EQ(GetStrRes("IDS_DEVCOUNT"), QString()); // gone with its files
}

TEST_F(LanguageStoreTest, TheLanguageListIsTheLansSectionOfTheCurrentFile) {
    EXPECT_TRUE(ReadLanguageList().empty()); // no store, no file
    TLanguageStore store(m_base.path());
    std::vector<TLanguageEntry> list = ReadLanguageList();
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[1].name, QStringLiteral("Simplified Chinese"));
    EXPECT_EQ(list[1].code, QStringLiteral("cn"));
    SetLanguage(QStringLiteral("jp"));
    list = ReadLanguageList();
    ASSERT_EQ(list.size(), 7u);
    EXPECT_EQ(list[4].name, QString::fromUtf8("日本語"));
    EXPECT_EQ(list[6].name, QString::fromUtf8("スペイン語"));
    EXPECT_EQ(list[6].code, QStringLiteral("spa"));
}

TEST_F(LanguageStoreTest, RemovalDoesNotFollowPlantedLinks) {
    QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const QString victimFile = outside.filePath(QStringLiteral("victim.txt"));
    const QString victimDir = outside.filePath(QStringLiteral("victimdir"));
    Touch(victimFile);
    ASSERT_TRUE(QDir().mkdir(victimDir));
    Touch(victimDir + QStringLiteral("/inner.txt"));

    QString folder;
    {
        TLanguageStore store(m_base.path());
        folder = store.Folder();
        ASSERT_FALSE(folder.isEmpty());
        ASSERT_EQ(symlink(QFile::encodeName(victimDir).constData(),
                          QFile::encodeName(folder + QStringLiteral("linkdir")).constData()),
                  0);
        ASSERT_EQ(symlink(QFile::encodeName(victimFile).constData(),
                          QFile::encodeName(folder + QStringLiteral("linkfile")).constData()),
                  0);
        ASSERT_TRUE(QDir().mkdir(folder + QStringLiteral("sub")));
        ASSERT_EQ(symlink(QFile::encodeName(victimDir).constData(),
                          QFile::encodeName(folder + QStringLiteral("sub/deeper")).constData()),
                  0);
    }
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(QFileInfo::exists(victimFile));
    EXPECT_TRUE(QFileInfo::exists(victimDir + QStringLiteral("/inner.txt")));
}

TEST_F(LanguageStoreTest, RemoveTreeRemovesALinkInPlaceOfTheFolderAsALink) {
    QTemporaryDir outside;
    Touch(outside.filePath(QStringLiteral("victim.txt")));
    const QString link = m_base.filePath(QStringLiteral("link"));
    ASSERT_EQ(
        symlink(QFile::encodeName(outside.path()).constData(), QFile::encodeName(link).constData()),
        0);
    EXPECT_TRUE(RemoveTreeNoFollow(link));
    EXPECT_FALSE(Exists(link));
    EXPECT_TRUE(QFileInfo::exists(outside.filePath(QStringLiteral("victim.txt"))));
    EXPECT_FALSE(RemoveTreeNoFollow(QStringLiteral("/")));
    EXPECT_FALSE(RemoveTreeNoFollow(QString()));
}

TEST_F(LanguageStoreTest, StartRemovesOnlyFoldersOfThisUserWhoseProcessIsGone) {
    const QString prefix = TLanguageStore::FolderPrefix();
    const QString dead = m_base.filePath(prefix + QStringLiteral(".%1.AbC123").arg(DeadPid()));
    const QString alive = m_base.filePath(prefix + QStringLiteral(".%1.XyZ789").arg(getppid()));
    const QString otherName = m_base.filePath(QStringLiteral("other.%1.AbC123").arg(DeadPid()));
    const QString oddName = m_base.filePath(prefix + QStringLiteral(".12x.AbC123"));
    for (const QString& d : {dead, alive, otherName, oddName}) {
        ASSERT_TRUE(QDir().mkdir(d));
        Touch(d + QStringLiteral("/zadari.len"));
    }
    // A link named like a dead instance's folder is not entered.
    QTemporaryDir outside;
    Touch(outside.filePath(QStringLiteral("victim.txt")));
    const QString deadLink = m_base.filePath(prefix + QStringLiteral(".%1.LnK000").arg(DeadPid()));
    ASSERT_EQ(symlink(QFile::encodeName(outside.path()).constData(),
                      QFile::encodeName(deadLink).constData()),
              0);

    {
        TLanguageStore store(m_base.path());
        EXPECT_FALSE(Exists(dead));
        EXPECT_TRUE(Exists(alive));
        EXPECT_TRUE(Exists(otherName));
        EXPECT_TRUE(Exists(oddName));
        EXPECT_TRUE(Exists(deadLink));
        EXPECT_TRUE(QFileInfo::exists(outside.filePath(QStringLiteral("victim.txt"))));
    }
}

// --- Two programs side by side: the test program runs itself as the second instance. ---

const char kChildBase[] = "ZADARI_TEST_STORE_CHILD_BASE";

// Not a test of its own: the body of a child instance, run only when the parent asks for it.
TEST(LanguageStoreChild, HoldsAStoreUntilItsInputCloses) {
    if (qEnvironmentVariableIsEmpty(kChildBase))
        GTEST_SKIP() << "runs only as the child of the side-by-side test";
    TLanguageStore store(qEnvironmentVariable(kChildBase));
    std::cout << "FOLDER=" << store.Folder().toStdString() << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
    }
}

class TChildInstance {
public:
    explicit TChildInstance(const QString& base) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kChildBase), base);
        m_process.setProcessEnvironment(env);
        m_process.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--gtest_filter=LanguageStoreChild.*")});
    }
    ~TChildInstance() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QString WaitForFolder() {
        QByteArray out;
        while (m_process.waitForReadyRead(20000)) {
            out += m_process.readAllStandardOutput();
            const qsizetype at = out.indexOf("FOLDER=");
            const qsizetype end = out.indexOf('\n', at);
            if (at >= 0 && end > at)
                return QString::fromUtf8(out.mid(at + 7, end - at - 7));
        }
        return {};
    }
    bool End() {
        m_process.closeWriteChannel();
        return m_process.waitForFinished(20000) && m_process.exitCode() == 0;
    }
    void Kill() {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
};

TEST_F(LanguageStoreTest, InstancesSideBySideKeepTheirOwnFiles) {
    TChildInstance first(m_base.path());
    const QString firstFolder = first.WaitForFolder();
    ASSERT_FALSE(firstFolder.isEmpty());
    TChildInstance second(m_base.path());
    const QString secondFolder = second.WaitForFolder();
    ASSERT_FALSE(secondFolder.isEmpty());
    EXPECT_NE(firstFolder, secondFolder);
    EXPECT_EQ(FilesIn(firstFolder).size(), 7);
    EXPECT_EQ(FilesIn(secondFolder).size(), 7);

    // The first one ends while the second one still runs.
    EXPECT_TRUE(first.End());
    EXPECT_FALSE(Exists(firstFolder));
    EXPECT_EQ(FilesIn(secondFolder).size(), 7);
    // A third start leaves the running second one alone.
    {
        TLanguageStore third(m_base.path());
        EXPECT_EQ(FilesIn(secondFolder).size(), 7);
    }
    EXPECT_TRUE(second.End());
    EXPECT_FALSE(Exists(secondFolder));
}

TEST_F(LanguageStoreTest, AFolderOfAKilledInstanceIsRemovedByTheNextStart) {
    TChildInstance killed(m_base.path());
    const QString folder = killed.WaitForFolder();
    ASSERT_FALSE(folder.isEmpty());
    killed.Kill();
    ASSERT_TRUE(Exists(folder)); // a killed instance cleans nothing up
    TLanguageStore next(m_base.path());
    EXPECT_FALSE(Exists(folder));
    EXPECT_EQ(FilesIn(next.Folder()).size(), 7);
}

TEST(PrivateFolder, BaseIsAPrivateRuntimeFolderOrTheTemporaryFolder) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray path = QFile::encodeName(dir.path());
    chmod(path.constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", path);
    EXPECT_EQ(PrivateFolderBase(), dir.path());
    chmod(path.constData(), 0755); // others may enter it: not private
    EXPECT_NE(PrivateFolderBase(), dir.path());
    qputenv("XDG_RUNTIME_DIR", "relative/path");
    EXPECT_NE(PrivateFolderBase(), QStringLiteral("relative/path"));
    if (saved.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", saved);
}

TEST_F(LanguageStoreTest, WithoutABaseTheStoreLivesInTheRuntimeFolder) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray runtime = QFile::encodeName(m_base.path());
    chmod(runtime.constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", runtime);
    QString folder;
    {
        TLanguageStore store;
        folder = store.Folder();
        EXPECT_TRUE(folder.startsWith(m_base.path() + QLatin1Char('/'))) << folder.toStdString();
        EXPECT_EQ(store.FilesWritten(), 7);
    }
    EXPECT_FALSE(Exists(folder));
    if (saved.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", saved);
}

// --- Code pages and the start language ---

TEST(CodePage, CodePagesFollowTheLocale) {
    struct TCase {
        const char* locale;
        int ansi;
        int oem;
    } cases[] = {
        {"zh_CN.UTF-8", 936, 936},  {"zh_SG", 936, 936},
        {"zh_TW.UTF-8", 950, 950},  {"zh_HK.Big5", 950, 950},
        {"ja_JP.UTF-8", 932, 932},  {"ja", 932, 932},
        {"ru_RU.UTF-8", 1251, 866}, {"ru_UA", 1251, 866},
        {"fr_CA.UTF-8", 1252, 863}, {"fr_FR.UTF-8", 1252, 437},
        {"fr_CA@euro", 1252, 863},  {"en_US.UTF-8", 1252, 437},
        {"de_DE", 1252, 437},       {"C", 1252, 437},
        {"POSIX", 1252, 437},       {"", 1252, 437},
        {"zh", 1252, 437},          {"ZH_cn.gbk", 936, 936},
    };
    for (const TCase& c : cases) {
        const TCodePages pages = CodePagesFromLocale(c.locale);
        EXPECT_EQ(pages.ansi, c.ansi) << c.locale;
        EXPECT_EQ(pages.oem, c.oem) << c.locale;
    }
}

TEST(CodePage, SystemCodePagesReadTheLocaleVariablesInOrder) {
    const QByteArray all = qgetenv("LC_ALL"), ctype = qgetenv("LC_CTYPE"), lang = qgetenv("LANG");
    qunsetenv("LC_ALL");
    qputenv("LC_CTYPE", "ja_JP.UTF-8");
    qputenv("LANG", "ru_RU.UTF-8");
    EXPECT_EQ(SystemCodePages().oem, 932);
    qputenv("LC_ALL", "zh_TW.UTF-8");
    EXPECT_EQ(SystemCodePages().oem, 950);
    qunsetenv("LC_ALL");
    qunsetenv("LC_CTYPE");
    EXPECT_EQ(SystemCodePages().oem, 866);
    auto restore = [](const char* name, const QByteArray& value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("LC_ALL", all);
    restore("LC_CTYPE", ctype);
    restore("LANG", lang);
}

TEST(CodePage, LanguageFromCodePage) {
    struct TCase {
        int oem;
        const char* code;
    } cases[] = {{936, "cn"},   {950, "b5"}, {932, "jp"}, {863, "fr"}, {1144, "Ita"},
                 {1145, "spa"}, {437, "en"}, {866, "en"}, {0, "en"},   {-1, "en"}};
    for (const TCase& c : cases)
        EXPECT_EQ(LanguageFromCodePage(c.oem), QString::fromLatin1(c.code)) << c.oem;
}

TEST_F(LanguageStoreTest, StartLanguageNeedsTheFileOfTheCodePagesLanguage) {
    TLanguageStore store(m_base.path());
    EXPECT_EQ(StartLanguage(QString(), 936), QStringLiteral("cn"));
    EXPECT_EQ(StartLanguage(QString(), 437), QStringLiteral("en"));
    EXPECT_EQ(StartLanguage(QString(), 1144), QStringLiteral("en")); // there is no "Ita" file
    EXPECT_EQ(StartLanguage(QString(), 1145), QStringLiteral("spa"));
    EXPECT_EQ(StartLanguage(QString(), 863), QStringLiteral("fr"));
    // A saved code is taken as it is.
    EXPECT_EQ(StartLanguage(QStringLiteral("ru"), 936), QStringLiteral("ru"));
    EXPECT_EQ(StartLanguage(QStringLiteral("xx"), 936), QStringLiteral("xx"));
}

TEST(CodePage, DeviceTextsAreUtf8OrTheAnsiCodePage) {
    const QByteArray all = qgetenv("LC_ALL");
    qputenv("LC_ALL", "zh_CN.UTF-8");
    EXPECT_EQ(DecodeAnsiOrUtf8("\xE6\x91\x84\xE5\x83\x8F"), QString::fromUtf8("摄像")); // UTF-8
    EXPECT_EQ(DecodeAnsiOrUtf8("\xC9\xE3\xCF\xF1"), QString::fromUtf8("摄像"));         // GBK
    EXPECT_EQ(DecodeAnsiOrUtf8("Cam01"), QStringLiteral("Cam01"));
    // Written back the way the device wrote its own name.
    EXPECT_EQ(EncodeAnsiOrUtf8(QString::fromUtf8("摄像2"), "\xC9\xE3\xCF\xF1"), "\xC9\xE3\xCF\xF1"
                                                                                "2");
    EXPECT_EQ(EncodeAnsiOrUtf8(QString::fromUtf8("摄像2"), "\xE6\x91\x84\xE5\x83\x8F"),
              "\xE6\x91\x84\xE5\x83\x8F"
              "2");
    EXPECT_EQ(EncodeAnsiOrUtf8(QStringLiteral("Cam02"), "\xC9\xE3"), "Cam02");
    qputenv("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(DecodeAnsiOrUtf8("Kamera Flur \xC4"), QString::fromUtf8("Kamera Flur Ä")); // 1252
    EXPECT_EQ(EncodeAnsiOrUtf8(QString::fromUtf8("Ä"), "Cam"), "\xC4");
    EXPECT_EQ(EncodeAnsiOrUtf8(QString::fromUtf8("日"), "Cam"), "\xE6\x97\xA5"); // not in 1252
    if (all.isNull())
        qunsetenv("LC_ALL");
    else
        qputenv("LC_ALL", all);
}

TEST(CodePage, IconvNamesDecodeTheirCodePages) {
    EXPECT_STREQ(IconvNameOfCodePage(936), "CP936");
    EXPECT_STREQ(IconvNameOfCodePage(1252), "CP1252");
    EXPECT_STREQ(IconvNameOfCodePage(12345), "CP1252");
}

} // namespace
} // namespace zadari
