#include "bench/codex_home_builder.h"
#include "core/json.h"
#include "storage/content_hash.h"
#include "storage/rollout_backup.h"
#include "migration/rollout_compression.h"
#include "migration/rollout_rewrite.h"
#include "migration/thread_migration.h"
#include "workflows/conversation_backup.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <functional>

namespace {

struct MigrationHome {
    TempHome temp;
    CodexHomeBuilder builder{temp.codexHome()};

    QStringList backups() const { return entriesOf(temp.home().backupsPath()); }
    Expected<MovedConversations> migrate(const QString& provider) const
    {
        return moveConversationsBackedUp(temp.home(), provider, BackupKind::SwitchApi, "switch-api-1");
    }
};

QByteArray firstLine(const QString& path) { return readFileAt(path).split('\n').first(); }

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
    // The index has this one on the target already, but not its file: Codex would put its
    // row back on the file's provider, so it moves too.
    const QString staying = home.builder.addThread(threadSpec("t-tevrun", "tevrun", 1'780'000'100));
    writeFileAt(staying, sessionMetaLine("t-tevrun", "openai") + "\n");
    // Its file is on the target already: it stays, and its backup must not be the live file.
    const QString onTarget = home.builder.addThread(threadSpec("t-row-only", "openai", 1'779'000'000));
    writeFileAt(onTarget, sessionMetaLine("t-row-only", "tevrun") + "\n");
    // A file that is not this rollout under the name its bytes' hash gives must not stand for it.
    const QString olderHash = contentHash(readFileAt(older)), newerHash = contentHash(readFileAt(newer));
    home.temp.write("morvane/backups/objects/" + olderHash, "other bytes");
    EXPECT_EQ(home.migrate("tevrun").value_or(MovedConversations()).listed, 4);
    EXPECT_EQ(firstLine(staying), sessionMetaLine("t-tevrun", "tevrun"));
    // Found again by its hash: the first content under it takes the bare hash, the next one numbered.
    for (const QString& object : {newerHash, olderHash + "-2"})
        EXPECT_TRUE(home.temp.exists("morvane/backups/objects/" + object)) << object.toStdString();

    // The index files and every visible thread's rollout file as they were, newest first,
    // read-only, and none of them the live file.
    const QStringList providerBackups = home.backups().filter("switch-api-provider-");
    ASSERT_EQ(providerBackups.size(), 1);
    const QString backup = home.temp.home().backupsPath() + "/" + providerBackups[0];
    EXPECT_EQ(entriesOf(backup), (QStringList{"config.toml", "provider-migration-info.json", "rollout_files",
                                              "session_index.jsonl", "state_5.sqlite"}));
    const Json descriptor = parseJson(readFileAt(backup + "/provider-migration-info.json")).value_or(Json());
    EXPECT_EQ(descriptor["thread_count"], 4);
    EXPECT_EQ(descriptor["restore_point"], "switch-api-1");
    const RolloutManifest manifest = manifestFromJson(descriptor["rollout_files"]).value_or(RolloutManifest());
    ASSERT_EQ(manifest.size(), 4u);
    EXPECT_EQ(QStringList({manifest[0].path, manifest[1].path, manifest[2].path, manifest[3].path}),
              QStringList({newer, staying, older, onTarget}));
    for (const RolloutBackupEntry& entry : manifest) {
        const QString kept = backup + "/rollout_files/" + entry.name;
        EXPECT_TRUE(firstLine(kept).contains("\"model_provider\":\"openai\"") || entry.path == onTarget)
            << entry.name.toStdString();
        EXPECT_EQ(readFileAt(kept).size(), entry.size);
        EXPECT_EQ(modeOf(kept), 0400u);
    }
    for (const QString& path : {older, newer, staying, onTarget})
        EXPECT_EQ(linksUnder(home.temp.home().backupsPath(), path), QStringList()) << path.toStdString();

    // Once everything is on the target, nothing is written and no backup is made.
    const QDateTime old = QDateTime::fromSecsSinceEpoch(1'600'000'000);
    for (const QString& path : {older, newer, home.builder.databasePath()})
        setModificationTime(path, old);
    EXPECT_EQ(home.migrate("tevrun").value_or(MovedConversations{.listed = -1}).listed, 0);
    for (const QString& path : {older, newer, home.builder.databasePath()})
        EXPECT_EQ(modificationTime(path), old);
    EXPECT_EQ(home.backups(), (QStringList{"objects", providerBackups[0]}));
}

// Codex compressed this one: it is moved like a plain one and stays compressed. Its file is
// a frame per line, as a writer that compresses each write leaves it: all are read.
TEST(ThreadMigration, ACompressedRolloutIsMovedWholeAndStaysCompressed)
{
    MigrationHome home;
    home.builder.createThreadIndex();
    ThreadSpec packedSpec = threadSpec("t-packed", "openai", 1'780'000'050);
    packedSpec.rollout.sealedItems = true;
    packedSpec.rollout.compacted = true;
    const QString plain = home.builder.addThread(packedSpec);
    const QString packed = plain + ".zst";
    const QByteArray original = readFileAt(plain);
    QByteArray frames;
    for (qsizetype start = 0, end = 0; start < original.size(); start = end) {
        end = original.indexOf('\n', start) < 0 ? original.size() : original.indexOf('\n', start) + 1;
        frames += compressedRollout(packed, original.mid(start, end - start)).value();
    }
    writeFileAt(packed, frames);
    QFile::remove(plain);
    home.builder.execute("UPDATE threads SET rollout_path = rollout_path || '.zst' WHERE id = 't-packed'");
    EXPECT_EQ(home.migrate("tevrun").value_or(MovedConversations()).listed, 1);
    const QByteArray unpacked = decompressedRollout(packed, readFileAt(packed)).value_or(QByteArray());
    QByteArray head;
    const std::optional<RolloutChange> change = rewriteRollout(original, "tevrun", SealedItems::Go, head);
    ASSERT_TRUE(change && change->sealedRemoved);
    EXPECT_EQ(unpacked, rewrittenText(*change, original, head));
}

// No thread index, none of Codex's, or no target: nothing to do. An index of another shape
// or a broken one is reported, never taken for empty, and nothing is backed up.
TEST(ThreadMigration, AMissingIndexIsNothingToDoAndABrokenOneIsReported)
{
    const QByteArray junk = QByteArray("this is not sqlite at all, just text that fills a page. ").repeated(80);
    const struct {
        std::function<void(MigrationHome&)> arrange;
        QString target;
        bool fails; // else there is nothing to do
        QString message;
    } cases[] = {
        {[](MigrationHome&) {}, "tevrun", false, {}},
        {[](MigrationHome& h) { h.builder.execute("CREATE TABLE other (x)"); }, "tevrun", false, {}},
        {[](MigrationHome& h) {
             h.builder.createThreadIndex();
             h.builder.addThread(threadSpec("t1", "openai", 1'780'000'000));
         },
         "", false, {}},
        {[](MigrationHome& h) { // a folder relative to wherever Morvane runs is none
             h.temp.write("config.toml", "sqlite_home = \"db\"\n");
             const CodexHomeBuilder relative(h.temp.userHome() + "/db");
             relative.createThreadIndex();
             relative.addThread(threadSpec("t1", "openai", 1'780'000'000));
             QDir::setCurrent(h.temp.userHome());
         },
         "tevrun", false, {}},
        {[](MigrationHome& h) { h.builder.execute("CREATE TABLE threads (id TEXT)"); }, "tevrun", true, "对话索引“state_5.sqlite”出错：no such column"},
        {[&junk](MigrationHome& h) { h.temp.write("state_5.sqlite", junk); }, "tevrun", true, "对话索引“state_5.sqlite”不是数据库文件。"},
        {[](MigrationHome& h) { h.temp.makeDirectory("state_5.sqlite"); }, "tevrun", true, "无法打开对话索引“state_5.sqlite”。"},
    };
    for (const auto& c : cases) {
        MigrationHome home;
        c.arrange(home);
        const auto before = filesUnder(home.temp.codexHome());
        const Expected<MovedConversations> moved = home.migrate(c.target);
        ASSERT_EQ(moved.has_value(), !c.fails) << c.message.toStdString();
        EXPECT_TRUE(moved ? moved->listed == 0 : moved.error().message.contains(c.message)) << c.message.toStdString();
        EXPECT_EQ(visibleThreadCounts(home.temp.home()).has_value(), !c.fails);
        EXPECT_EQ(differingFiles(filesUnder(home.temp.codexHome()), before), QStringList());
        EXPECT_TRUE(home.backups().isEmpty());
    }
}
