#include "access/Tools.h"
#include "access/FixtureServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace zadari {
namespace {

using testing::TFixtureServer;

class HttpGetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.Running()); }
    std::string Url(const char* path) const { return server_.BaseUrl() + path; }
    TFixtureServer server_;
};

TEST_F(HttpGetTest, ErrorPageWithBodyIsASuccessWithThatBody) {
    std::string reply = "stale";
    EXPECT_TRUE(TTools::HttpGet(Url("/page404"), reply, 5000));
    EXPECT_EQ(reply, "<html><body>no such page</body></html>");
}

TEST_F(HttpGetTest, ReplyEndsBeforeTheFirstNul) {
    std::string reply;
    EXPECT_TRUE(TTools::HttpGet(Url("/nul"), reply, 5000));
    EXPECT_EQ(reply, "before");
}

TEST_F(HttpGetTest, LongBodyIsCutAt512000Bytes) {
    std::string reply;
    EXPECT_TRUE(TTools::HttpGet(Url("/big"), reply, 5000));
    ASSERT_EQ(reply.size(), 512000u);
    EXPECT_EQ(reply.substr(0, 27), "abcdefghijklmnopqrstuvwxyza");
    EXPECT_EQ(reply[511999], static_cast<char>('a' + 511999 % 26));
}

TEST_F(HttpGetTest, SendsAPlainGetWithItsAgentAndAsksPastCaches) {
    std::string reply;
    ASSERT_TRUE(TTools::HttpGet(Url("/status?user=admin&pwd=x"), reply, 5000));
    const QByteArray request = server_.Request(1);
    EXPECT_TRUE(request.startsWith("GET /status?user=admin&pwd=x HTTP/1.1\r\n")) << request.data();
    EXPECT_TRUE(request.contains("\r\nUser-Agent: DoDO\r\n"));
    EXPECT_TRUE(request.contains("\r\nCache-Control: no-cache\r\n"));
    EXPECT_FALSE(request.contains("Authorization"));
}

TEST_F(HttpGetTest, SilentServerGivesFalseAndEmptyAfterTheTimeOut) {
    std::string reply = "stale";
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(TTools::HttpGet(Url("/silent"), reply, 400));
    EXPECT_TRUE(reply.empty());
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(HttpGet, UnreachableAddressGivesFalseAndEmpty) {
    // A port nobody listens on: take a free one and give it back.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const auto port = probe.serverPort();
    probe.close();
    std::string reply = "stale";
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(TTools::HttpGet("http://127.0.0.1:" + std::to_string(port) + "/", reply, 500));
    EXPECT_TRUE(reply.empty());
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(HttpGet, MalformedUrlGivesFalseAndEmpty) {
    std::string reply = "stale";
    EXPECT_FALSE(TTools::HttpGet("not a url", reply, 500));
    EXPECT_TRUE(reply.empty());
}

TEST(SplitText, KeepsEmptyPiecesAndAppends) {
    std::vector<std::string> list{"before"};
    TTools::SplitText("a,b,", ",", list);
    EXPECT_EQ(list, (std::vector<std::string>{"before", "a", "b", ""}));
    std::vector<std::string> one;
    TTools::SplitText("", ",", one);
    EXPECT_EQ(one, std::vector<std::string>{""});
    std::vector<std::string> whole;
    TTools::SplitText("abc", "\r\n", whole);
    EXPECT_EQ(whole, std::vector<std::string>{"abc"});
}

bool Exists(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

void WriteFile(const QString& path, const char* text = "x") {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

TEST(ForceDir, CreatesEveryMissingLevel) {
    QTemporaryDir root;
    const QString path = root.path() + QStringLiteral("/one/two");
    EXPECT_TRUE(TTools::ForceDir(path));
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_TRUE(TTools::ForceDir(path + QStringLiteral("/three/")));
    EXPECT_TRUE(QFileInfo(path + QStringLiteral("/three")).isDir());
    EXPECT_TRUE(TTools::ForceDir(QString()));
}

TEST(ForceDir, FalseWhenAFileStandsInTheWay) {
    QTemporaryDir root;
    WriteFile(root.path() + QStringLiteral("/file"));
    EXPECT_FALSE(TTools::ForceDir(root.path() + QStringLiteral("/file/sub")));
}

TEST(ClearDir, EmptiesNestedFoldersAndReadOnlyEntries) {
    QTemporaryDir root;
    const QString dir = root.path() + QStringLiteral("/store");
    ASSERT_TRUE(TTools::ForceDir(dir + QStringLiteral("/sub/deeper")));
    WriteFile(dir + QStringLiteral("/readonly.ini"));
    ::chmod(QFile::encodeName(dir + QStringLiteral("/readonly.ini")).constData(), 0400);
    WriteFile(dir + QStringLiteral("/sub/a.lng"));
    WriteFile(dir + QStringLiteral("/sub/deeper/b.lng"));
    // A folder its owner made read-only still gets emptied.
    ::chmod(QFile::encodeName(dir + QStringLiteral("/sub")).constData(), 0500);

    EXPECT_TRUE(TTools::ClearDir(dir, false));
    EXPECT_TRUE(QFileInfo(dir).isDir());
    EXPECT_TRUE(
        QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());

    WriteFile(dir + QStringLiteral("/again"));
    EXPECT_TRUE(TTools::ClearDir(dir + QStringLiteral("/"), true));
    EXPECT_FALSE(Exists(dir));
}

TEST(ClearDir, NeverFollowsALinkOutOfTheFolder) {
    QTemporaryDir root;
    const QString outside = root.path() + QStringLiteral("/outside");
    const QString dir = root.path() + QStringLiteral("/store");
    ASSERT_TRUE(TTools::ForceDir(outside));
    ASSERT_TRUE(TTools::ForceDir(dir));
    WriteFile(outside + QStringLiteral("/precious"));
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(),
                        QFile::encodeName(dir + QStringLiteral("/link")).constData()),
              0);
    ASSERT_EQ(::symlink(QFile::encodeName(outside + QStringLiteral("/precious")).constData(),
                        QFile::encodeName(dir + QStringLiteral("/filelink")).constData()),
              0);

    EXPECT_TRUE(TTools::ClearDir(dir, true));
    EXPECT_FALSE(Exists(dir));
    EXPECT_TRUE(Exists(outside + QStringLiteral("/precious")));

    // The folder named is itself a link: its target is left alone.
    const QString linkToOutside = root.path() + QStringLiteral("/alias");
    ASSERT_EQ(::symlink(QFile::encodeName(outside).constData(),
                        QFile::encodeName(linkToOutside).constData()),
              0);
    EXPECT_TRUE(TTools::ClearDir(linkToOutside, false));
    EXPECT_TRUE(Exists(outside + QStringLiteral("/precious")));
}

TEST(ClearDir, MissingOrEmptyPathIsTrue) {
    EXPECT_TRUE(TTools::ClearDir(QString(), true));
    EXPECT_TRUE(TTools::ClearDir(QStringLiteral("/nonexistent/zadari/folder"), true));
}

TEST(NewGuidText, ThirtySixUpperCaseCharactersWithoutBraces) {
    const std::string a = TTools::NewGuidText();
    ASSERT_EQ(a.size(), 36u);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23)
            EXPECT_EQ(a[i], '-');
        else
            EXPECT_TRUE((a[i] >= '0' && a[i] <= '9') || (a[i] >= 'A' && a[i] <= 'F')) << a;
    }
    EXPECT_NE(a, TTools::NewGuidText());
}

TEST(ProgramFolders, ModuleAndAppDir) {
    const QString module = ModuleFileName();
    EXPECT_TRUE(module.endsWith(QStringLiteral("/zadari_test_access"))) << module.toStdString();
    EXPECT_EQ(TTools::GetAppDir(), QFileInfo(module).absolutePath() + QLatin1Char('/'));
}

TEST(ProgramFolders, AppDataDirDropsAThreeLetterExtensionAndEndsInASlash) {
    EXPECT_EQ(
        TTools::AppDataDirOf(QStringLiteral("/home/u/.config/"), QStringLiteral("/opt/x/tool.exe")),
        QStringLiteral("/home/u/.config/tool/"));
    EXPECT_EQ(
        TTools::AppDataDirOf(QStringLiteral("/home/u/.config/"), QStringLiteral("/usr/bin/zadari")),
        QStringLiteral("/home/u/.config/zadari/"));
    EXPECT_EQ(TTools::AppDataDirOf(QString(), QStringLiteral("/usr/bin/zadari")), QString());
}

TEST(ProgramFolders, AppDataFollowsXdgConfigHome) {
    QTemporaryDir root;
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.path() + QStringLiteral("/cfg")));
    EXPECT_EQ(TTools::GetSpecialDir(kCsidlAppData, false), root.path() + QStringLiteral("/cfg/"));
    const QString appData = TTools::GetAppDataDir(kCsidlAppData, true);
    EXPECT_EQ(appData, root.path() + QStringLiteral("/cfg/zadari_test_access/"));
    EXPECT_TRUE(QFileInfo(appData).isDir());
    EXPECT_EQ(TTools::GetSpecialDir(12345, true), QString());
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}

TEST(TempDir, PrivateFolderOfThisProcess) {
    const QString dir = TTools::GetTempDir();
    ASSERT_FALSE(dir.isEmpty());
    EXPECT_TRUE(dir.endsWith(QLatin1Char('/')));
    EXPECT_EQ(dir, TTools::GetTempDir());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(dir).constData(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::getuid());
}

} // namespace
} // namespace zadari
