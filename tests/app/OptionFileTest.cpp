#include "app/OptionFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zadari {
namespace {

class TOptionFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        programDir_ = root_.filePath(QStringLiteral("program"));
        userDir_ = root_.filePath(QStringLiteral("config/zadari"));
        ASSERT_TRUE(QDir().mkpath(programDir_));
    }

    static void Write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }
    QString ProgramFile() const { return programDir_ + QStringLiteral("/option.ini"); }
    QString UserFile() const { return userDir_ + QStringLiteral("/option.ini"); }
    TOptionFile Open() const {
        return TOptionFile(QStringLiteral("option.ini"), programDir_, userDir_);
    }
    QString Lan(const TOptionFile& options) const {
        return options.ReadString(QStringLiteral("Global"), QStringLiteral("lan"),
                                  QStringLiteral("dflt"));
    }

    QTemporaryDir root_;
    QString programDir_;
    QString userDir_;
};

TEST_F(TOptionFileTest, NoFileGivesTheDefaultAndCreatesTheUserFolder) {
    const TOptionFile options = Open();
    EXPECT_TRUE(QFileInfo(userDir_).isDir());
    EXPECT_EQ(Lan(options), QStringLiteral("dflt"));
    EXPECT_EQ(options.ProgramFilePath(), QString());
    EXPECT_EQ(options.UserFilePath(), UserFile());
}

TEST_F(TOptionFileTest, ProgramFolderFileIsTheSiteDefault) {
    Write(ProgramFile(), "[Global]\r\nlan = fr \r\n");
    const TOptionFile options = Open();
    EXPECT_EQ(Lan(options), QStringLiteral("fr"));
    EXPECT_EQ(
        options.ReadString(QStringLiteral("Global"), QStringLiteral("other"), QStringLiteral("x")),
        QStringLiteral("x"));
}

TEST_F(TOptionFileTest, PerUserFileWinsAndAnEmptyValueCounts) {
    Write(ProgramFile(), "[Global]\nlan=fr\n");
    QDir().mkpath(userDir_);
    Write(UserFile(), "[global]\nLAN=en\n");
    EXPECT_EQ(Lan(Open()), QStringLiteral("en"));
    // A per-user entry with no text is still the per-user entry.
    Write(UserFile(), "[Global]\nlan=\n");
    EXPECT_EQ(Lan(Open()), QString());
    // A per-user file without the entry falls through to the program folder's.
    Write(UserFile(), "[Other]\nlan=ru\n");
    EXPECT_EQ(Lan(Open()), QStringLiteral("fr"));
}

TEST_F(TOptionFileTest, ProgramFolderFileCountsOnlyWhenItExistedAtCreation) {
    const TOptionFile options = Open();
    Write(ProgramFile(), "[Global]\nlan=fr\n");
    EXPECT_EQ(Lan(options), QStringLiteral("dflt"));
    EXPECT_EQ(Lan(Open()), QStringLiteral("fr"));
}

TEST_F(TOptionFileTest, PickingALanguageAfterASiteDefaultWritesThePerUserFileOnly) {
    Write(ProgramFile(), "[Global]\nlan=fr\n");
    {
        TOptionFile options = Open();
        EXPECT_EQ(Lan(options), QStringLiteral("fr"));
        EXPECT_TRUE(options.WriteString(QStringLiteral("Global"), QStringLiteral("lan"),
                                        QStringLiteral("en")));
    }
    EXPECT_EQ(Read(ProgramFile()), QByteArray("[Global]\nlan=fr\n"));
    EXPECT_EQ(Read(UserFile()), QByteArray("[Global]\nlan=en\n"));
    EXPECT_EQ(Lan(Open()), QStringLiteral("en"));
}

TEST_F(TOptionFileTest, WriteReplacesTheEntryInPlaceAndKeepsTheRest) {
    QDir().mkpath(userDir_);
    Write(
        UserFile(),
        "; kept comment\r\n[Global]\r\nother=1\r\n  LAN =cn\r\nmore=2\r\n\r\n[Next]\r\nlan=zz\r\n");
    TOptionFile options = Open();
    EXPECT_TRUE(
        options.WriteString(QStringLiteral("Global"), QStringLiteral("lan"), QStringLiteral("jp")));
    EXPECT_EQ(
        Read(UserFile()),
        QByteArray(
            "; kept "
            "comment\r\n[Global]\r\nother=1\r\nlan=jp\r\nmore=2\r\n\r\n[Next]\r\nlan=zz\r\n"));
    // Rewriting the same code leaves the same file.
    EXPECT_TRUE(
        options.WriteString(QStringLiteral("Global"), QStringLiteral("lan"), QStringLiteral("jp")));
    EXPECT_EQ(Lan(options), QStringLiteral("jp"));
    EXPECT_EQ(options.ReadString(QStringLiteral("Next"), QStringLiteral("lan"), {}),
              QStringLiteral("zz"));
}

TEST_F(TOptionFileTest, WriteAddsKeysToTheSectionAndNewSectionsAtTheEnd) {
    QDir().mkpath(userDir_);
    Write(UserFile(), "[Global]\nother=1\n\n[Next]\nx=y");
    TOptionFile options = Open();
    EXPECT_TRUE(
        options.WriteString(QStringLiteral("Global"), QStringLiteral("lan"), QStringLiteral("ru")));
    EXPECT_TRUE(
        options.WriteString(QStringLiteral("Third"), QStringLiteral("k"), QStringLiteral("v")));
    EXPECT_EQ(Read(UserFile()),
              QByteArray("[Global]\nother=1\nlan=ru\n\n[Next]\nx=y\n[Third]\nk=v\n"));
}

TEST_F(TOptionFileTest, AByteOrderMarkDoesNotHideTheFirstSection) {
    QDir().mkpath(userDir_);
    Write(UserFile(), "\xEF\xBB\xBF[Global]\nlan=b5\n");
    TOptionFile options = Open();
    EXPECT_EQ(Lan(options), QStringLiteral("b5"));
    EXPECT_TRUE(options.WriteString(QStringLiteral("Global"), QStringLiteral("lan"),
                                    QStringLiteral("spa")));
    EXPECT_EQ(Read(UserFile()), QByteArray("\xEF\xBB\xBF[Global]\nlan=spa\n"));
}

TEST_F(TOptionFileTest, ValuesCannotInjectEntriesAndBadNamesAreRefused) {
    TOptionFile options = Open();
    EXPECT_TRUE(options.WriteString(QStringLiteral("Global"), QStringLiteral("lan"),
                                    QStringLiteral("en\n[Global]\nlan=xx")));
    EXPECT_EQ(Lan(options), QStringLiteral("en [Global] lan=xx"));
    EXPECT_FALSE(options.WriteString(QStringLiteral("Glo]bal"), QStringLiteral("lan"),
                                     QStringLiteral("en")));
    EXPECT_FALSE(options.WriteString(QStringLiteral("Global"), QStringLiteral("l=an"),
                                     QStringLiteral("en")));
    EXPECT_FALSE(options.WriteString(QString(), QStringLiteral("lan"), QStringLiteral("en")));
    EXPECT_FALSE(options.WriteString(QStringLiteral("Global"), QStringLiteral("a\nb"),
                                     QStringLiteral("en")));
}

TEST_F(TOptionFileTest, AFailingWriteIsReportedAndLeavesNoFile) {
    // The per-user "file" is a folder: it can be neither read nor replaced.
    QDir().mkpath(UserFile());
    TOptionFile options = Open();
    EXPECT_FALSE(
        options.WriteString(QStringLiteral("Global"), QStringLiteral("lan"), QStringLiteral("en")));
    EXPECT_EQ(Lan(options), QStringLiteral("dflt"));
    EXPECT_TRUE(QFileInfo(UserFile()).isDir());
}

TEST_F(TOptionFileTest, DefaultFoldersFollowXdgConfigHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const QString config = root_.filePath(QStringLiteral("xdg"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    {
        TOptionFile options(QStringLiteral("option.ini"));
        EXPECT_TRUE(options.UserFilePath().startsWith(config + QLatin1Char('/')));
        EXPECT_TRUE(options.UserFilePath().endsWith(QStringLiteral("/option.ini")));
        EXPECT_TRUE(QFileInfo(QFileInfo(options.UserFilePath()).path()).isDir());
        EXPECT_TRUE(options.WriteString(QStringLiteral("Global"), QStringLiteral("lan"),
                                        QStringLiteral("en")));
        EXPECT_EQ(TOptionFile(QStringLiteral("option.ini"))
                      .ReadString(QStringLiteral("Global"), QStringLiteral("lan"), {}),
                  QStringLiteral("en"));
    }
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
}

} // namespace
} // namespace zadari
