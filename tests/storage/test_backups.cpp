#include "core/json.h"
#include "storage/backups.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QThread>

namespace {

// The one backup directory made so far.
QString onlyBackup(const TempHome& temp)
{
    const QStringList names = entriesOf(temp.home().backupsURL());
    EXPECT_EQ(names.size(), 1) << names.join(QLatin1Char(',')).toStdString();
    return names.isEmpty() ? QString() : temp.home().backupsURL() + QLatin1Char('/') + names.first();
}

// Waits until a new second starts, so that two timestamps of one test cannot straddle it.
void waitForFreshSecond()
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    while (QDateTime::currentSecsSinceEpoch() == now)
        QThread::msleep(5);
}

} // namespace

TEST(Backups, EmptyHomeGivesOnlyTheDescriptor)
{
    TempHome temp;
    Error error;
    ASSERT_TRUE(createBackupWithKind(temp.home(), QStringLiteral("switch-api"), &error)) << error.message.toStdString();
    const QString directory = onlyBackup(temp);
    EXPECT_TRUE(QFileInfo(directory).fileName().startsWith(QStringLiteral("switch-api-")));
    EXPECT_EQ(entriesOf(directory), QStringList{QStringLiteral("backup-info.json")});
    EXPECT_EQ(modeOf(temp.path(QStringLiteral("morvane"))), 0700u);
    EXPECT_EQ(modeOf(directory), 0700u);
}

TEST(Backups, CopiesTheListedFilesThatExistAndDescribesTheBackup)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), "{\"tokens\": {}}");
    temp.write(QStringLiteral("config.toml"), "model = \"o3\"\n");
    temp.write(QStringLiteral(".codex-global-state.json"), "{}");
    temp.write(QStringLiteral("cap_sid/inside"), "sid");
    temp.write(QStringLiteral("state_5.sqlite"), "not copied here");
    temp.write(QStringLiteral("sessions/2026/01/01/rollout.jsonl"), "{}");

    waitForFreshSecond();
    ASSERT_TRUE(createBackupWithKind(temp.home(), QStringLiteral("repair-config")));
    const QString directory = onlyBackup(temp);
    EXPECT_EQ(entriesOf(directory), (QStringList{".codex-global-state.json", "auth.json", "backup-info.json", "cap_sid",
                                                 "config.toml"}));
    EXPECT_EQ(readFileAt(directory + "/auth.json"), "{\"tokens\": {}}");
    EXPECT_EQ(readFileAt(directory + "/cap_sid/inside"), "sid");

    const Json descriptor = parseJson(readFileAt(directory + "/backup-info.json")).value_or(Json());
    ASSERT_TRUE(descriptor.is_object());
    EXPECT_EQ(descriptor.size(), 2u);
    EXPECT_EQ(descriptor["kind"], "repair-config");
    const QString createdAt = fromUtf8(descriptor["created_at"].get<std::string>());
    EXPECT_EQ(QFileInfo(directory).fileName(), QStringLiteral("repair-config-") + createdAt);
    EXPECT_TRUE(readFileAt(directory + "/backup-info.json").contains("\n  \"kind\""));
}

TEST(Backups, ASecondBackupInTheSameSecondFailsWithTheFileError)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), "{}");
    waitForFreshSecond();
    ASSERT_TRUE(createBackupWithKind(temp.home(), QStringLiteral("switch-api")));
    Error error;
    EXPECT_FALSE(createBackupWithKind(temp.home(), QStringLiteral("switch-api"), &error));
    EXPECT_EQ(error.message, QStringLiteral("无法复制“auth.json”：目标已存在。"));
}

TEST(Backups, ABackupDirectoryThatCannotBeMadeIsReported)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), "{}");
    temp.write(QStringLiteral("morvane/backups"), "a file where the directory belongs");
    Error error;
    EXPECT_FALSE(createBackupWithKind(temp.home(), QStringLiteral("switch-api"), &error));
    EXPECT_EQ(error.message, QStringLiteral("无法创建目录“backups”：那里已有一个同名文件。"));
    EXPECT_EQ(temp.read(QStringLiteral("morvane/backups")), "a file where the directory belongs");
}

TEST(Backups, AFailedCopyStopsWithoutADescriptor)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), "{}");
    temp.write(QStringLiteral("config.toml"), "x");
    waitForFreshSecond();
    const QString directory = backupDirectoryFor(temp.home(), QStringLiteral("fresh-account"));
    writeFileAt(directory + "/config.toml", "already here");

    Error error;
    EXPECT_FALSE(createBackupWithKind(temp.home(), QStringLiteral("fresh-account"), &error));
    EXPECT_EQ(error.message, QStringLiteral("无法复制“config.toml”：目标已存在。"));
    EXPECT_EQ(entriesOf(directory), (QStringList{"auth.json", "config.toml"}));
}
