#include "core/json.h"
#include "workflows/workflow_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using Outcome = WorkflowResult::Outcome;

namespace {

// The Codex home without Morvane's own folder: what a restore must give back.
std::map<QString, QByteArray> codexFiles(const TempHome& temp)
{
    return filesUnder(temp.codexHome(), {"morvane"});
}

} // namespace

TEST_F(WorkflowTest, ARestoreGivesBackEveryFileAndCanItselfBeUndone)
{
    makeAccountHome();
    temp.write("session_index.jsonl", "{\"id\":\"t-a\"}\n");
    const auto beforeSwitching = codexFiles(temp);
    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-roundtrip")).outcome, Outcome::Done);
    ASSERT_EQ(engine.switchToAccount().outcome, Outcome::Done);
    const auto afterSwitching = codexFiles(temp);

    const std::vector<RestorePoint> points = engine.listBackups();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].kind, QStringLiteral("switch-account"));
    EXPECT_EQ(points[1].kind, QStringLiteral("switch-api"));
    EXPECT_EQ(restorePointContents(points[1]), QStringLiteral("登陆与配置文件、对话索引和 4 个对话文件"));
    EXPECT_GT(points[1].sizeBytes, 0);

    // Back to before the first switch, the thread index and the rollout files included;
    // auth_tevrun_last.json, which the switch created, is removed.
    const WorkflowResult restored = engine.restoreBackup(points[1].id);
    const std::vector<RestorePoint> after = engine.listBackups();
    ASSERT_EQ(after.size(), 3u);
    expectResult(restored, Outcome::Done,
                 QStringLiteral("已恢复备份“%1”：登陆与配置文件、对话索引和 4 个对话文件。恢复前的状态已存为备份“%2”。")
                     .arg(points[1].id, after[0].id));
    EXPECT_EQ(differingFiles(codexFiles(temp), beforeSwitching), QStringList());
    EXPECT_EQ(restored.pillMode, ModeAccount);
    EXPECT_EQ(progress.last(), QStringLiteral("正在恢复备份... 0/0"));

    // The restore's own point goes back to where the user was before it.
    EXPECT_EQ(after[0].kind, QStringLiteral("restore"));
    ASSERT_EQ(engine.restoreBackup(after[0].id).outcome, Outcome::Done);
    EXPECT_EQ(differingFiles(codexFiles(temp), afterSwitching), QStringList());
    EXPECT_EQ(modeOf(temp.path("auth_tevrun_last.json")), 0600u); // put back as it was: it holds the key

    // Restored files are copies: Codex may append to them without touching a backup.
    for (const IndexRow& row : builder.indexRows()) {
        if (row.rolloutPath) {
            EXPECT_EQ(linksUnder(temp.home().backupsURL(), *row.rolloutPath), QStringList()) << row.id.toStdString();
        }
    }
}

TEST_F(WorkflowTest, RestoringIsRefusedWhileCodexRunsAndForUnknownOrOldPoints)
{
    makeAccountHome();
    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-key")).outcome, Outcome::Done);
    const QString id = engine.listBackups()[0].id;
    // An older Morvane kept no list of where the rollout files were.
    temp.write("morvane/backups/switch-api-provider-20250101-120000/provider-migration-info.json",
               "{\"kind\":\"switch-api-provider\",\"created_at\":\"20250101-120000\",\"thread_count\":1}");
    temp.write("morvane/backups/switch-api-provider-20250101-120000/rollout_files/~__.codex__x.jsonl", "{}\n");
    // A list whose names lead out of the backup is no list.
    temp.write("morvane/backups/repair-provider-20250101-120000/provider-migration-info.json",
               R"({"kind":"repair-provider","created_at":"20250101-120000","rollout_files":)"
               R"([{"path":"/tmp/x","name":"../../../auth.json","size":1,"hash":"h"}]})");
    const auto before = snapshot();

    workspace.startCodex(41);
    EXPECT_EQ(engine.restoreBackup(id).outcome, Outcome::CodexRunning);
    workspace.stopAll();
    expectResult(engine.restoreBackup(QStringLiteral("nothing-here")), Outcome::Refused,
                 QStringLiteral("没有找到备份“nothing-here”。"));
    expectResult(engine.restoreBackup(QStringLiteral("switch-api-provider-20250101-120000")), Outcome::Refused,
                 QStringLiteral("备份“switch-api-provider-20250101-120000”来自旧版 Morvane，没有记下对话文件的原位置，无法自动恢复。"));
    EXPECT_EQ(engine.restoreBackup(QStringLiteral("repair-provider-20250101-120000")).outcome, Outcome::Refused);
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(engine.listBackups().back().id, QStringLiteral("switch-api-provider-20250101-120000"));

    // A folder where a restored file goes stops the restore, and nothing is written: one of
    // the thread index, then one of the login files, which are put back first.
    const QString rollout = rolloutOf("t-a");
    for (const QString name : {"state_5.sqlite", "config.toml"}) {
        QFile::remove(temp.path(name));
        temp.write(name + "/keep", "x");
        const auto beforeFolder = codexFiles(temp);
        const WorkflowResult blocked = engine.restoreBackup(id);
        EXPECT_EQ(blocked.outcome, Outcome::Failed);
        EXPECT_TRUE(blocked.message.startsWith(QStringLiteral("无法写入“%1”：").arg(name))) << blocked.message.toStdString();
        EXPECT_EQ(differingFiles(codexFiles(temp), beforeFolder), QStringList());
    }

    // A conversation that cannot be backed up first stops the restore before it writes.
    ASSERT_TRUE(QFile::remove(rollout));
    temp.makeDirectory(QDir(temp.codexHome()).relativeFilePath(rollout));
    const auto beforeFailure = snapshot();
    const WorkflowResult failed = engine.restoreBackup(id);
    EXPECT_EQ(failed.outcome, Outcome::Failed);
    EXPECT_TRUE(failed.message.startsWith(QStringLiteral("无法读取“"))) << failed.message.toStdString();
    EXPECT_EQ(snapshot(), beforeFailure);

    // So does a thread index that cannot be backed up, and then a login file.
    for (const QString name : {"session_index.jsonl", "auth.json"}) {
        QFile::remove(temp.path(name));
        ASSERT_TRUE(QFile::link(temp.path("nowhere"), temp.path(name)));
        const auto beforeLink = snapshot();
        const QString message = engine.restoreBackup(id).message;
        EXPECT_TRUE(message.startsWith(QStringLiteral("无法复制“%1”：").arg(name))) << message.toStdString();
        EXPECT_EQ(snapshot(), beforeLink);
    }
}

TEST_F(WorkflowTest, PruningKeepsTheNewestPointsAndEverythingTheyUse)
{
    makeAccountHome();
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-key")).outcome, Outcome::Done);
        ASSERT_EQ(engine.switchToAccount().outcome, Outcome::Done);
    }
    const std::vector<RestorePoint> points = engine.listBackups();
    ASSERT_EQ(points.size(), 4u);
    const QString objects = temp.home().backupsURL() + "/objects";
    const qsizetype objectsBefore = entriesOf(objects).size();

    expectResult(engine.pruneBackups(2), Outcome::Done, QStringLiteral("已删除 2 个较早的备份，保留了最新的 2 个。"));
    const std::vector<RestorePoint> kept = engine.listBackups();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].id, points[0].id);
    EXPECT_EQ(kept[1].id, points[1].id);
    EXPECT_EQ(entriesOf(objects).size(), objectsBefore); // the kept points use both contents of each file
    expectResult(engine.pruneBackups(2), Outcome::Done, QStringLiteral("没有需要删除的备份。"));

    // A kept point still restores whole: the state before switching back, on the relay.
    ASSERT_EQ(engine.restoreBackup(kept[0].id).outcome, Outcome::Done);
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("tevrun"));
    EXPECT_EQ(firstLineOf("t-a"), sessionMetaLine("t-a", "tevrun"));

    ASSERT_EQ(engine.pruneBackups(0).outcome, Outcome::Done);
    EXPECT_TRUE(engine.listBackups().empty());
    EXPECT_EQ(entriesOf(objects), QStringList());
}
