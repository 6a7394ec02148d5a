#include "core/json.h"
#include "migration/migration_backup.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

TEST(SafeBackupName, KeepsPathsReadableAndFlat)
{
    const QString home = QStringLiteral("/Users/user");
    EXPECT_EQ(safeBackupNameForPath(QStringLiteral("/Users/user/work/log 1.jsonl"), home), QStringLiteral("~__work__log_1.jsonl"));
    EXPECT_EQ(safeBackupNameForPath(QStringLiteral("/tmp/x.jsonl"), home), QStringLiteral("__tmp__x.jsonl"));
    EXPECT_EQ(safeBackupNameForPath(QStringLiteral("/Users/user/对话.jsonl"), home), QStringLiteral("~____.jsonl"));
    EXPECT_EQ(safeBackupNameForPath(QString(), home), QStringLiteral("rollout.jsonl"));
    EXPECT_EQ(safeBackupNameForPath(QStringLiteral("/a/🎉.jsonl"), home), QStringLiteral("__a____.jsonl"));
    EXPECT_EQ(safeBackupNameForPath(QStringLiteral("/srv/Users/user/x"), home), QStringLiteral("__srv~__x"));
}

TEST(MigrationBackup, CopiesTheIndexFilesAndEachExistingRollout)
{
    TempHome temp;
    temp.write(QStringLiteral("state_5.sqlite"), "db");
    temp.write(QStringLiteral("session_index.jsonl"), "{}\n");
    temp.write(QStringLiteral("config.toml"), "model = \"o3\"\n");
    temp.write(QStringLiteral("sessions/2026/05/30/rollout-a.jsonl"), "a");
    temp.write(QStringLiteral("archived_sessions/rollout-a.jsonl"), "same base name");
    const ThreadRecords threads = {
        {"1", temp.path("sessions/2026/05/30/rollout-a.jsonl"), "openai"},
        {"2", temp.path("archived_sessions/rollout-a.jsonl"), "openai"},
        {"3", temp.path("sessions/deleted.jsonl"), "openai"},
        {"4", QString(), "openai"},
    };

    Error error;
    const std::optional<QString> directory =
        createProviderMigrationBackupWithKind(temp.home(), QStringLiteral("switch-api-provider"), threads, &error);
    ASSERT_TRUE(directory) << error.message.toStdString();
    EXPECT_TRUE(QFileInfo(*directory).fileName().startsWith(QStringLiteral("switch-api-provider-")));
    EXPECT_EQ(entriesOf(*directory), (QStringList{"config.toml", "provider-migration-info.json", "rollout_files",
                                                  "session_index.jsonl", "state_5.sqlite"}));
    EXPECT_EQ(entriesOf(*directory + "/rollout_files"),
              (QStringList{"~__.codex__archived_sessions__rollout-a.jsonl", "~__.codex__sessions__2026__05__30__rollout-a.jsonl"}));
    EXPECT_EQ(readFileAt(*directory + "/rollout_files/~__.codex__archived_sessions__rollout-a.jsonl"), "same base name");

    const Json descriptor = parseJson(readFileAt(*directory + "/provider-migration-info.json")).value_or(Json());
    EXPECT_EQ(descriptor.size(), 3u);
    EXPECT_EQ(descriptor["kind"], "switch-api-provider");
    EXPECT_EQ(descriptor["thread_count"], 4);
    EXPECT_EQ(QFileInfo(*directory).fileName(),
              QStringLiteral("switch-api-provider-") + fromUtf8(descriptor["created_at"].get<std::string>()));
}

TEST(MigrationBackup, SameSafeNameKeepsTheFirstFileAndCountsBoth)
{
    TempHome temp;
    temp.write(QStringLiteral("a b.jsonl"), "first");
    temp.write(QStringLiteral("a_b.jsonl"), "second");
    const ThreadRecords threads = {{"1", temp.path("a b.jsonl"), "x"}, {"2", temp.path("a_b.jsonl"), "x"}};
    const std::optional<QString> directory = createProviderMigrationBackupWithKind(temp.home(), std::nullopt, threads);
    ASSERT_TRUE(directory);
    EXPECT_TRUE(QFileInfo(*directory).fileName().startsWith(QStringLiteral("provider-")));
    EXPECT_EQ(entriesOf(*directory + "/rollout_files"), QStringList{"~__.codex__a_b.jsonl"});
    EXPECT_EQ(readFileAt(*directory + "/rollout_files/~__.codex__a_b.jsonl"), "first");
    const Json descriptor = parseJson(readFileAt(*directory + "/provider-migration-info.json")).value_or(Json());
    EXPECT_EQ(descriptor["kind"], "provider");
    EXPECT_EQ(descriptor["thread_count"], 2);
}

TEST(MigrationBackup, FailsOnlyWhenItsDirectoryCannotBeMade)
{
    TempHome temp;
    temp.write(QStringLiteral("morvane"), "a file");
    Error error;
    EXPECT_FALSE(createProviderMigrationBackupWithKind(temp.home(), QStringLiteral("repair-provider"), {}, &error));
    EXPECT_EQ(error.message, QStringLiteral("无法创建目录“morvane”：那里已有一个同名文件。"));
}
