#include "bench/codex_home_builder.h"
#include "core/json.h"
#include "migration/migration_backup.h"
#include "migration/thread_migration.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

namespace {

struct MigrationHome {
    TempHome temp;
    CodexHomeBuilder builder{temp.codexHome()};

    QStringList backups() const { return entriesOf(temp.home().backupsURL()); }
    QString onlyBackup() const
    {
        EXPECT_EQ(backups().size(), 1);
        return temp.home().backupsURL() + "/" + backups().value(0);
    }
    qint64 migrate(const QString& provider, Error* error = nullptr) const
    {
        return migrateVisibleThreadsToProvider(temp.home(), provider, "switch-api-provider", error);
    }
};

QByteArray firstLine(const QString& path)
{
    const QByteArray content = readFileAt(path);
    return content.left(content.indexOf('\n'));
}

} // namespace

TEST(ThreadMigration, MovesVisibleThreadsOfOtherProvidersOnlyAfterABackup)
{
    MigrationHome home;
    home.temp.write("session_index.jsonl", "{}\n");
    home.temp.write("config.toml", "model = \"o3\"\n");
    home.builder.createThreadIndex();
    const QString older = home.builder.addThread(threadSpec("t-older", "openai", 1'780'000'000));
    const QString newer = home.builder.addThread(threadSpec("t-newer", "openai", 1'780'000'500));
    const QString moved = home.builder.addThread(threadSpec("t-tevrun", "tevrun", 1'780'000'100));
    const QString archived = home.builder.addThread(threadSpec("t-archived", "openai", 1'780'000'200, true));
    const QByteArray archivedBefore = readFileAt(archived);
    EXPECT_EQ(visibleThreadCounts(home.temp.home()), (std::map<QString, qint64>{{"openai", 2}, {"tevrun", 1}}));

    Error error;
    EXPECT_EQ(home.migrate("tevrun", &error), 2) << error.message.toStdString();
    EXPECT_EQ(visibleThreadCounts(home.temp.home()), (std::map<QString, qint64>{{"tevrun", 3}}));
    EXPECT_EQ(home.builder.providerOf("t-archived"), QStringLiteral("openai"));
    EXPECT_EQ(firstLine(older), sessionMetaLine("t-older", "tevrun"));
    EXPECT_EQ(firstLine(newer), sessionMetaLine("t-newer", "tevrun"));
    EXPECT_EQ(firstLine(moved), sessionMetaLine("t-tevrun", "tevrun"));
    EXPECT_EQ(readFileAt(archived), archivedBefore);

    // The backup holds the index files and the rollout files as they were before the move.
    const QString backup = home.onlyBackup();
    EXPECT_TRUE(backup.contains("/switch-api-provider-"));
    EXPECT_EQ(entriesOf(backup), (QStringList{"config.toml", "provider-migration-info.json", "rollout_files",
                                              "session_index.jsonl", "state_5.sqlite"}));
    EXPECT_EQ(entriesOf(backup + "/rollout_files").size(), 2);
    EXPECT_EQ(firstLine(backup + "/rollout_files/" + safeBackupNameForPath(newer, home.temp.userHome())),
              sessionMetaLine("t-newer", "openai"));
    const Json descriptor = parseJson(readFileAt(backup + "/provider-migration-info.json")).value_or(Json());
    EXPECT_EQ(descriptor.size(), 3u);
    EXPECT_EQ(descriptor["thread_count"], 2);
    EXPECT_TRUE(backup.endsWith(fromUtf8(descriptor["created_at"].get<std::string>())));

    // Once everything is on the target, nothing is written and no backup is made.
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'600'000'000);
    for (const QString& path : {older, newer, home.builder.databasePath()})
        setModificationTime(path, old);
    EXPECT_EQ(home.migrate("tevrun"), 0);
    for (const QString& path : {older, newer, home.builder.databasePath()})
        EXPECT_EQ(modificationTime(path), old);
    EXPECT_EQ(home.backups().size(), 1);
}

TEST(ThreadMigration, NullAndMissingRolloutsAreMovedInTheIndexOnly)
{
    MigrationHome home;
    home.builder.createThreadIndex(CodexHomeBuilder::Schema::Original);
    ThreadSpec nullPath = threadSpec("t-null", "openai", 1'780'000'000);
    nullPath.nullRolloutPath = true;
    home.builder.addThread(nullPath);
    ThreadSpec missing = threadSpec("t-missing", "openai", 1'780'000'100);
    missing.rolloutFileMissing = true;
    home.builder.addThread(missing);
    EXPECT_EQ(home.migrate("tevrun"), 2);
    EXPECT_EQ(home.builder.providerOf("t-null"), QStringLiteral("tevrun"));
    EXPECT_EQ(home.builder.providerOf("t-missing"), QStringLiteral("tevrun"));
    EXPECT_TRUE(entriesOf(home.onlyBackup() + "/rollout_files").isEmpty());
}

TEST(ThreadMigration, NothingToDoWithoutTargetDatabaseOrTable)
{
    MigrationHome home;
    EXPECT_EQ(home.migrate("tevrun"), 0);
    EXPECT_EQ(visibleThreadCounts(home.temp.home()), (std::map<QString, qint64>{}));
    home.builder.execute("CREATE TABLE other (x)");
    EXPECT_EQ(home.migrate("tevrun"), 0);
    EXPECT_EQ(visibleThreadCounts(home.temp.home()), (std::map<QString, qint64>{}));
    home.builder.createThreadIndex();
    home.builder.addThread(threadSpec("t1", "openai", 1'780'000'000));
    EXPECT_EQ(home.migrate(""), 0);
    EXPECT_EQ(home.builder.providerOf("t1"), QStringLiteral("openai"));
    EXPECT_TRUE(home.backups().isEmpty());
}

TEST(ThreadMigration, ABrokenDatabaseIsReportedAndLeftAlone)
{
    const QByteArray junk = QByteArray("this is not sqlite at all, just text that fills a page. ").repeated(80);
    for (const bool directory : {false, true}) {
        MigrationHome home;
        if (directory)
            home.temp.makeDirectory("state_5.sqlite");
        else
            home.temp.write("state_5.sqlite", junk);
        Error error;
        EXPECT_EQ(home.migrate("tevrun", &error), -1);
        EXPECT_EQ(error.domain, QStringLiteral("Morvane"));
        EXPECT_EQ(error.code, directory ? 31 : 30);
        EXPECT_FALSE(error.message.isEmpty());
        EXPECT_FALSE(visibleThreadCounts(home.temp.home()));
        if (!directory) {
            EXPECT_EQ(error.message, QStringLiteral("file is not a database"));
            EXPECT_EQ(home.temp.read("state_5.sqlite"), junk);
        }
        EXPECT_TRUE(home.backups().isEmpty());
    }
}

TEST(ThreadMigration, ALockedDatabaseIsReportedAndTheIndexStays)
{
    MigrationHome home;
    home.builder.createThreadIndex();
    const QString path = home.builder.addThread(threadSpec("t1", "openai", 1'780'000'000));
    const QByteArray rolloutBefore = readFileAt(path);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(home.builder.databasePath()).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    Error error;
    EXPECT_EQ(home.migrate("tevrun", &error), -1);
    EXPECT_EQ(error.code, 30);
    EXPECT_EQ(error.message, QStringLiteral("database is locked"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(home.builder.providerOf("t1"), QStringLiteral("openai"));
    EXPECT_EQ(readFileAt(path), rolloutBefore);
}

TEST(ThreadMigration, ARolloutThatIsNotUtf8FailsAfterTheIndexIsCommitted)
{
    MigrationHome home;
    home.builder.createThreadIndex();
    const QString good = home.builder.addThread(threadSpec("t-good", "openai", 1'780'000'900));
    const QString bad = home.builder.addThread(threadSpec("t-bad", "openai", 1'780'000'000));
    writeFileAt(bad, sessionMetaLine("t-bad", "openai") + "\n\xc3\x28\n");
    Error error;
    EXPECT_EQ(home.migrate("tevrun", &error), -1);
    EXPECT_TRUE(error.message.contains(QStringLiteral("不是有效的 UTF-8"))) << error.message.toStdString();
    EXPECT_EQ(home.builder.providerOf("t-bad"), QStringLiteral("tevrun"));
    EXPECT_EQ(firstLine(good), sessionMetaLine("t-good", "tevrun"));
    EXPECT_EQ(firstLine(bad), sessionMetaLine("t-bad", "openai"));
}

TEST(ThreadMigration, TheAccountProviderComesFromTheSavedAccountConfiguration)
{
    TempHome temp;
    EXPECT_EQ(targetProviderForAccountProfile(temp.home()), QStringLiteral("openai"));
    const QString config = temp.home().profileURL("account") + "/config.toml";
    for (const char* text : {"model = \"o3\"\n[profiles.x]\nmodel_provider = \"azure\"\n", "model_provider = \"\"\n"}) {
        writeFileAt(config, text);
        EXPECT_EQ(targetProviderForAccountProfile(temp.home()), QStringLiteral("openai")) << text;
    }
    writeFileAt(config, "model_provider = \"azure\" # work account\n");
    EXPECT_EQ(targetProviderForAccountProfile(temp.home()), QStringLiteral("azure"));
}

TEST(MigrationBackup, NamesCopiesAfterTheirPathAndKeepsTheFirstOfTwoAlikeNames)
{
    const QString home = QStringLiteral("/Users/user");
    EXPECT_EQ(safeBackupNameForPath(QStringLiteral("/Users/user/work/log 1.jsonl"), home), QStringLiteral("~__work__log_1.jsonl"));
    EXPECT_EQ(safeBackupNameForPath(QStringLiteral("/tmp/x.jsonl"), home), QStringLiteral("__tmp__x.jsonl"));
    EXPECT_EQ(safeBackupNameForPath(QStringLiteral("/Users/user/对话.jsonl"), home), QStringLiteral("~____.jsonl"));
    EXPECT_EQ(safeBackupNameForPath(QString(), home), QStringLiteral("rollout.jsonl"));
    EXPECT_EQ(safeBackupNameForPath(QStringLiteral("/a/🎉.jsonl"), home), QStringLiteral("__a____.jsonl"));
    EXPECT_EQ(safeBackupNameForPath(QStringLiteral("/srv/Users/user/x"), home), QStringLiteral("__srv~__x"));

    TempHome temp;
    temp.write("a b.jsonl", "first");
    temp.write("a_b.jsonl", "second");
    const ThreadRecords threads = {{"1", temp.path("a b.jsonl"), "x"}, {"2", temp.path("a_b.jsonl"), "x"}};
    const std::optional<QString> directory = createProviderMigrationBackupWithKind(temp.home(), std::nullopt, threads);
    ASSERT_TRUE(directory);
    EXPECT_TRUE(directory->contains("/provider-"));
    EXPECT_EQ(entriesOf(*directory + "/rollout_files"), QStringList{"~__.codex__a_b.jsonl"});
    EXPECT_EQ(readFileAt(*directory + "/rollout_files/~__.codex__a_b.jsonl"), "first");

    TempHome blocked;
    blocked.write("morvane", "a file");
    Error error;
    EXPECT_FALSE(createProviderMigrationBackupWithKind(blocked.home(), QStringLiteral("repair-provider"), {}, &error));
    EXPECT_EQ(error.message, QStringLiteral("无法创建目录“morvane”：那里已有一个同名文件。"));
}
