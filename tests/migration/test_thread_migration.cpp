#include "core/json.h"
#include "migration/migration_backup.h"
#include "migration/thread_migration.h"
#include "support/codex_home_builder.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>

#include <sqlite3.h>

namespace {

struct MigrationHome {
    TempHome temp;
    CodexHomeBuilder builder{temp.codexHome()};

    QStringList backups() const { return entriesOf(temp.home().backupsURL()); }
};

QByteArray firstLine(const QString& path)
{
    const QByteArray content = readFileAt(path);
    return content.left(content.indexOf('\n'));
}

} // namespace

TEST(ThreadMigration, MovesVisibleThreadsOfOtherProvidersOnly)
{
    MigrationHome home;
    home.builder.createThreadIndex();
    const QString older = home.builder.addThread(threadSpec("t-older", "openai", 1'780'000'000));
    const QString newer = home.builder.addThread(threadSpec("t-newer", "openai", 1'780'000'500));
    const QString moved = home.builder.addThread(threadSpec("t-tevrun", "tevrun", 1'780'000'100));
    const QString archived = home.builder.addThread(threadSpec("t-archived", "openai", 1'780'000'200, true));
    const QByteArray archivedBefore = readFileAt(archived);

    Error error;
    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "switch-api-provider", &error), 2)
        << error.message.toStdString();

    EXPECT_EQ(home.builder.providerOf("t-older"), QStringLiteral("tevrun"));
    EXPECT_EQ(home.builder.providerOf("t-newer"), QStringLiteral("tevrun"));
    EXPECT_EQ(home.builder.providerOf("t-archived"), QStringLiteral("openai"));
    EXPECT_EQ(firstLine(older), sessionMetaLine("t-older", "tevrun"));
    EXPECT_EQ(firstLine(newer), sessionMetaLine("t-newer", "tevrun"));
    EXPECT_EQ(firstLine(moved), sessionMetaLine("t-tevrun", "tevrun"));
    EXPECT_EQ(readFileAt(archived), archivedBefore);

    ASSERT_EQ(home.backups().size(), 1);
    const QString backup = home.temp.home().backupsURL() + "/" + home.backups().first();
    EXPECT_TRUE(home.backups().first().startsWith("switch-api-provider-"));
    EXPECT_EQ(entriesOf(backup + "/rollout_files").size(), 2);
    // The copies hold the files as they were before the move.
    EXPECT_EQ(readFileAt(backup + "/rollout_files/" + safeBackupNameForPath(newer, home.temp.userHome())).left(40),
              sessionMetaLine("t-newer", "openai").left(40));
    EXPECT_EQ(parseJson(readFileAt(backup + "/provider-migration-info.json")).value_or(Json())["thread_count"], 2);
}

TEST(ThreadMigration, EverythingOnTheTargetChangesNothingAndMakesNoBackup)
{
    MigrationHome home;
    home.builder.createThreadIndex();
    const QString path = home.builder.addThread(threadSpec("t1", "tevrun", 1'780'000'000));
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'600'000'000);
    setModificationTime(path, old);
    setModificationTime(home.builder.databasePath(), old);

    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "switch-api-provider"), 0);
    EXPECT_TRUE(home.backups().isEmpty());
    EXPECT_EQ(modificationTime(path), old);
    EXPECT_EQ(modificationTime(home.builder.databasePath()), old);
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

    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "repair-provider"), 2);
    EXPECT_EQ(home.builder.providerOf("t-null"), QStringLiteral("tevrun"));
    EXPECT_EQ(home.builder.providerOf("t-missing"), QStringLiteral("tevrun"));
    const QString backup = home.temp.home().backupsURL() + "/" + home.backups().first();
    EXPECT_TRUE(entriesOf(backup + "/rollout_files").isEmpty());
}

TEST(ThreadMigration, NothingToDoWithoutTargetDatabaseOrTable)
{
    MigrationHome home;
    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "k"), 0);
    home.builder.execute("CREATE TABLE other (x)");
    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "k"), 0);
    home.builder.createThreadIndex();
    home.builder.addThread(threadSpec("t1", "openai", 1'780'000'000));
    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "", "k"), 0);
    EXPECT_EQ(home.builder.providerOf("t1"), QStringLiteral("openai"));
    EXPECT_TRUE(home.backups().isEmpty());
}

TEST(ThreadMigration, AFileThatIsNotADatabaseIsReportedAndLeftAlone)
{
    MigrationHome home;
    const QByteArray junk = QByteArray("this is not sqlite at all, just text that fills a page. ").repeated(80);
    home.temp.write("state_5.sqlite", junk);
    Error error;
    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "k", &error), -1);
    EXPECT_EQ(error.domain, QStringLiteral("Morvane"));
    EXPECT_TRUE(error.code == 30 || error.code == 31) << error.code;
    EXPECT_EQ(error.message, QStringLiteral("file is not a database"));
    EXPECT_EQ(home.temp.read("state_5.sqlite"), junk);
    EXPECT_TRUE(home.backups().isEmpty());
}

TEST(ThreadMigration, ADirectoryInPlaceOfTheDatabaseCannotBeOpened)
{
    MigrationHome home;
    home.temp.makeDirectory("state_5.sqlite");
    Error error;
    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "k", &error), -1);
    EXPECT_EQ(error.code, 31);
    EXPECT_FALSE(error.message.isEmpty());
}

TEST(ThreadMigration, ALockedDatabaseIsReportedAtOnceAndTheIndexStays)
{
    MigrationHome home;
    home.builder.createThreadIndex();
    const QString path = home.builder.addThread(threadSpec("t1", "openai", 1'780'000'000));
    const QByteArray rolloutBefore = readFileAt(path);

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(home.builder.databasePath()).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    Error error;
    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "k", &error), -1);
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
    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "k", &error), -1);
    EXPECT_TRUE(error.message.contains(QStringLiteral("不是有效的 UTF-8"))) << error.message.toStdString();
    EXPECT_EQ(home.builder.providerOf("t-good"), QStringLiteral("tevrun"));
    EXPECT_EQ(home.builder.providerOf("t-bad"), QStringLiteral("tevrun"));
    EXPECT_EQ(firstLine(good), sessionMetaLine("t-good", "tevrun"));
    EXPECT_EQ(firstLine(bad), sessionMetaLine("t-bad", "openai"));
}

TEST(ThreadMigration, ASecondMigrationToTheSameProviderWritesNothing)
{
    MigrationHome home;
    home.builder.createThreadIndex();
    QStringList paths;
    for (int i = 0; i < 5; ++i)
        paths << home.builder.addThread(threadSpec(QStringLiteral("t%1").arg(i), "openai", 1'780'000'000 + i));
    ASSERT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "k"), 5);

    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'600'000'000);
    for (const QString& path : paths)
        setModificationTime(path, old);
    EXPECT_EQ(migrateVisibleThreadsToProvider(home.temp.home(), "tevrun", "k"), 0);
    for (const QString& path : paths)
        EXPECT_EQ(modificationTime(path), old);
    EXPECT_EQ(home.backups().size(), 1);
}

TEST(AccountProvider, ComesFromTheSavedAccountConfiguration)
{
    TempHome temp;
    EXPECT_EQ(targetProviderForAccountProfile(temp.home()), QStringLiteral("openai"));
    const QString config = temp.home().profileURL("account") + "/config.toml";
    writeFileAt(config, "model = \"o3\"\n[profiles.x]\nmodel_provider = \"azure\"\n");
    EXPECT_EQ(targetProviderForAccountProfile(temp.home()), QStringLiteral("openai"));
    writeFileAt(config, "model_provider = \"\"\n");
    EXPECT_EQ(targetProviderForAccountProfile(temp.home()), QStringLiteral("openai"));
    writeFileAt(config, "model_provider = \"azure\" # work account\n");
    EXPECT_EQ(targetProviderForAccountProfile(temp.home()), QStringLiteral("azure"));
}
