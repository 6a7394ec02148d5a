#include "core/files/file_tree.h"
#include "core/files/file_io.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

TEST(FileOps, CopyRefusesAnExistingDestinationWithAClearMessage)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), "new");
    temp.write(QStringLiteral("copy/auth.json"), "old");
    Error error;
    EXPECT_FALSE(files::copyItem(temp.path(QStringLiteral("auth.json")), temp.path(QStringLiteral("copy/auth.json")), &error));
    EXPECT_EQ(error.message, QStringLiteral("无法复制“auth.json”：目标已存在。"));
    EXPECT_EQ(error.domain, QStringLiteral("File"));
    EXPECT_EQ(temp.read(QStringLiteral("copy/auth.json")), "old");
}

TEST(FileOps, CopyKeepsContentsModeAndTimeAndCopiesDirectoriesWhole)
{
    TempHome temp;
    temp.write(QStringLiteral("cap_sid/.hidden"), "h");
    temp.write(QStringLiteral("cap_sid/inner/data.bin"), QByteArray("\x00\x01\x02", 3));
    QFile::setPermissions(temp.path(QStringLiteral("cap_sid/inner/data.bin")), QFile::ReadOwner | QFile::WriteOwner);
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'600'000'000);
    setModificationTime(temp.path(QStringLiteral("cap_sid/inner/data.bin")), old);

    temp.makeDirectory(QStringLiteral("backup"));
    ASSERT_TRUE(files::copyItem(temp.path(QStringLiteral("cap_sid")), temp.path(QStringLiteral("backup/cap_sid"))));
    EXPECT_EQ(temp.read(QStringLiteral("backup/cap_sid/.hidden")), "h");
    const QString copied = temp.path(QStringLiteral("backup/cap_sid/inner/data.bin"));
    EXPECT_EQ(readFileAt(copied), QByteArray("\x00\x01\x02", 3));
    EXPECT_EQ(modeOf(copied), 0600u);
    EXPECT_EQ(modificationTime(copied), old);
}

TEST(FileOps, CopyOfAMissingSourceNamesIt)
{
    TempHome temp;
    temp.makeDirectory(QStringLiteral("dest"));
    Error error;
    EXPECT_FALSE(files::copyItem(temp.path(QStringLiteral("gone.json")), temp.path(QStringLiteral("dest/gone.json")), &error));
    EXPECT_EQ(error.message, QStringLiteral("无法复制“gone.json”：文件或目录不存在。"));
}

TEST(FileOps, AtomicWriteReplacesWholeAndCanRestrictToOwner)
{
    TempHome temp;
    const QString path = temp.path(QStringLiteral("auth.json"));
    temp.write(QStringLiteral("auth.json"), "old content that is longer");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);

    ASSERT_TRUE(files::writeAtomically(path, "new", nullptr, files::Access::OwnerOnly));
    EXPECT_EQ(readFileAt(path), "new");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(entriesOf(temp.codexHome()), QStringList{QStringLiteral("auth.json")});
}

TEST(FileOps, AtomicWriteOntoADirectoryFailsAndKeepsIt)
{
    TempHome temp;
    temp.write(QStringLiteral("config.toml/keep"), "x");
    Error error;
    EXPECT_FALSE(files::writeAtomically(temp.path(QStringLiteral("config.toml")), "data", &error));
    EXPECT_TRUE(error.message.startsWith(QStringLiteral("无法写入“config.toml”："))) << error.message.toStdString();
    EXPECT_EQ(temp.read(QStringLiteral("config.toml/keep")), "x");
}

TEST(FileOps, ReadingTextRejectsInvalidUtf8)
{
    TempHome temp;
    temp.write(QStringLiteral("config.toml"), "model = \"x\"\n\xc3\x28");
    Error error;
    EXPECT_FALSE(files::readUtf8(temp.path(QStringLiteral("config.toml")), &error));
    EXPECT_EQ(error.message, QStringLiteral("无法读取“config.toml”：内容不是有效的 UTF-8 文本。"));

    temp.write(QStringLiteral("ok.toml"), "名字 = \"对话\"\r\n");
    EXPECT_EQ(files::readUtf8(temp.path(QStringLiteral("ok.toml"))), QStringLiteral("名字 = \"对话\"\r\n"));
}

TEST(FileOps, NewDirectoriesAreOwnerOnlyAndAFileInTheWayIsReported)
{
    TempHome temp;
    ASSERT_TRUE(files::makeDirectory(temp.path(QStringLiteral("morvane/backups/x"))));
    EXPECT_EQ(modeOf(temp.path(QStringLiteral("morvane"))), 0700u);
    EXPECT_EQ(modeOf(temp.path(QStringLiteral("morvane/backups/x"))), 0700u);
    EXPECT_TRUE(files::makeDirectory(temp.path(QStringLiteral("morvane/backups/x"))));

    temp.write(QStringLiteral("blocker"), "file");
    Error error;
    EXPECT_FALSE(files::makeDirectory(temp.path(QStringLiteral("blocker/sub")), &error));
    EXPECT_EQ(error.message, QStringLiteral("无法创建目录“blocker”：那里已有一个同名文件。"));
}

TEST(FileOps, ReplaceWithCopyLeavesTheOldItemWhenTheRenameCannotHappen)
{
    TempHome temp;
    temp.write(QStringLiteral("src/config.toml"), "new");
    temp.write(QStringLiteral("dst/config.toml/inner"), "old");
    Error error;
    EXPECT_FALSE(files::replaceWithCopy(temp.path(QStringLiteral("src/config.toml")), temp.path(QStringLiteral("dst/config.toml")), &error));
    EXPECT_EQ(error.message, QStringLiteral("无法替换“config.toml”：目标是一个目录。"));
    EXPECT_EQ(temp.read(QStringLiteral("dst/config.toml/inner")), "old");
    EXPECT_EQ(entriesOf(temp.path(QStringLiteral("dst"))), QStringList{QStringLiteral("config.toml")});
}

TEST(FileOps, BatchReplacesFilesKeepingTheirModeAndLeavesNoTemporaries)
{
    TempHome temp;
    temp.write(QStringLiteral("a.jsonl"), "old a");
    QFile::setPermissions(temp.path("a.jsonl"), QFile::ReadOwner | QFile::WriteOwner);
    temp.write(QStringLiteral("b.jsonl"), "old b");
    {
        files::AtomicBatch batch;
        ASSERT_TRUE(batch.stage(temp.path("a.jsonl"), "new a"));
        ASSERT_TRUE(batch.stage(temp.path("b.jsonl"), "new b"));
        EXPECT_EQ(temp.read("a.jsonl"), "old a");
        ASSERT_TRUE(batch.commit());
    }
    EXPECT_EQ(temp.read("a.jsonl"), "new a");
    EXPECT_EQ(temp.read("b.jsonl"), "new b");
    EXPECT_EQ(modeOf(temp.path("a.jsonl")), 0600u);
    {
        files::AtomicBatch abandoned;
        ASSERT_TRUE(abandoned.stage(temp.path("a.jsonl"), "never"));
    }
    EXPECT_EQ(temp.read("a.jsonl"), "new a");
    EXPECT_EQ(entriesOf(temp.codexHome()), (QStringList{"a.jsonl", "b.jsonl"}));
}
