#include "bench/codex_home_builder.h"
#include "core/json.h"
#include "storage/rollout_backup.h"
#include "migration/thread_migration.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFile>

#include <functional>


namespace {

struct MigrationHome {
    TempHome temp;
    CodexHomeBuilder builder{temp.codexHome()};

    QStringList backups() const { return entriesOf(temp.home().backupsURL()); }
    qint64 migrate(const QString& provider, Error* error = nullptr) const
    {
        return migrateVisibleThreadsToProvider(temp.home(), provider, "switch-api-provider", "switch-api-1", error);
    }
    // Nothing under the backups is the live file itself.
    void expectNoBackupIsLive(const QStringList& livePaths) const
    {
        for (const QString& path : livePaths)
            EXPECT_EQ(linksUnder(temp.home().backupsURL(), path), QStringList()) << path.toStdString();
    }
};

QByteArray firstLine(const QString& path)
{
    const QByteArray content = readFileAt(path);
    return content.left(content.indexOf('\n'));
}

} // namespace

// What moves is the switch's business; here what the backup of a move holds.
TEST(ThreadMigration, MovesVisibleThreadsOfOtherProvidersOnlyAfterABackup)
{
    MigrationHome home;
    home.temp.write("session_index.jsonl", "{}\n");
    home.temp.write("config.toml", "model = \"o3\"\n");
    home.builder.createThreadIndex();
    const QString older = home.builder.addThread(threadSpec("t-older", "openai", 1'780'000'000));
    const QString newer = home.builder.addThread(threadSpec("t-newer", "openai", 1'780'000'500));
    // The index has this one on the target already: its file stays as it is, whatever it says.
    const QString staying = home.builder.addThread(threadSpec("t-tevrun", "tevrun", 1'780'000'100));
    writeFileAt(staying, sessionMetaLine("t-tevrun", "openai") + "\n");
    Error error;
    EXPECT_EQ(home.migrate("tevrun", &error), 2) << error.message.toStdString();
    EXPECT_EQ(firstLine(staying), sessionMetaLine("t-tevrun", "openai"));

    // The index files and every visible thread's rollout file as they were, newest first,
    // read-only, and none of them the live file.
    const QStringList providerBackups = home.backups().filter("switch-api-provider-");
    ASSERT_EQ(providerBackups.size(), 1);
    const QString backup = home.temp.home().backupsURL() + "/" + providerBackups[0];
    EXPECT_EQ(entriesOf(backup), (QStringList{"config.toml", "provider-migration-info.json", "rollout_files",
                                              "session_index.jsonl", "state_5.sqlite"}));
    const Json descriptor = parseJson(readFileAt(backup + "/provider-migration-info.json")).value_or(Json());
    EXPECT_EQ(descriptor["thread_count"], 2);
    EXPECT_EQ(descriptor["restore_point"], "switch-api-1");
    const RolloutManifest manifest = manifestFromJson(descriptor["rollout_files"]).value_or(RolloutManifest());
    ASSERT_EQ(manifest.size(), 3u);
    EXPECT_EQ(QStringList({manifest[0].path, manifest[1].path, manifest[2].path}), QStringList({newer, staying, older}));
    for (const RolloutBackupEntry& entry : manifest) {
        const QString kept = backup + "/rollout_files/" + entry.name;
        EXPECT_TRUE(firstLine(kept).contains("\"model_provider\":\"openai\"")) << entry.name.toStdString();
        EXPECT_EQ(readFileAt(kept).size(), entry.size);
        EXPECT_EQ(modeOf(kept), 0400u);
    }
    home.expectNoBackupIsLive({older, newer, staying});

    // Once everything is on the target, nothing is written and no backup is made.
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'600'000'000);
    for (const QString& path : {older, newer, home.builder.databasePath()})
        setModificationTime(path, old);
    EXPECT_EQ(home.migrate("tevrun"), 0);
    for (const QString& path : {older, newer, home.builder.databasePath()})
        EXPECT_EQ(modificationTime(path), old);
    EXPECT_EQ(home.backups(), (QStringList{"objects", providerBackups[0]}));
}

// No thread index, none of Codex's, or no target: nothing to do. An index of another shape
// or a broken one is reported, never taken for empty, and nothing is backed up.
TEST(ThreadMigration, AMissingIndexIsNothingToDoAndABrokenOneIsReported)
{
    const QByteArray junk = QByteArray("this is not sqlite at all, just text that fills a page. ").repeated(80);
    const struct {
        std::function<void(MigrationHome&)> arrange;
        QString target;
        int code; // 0: nothing to do
        QString message;
    } cases[] = {
        {[](MigrationHome&) {}, "tevrun", 0, {}},
        {[](MigrationHome& h) { h.builder.execute("CREATE TABLE other (x)"); }, "tevrun", 0, {}},
        {[](MigrationHome& h) {
             h.builder.createThreadIndex();
             h.builder.addThread(threadSpec("t1", "openai", 1'780'000'000));
         },
         "", 0, {}},
        {[](MigrationHome& h) { h.builder.execute("CREATE TABLE threads (id TEXT)"); }, "tevrun", 30, "对话索引“state_5.sqlite”出错：no such column"},
        {[&junk](MigrationHome& h) { h.temp.write("state_5.sqlite", junk); }, "tevrun", 30, "对话索引“state_5.sqlite”不是数据库文件。"},
        {[](MigrationHome& h) { h.temp.makeDirectory("state_5.sqlite"); }, "tevrun", 31, "无法打开对话索引“state_5.sqlite”。"},
    };
    for (const auto& c : cases) {
        MigrationHome home;
        c.arrange(home);
        const auto before = filesUnder(home.temp.codexHome());
        Error error;
        EXPECT_EQ(home.migrate(c.target, &error), c.code ? -1 : 0) << c.message.toStdString();
        EXPECT_EQ(error.code, c.code);
        EXPECT_TRUE(error.message.contains(c.message)) << error.message.toStdString();
        EXPECT_EQ(visibleThreadCounts(home.temp.home()).has_value(), c.code == 0);
        EXPECT_EQ(differingFiles(filesUnder(home.temp.codexHome()), before), QStringList());
        EXPECT_TRUE(home.backups().isEmpty());
    }
}

// A rollout that cannot be read, backed up or rewritten stops the move before anything
// changed, and leaves no backup behind that is a live file. (An index that cannot be
// updated is in the workflows' failure table.)
TEST(ThreadMigration, AFailureBeforeTheIndexIsUpdatedChangesNothing)
{
    enum class Fault { NotUtf8, BackupBlocked, StagingFails, IndexCopyFails };
    for (const Fault fault : {Fault::NotUtf8, Fault::BackupBlocked, Fault::StagingFails, Fault::IndexCopyFails}) {
        MigrationHome home;
        home.builder.createThreadIndex();
        const QString good = home.builder.addThread(threadSpec("t-good", "openai", 1'780'000'900));
        // A name that fits, where the new text's temporary name beside it does not.
        const QString badId = fault == Fault::StagingFails ? "t-bad" + QString(200, 'x') : "t-bad";
        const QString bad = home.builder.addThread(threadSpec(badId, "openai", 1'780'000'000));
        if (fault == Fault::NotUtf8)
            writeFileAt(bad, sessionMetaLine("t-bad", "openai") + "\n\xc3\x28\n");
        if (fault == Fault::BackupBlocked)
            home.temp.write("morvane/backups/objects", "a file where the objects go");
        if (fault == Fault::IndexCopyFails) { // the backup of the session index cannot be taken
            ASSERT_TRUE(QFile::link(home.temp.path("nowhere"), home.temp.path("session_index.jsonl")));
        }
        const auto before = filesUnder(home.temp.codexHome(), {"morvane"});

        Error error;
        EXPECT_EQ(home.migrate("tevrun", &error), -1);
        const QString expected = fault == Fault::NotUtf8          ? QStringLiteral("不是有效的 UTF-8")
                               : fault == Fault::BackupBlocked  ? QStringLiteral("objects")
                               : fault == Fault::StagingFails   ? QStringLiteral("无法写入")
                                                                : QStringLiteral("session_index.jsonl");
        EXPECT_TRUE(error.message.contains(expected)) << error.message.toStdString();
        EXPECT_EQ(home.builder.providerOf("t-good"), QStringLiteral("openai"));
        EXPECT_EQ(differingFiles(filesUnder(home.temp.codexHome(), {"morvane"}), before), QStringList());
        EXPECT_EQ(home.backups().filter("provider"), QStringList());
        home.expectNoBackupIsLive({good, bad});
    }
}
