#include "bench/codex_home_builder.h"
#include "config/config_text.h"
#include "core/json.h"
#include "wording/restore_point_wording.h"
#include "workflows/workflow_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using Outcome = WorkflowResult::Outcome;

// Codex's databases in every place it keeps them: where config.toml tells it, and the Codex
// home's sqlite/ beside the home's own. A login readable by others, as Codex may leave it.
TEST_F(WorkflowTest, ARestoreGivesBackEveryFileAndCanItselfBeUndone)
{
    makeAccountHome();
    temp.write("session_index.jsonl", "{\"id\":\"t-a\"}\n");
    const QString configured = temp.userHome() + "/codex-db";
    temp.write("config.toml", "sqlite_home = \"" + configured.toUtf8() + "\"\n" + userConfig);
    QFile::setPermissions(temp.path("auth.json"), QFile::permissions(temp.path("auth.json")) | QFile::ReadOther);
    const CodexHomeBuilder elsewhere(configured), legacy(temp.path("sqlite"));
    elsewhere.createThreadIndex();
    legacy.createThreadIndex();
    ThreadSpec azureSpec = threadSpec("t-azure", "azure", 1'780'000'400);
    azureSpec.rollout.sealedItems = true;
    azureSpec.rollout.compacted = true;
    const QString azure = elsewhere.addThread(azureSpec);
    legacy.addThread(threadSpec("t-legacy", "openai", 1'780'000'400));
    legacy.addThread(threadSpec("t-moved", "openai", 1'780'000'000)); // on the relay in the home's index
    // Codex's paginated history reads on from byte offsets into the file: a turn from the
    // line after a reasoning item (which the move takes out) to the end, and where the next
    // lines will start.
    const QByteArray content = readFileAt(azure);
    const qsizetype turn = content.indexOf('\n', content.indexOf("\"type\":\"reasoning\"")) + 1;
    const QByteArray turnLine = content.mid(turn, content.indexOf('\n', turn) - turn);
    const QString history = configured + "/thread_history_1.sqlite";
    elsewhere.execute(QStringLiteral("CREATE TABLE thread_turns (thread_id, rollout_byte_offset, rollout_end_byte_offset); "
                                     "CREATE TABLE thread_history_projection_state (thread_id, next_rollout_byte_offset); "
                                     "INSERT INTO thread_turns VALUES ('t-azure', %1, %2); "
                                     "INSERT INTO thread_history_projection_state VALUES ('t-azure', %2);")
                          .arg(turn).arg(content.size()), history);
    const auto beforeSwitching = codexFiles();
    const auto elsewhereBefore = filesUnder(configured);
    expectResult(engine.switchToApi(QStringLiteral("sk-roundtrip")), Outcome::Done,
                 "已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。 已同步 6 条对话记录。其中 5 条对话去掉了只有原来的登录方式才能读的推理记录。正在打开 Codex。");
    EXPECT_EQ(elsewhere.providerOf("t-azure"), "tevrun");
    EXPECT_EQ(legacy.providerOf("t-legacy"), "tevrun");
    EXPECT_EQ(topLevelConfigValue("sqlite_home", QString::fromUtf8(temp.read("config.toml"))), configured);
    EXPECT_EQ(modeOf(temp.home().profilePath("account") + "/auth.json"), 0600u);
    const QByteArray moved = readFileAt(azure);
    EXPECT_EQ(elsewhere.queryNumbers(QStringLiteral("SELECT rollout_byte_offset, rollout_end_byte_offset, next_rollout_byte_offset "
                                                    "FROM thread_turns, thread_history_projection_state"),
                                     history),
              (std::vector<qint64>{moved.indexOf(turnLine), moved.size(), moved.size()}));
    EXPECT_FALSE(moved.contains("encrypted_content"));
    ASSERT_EQ(engine.switchToAccount().outcome, Outcome::Done);
    const auto afterSwitching = codexFiles();

    const std::vector<RestorePoint> points = engine.listBackups();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].kind, QStringLiteral("switch-account"));
    EXPECT_EQ(points[1].kind, QStringLiteral("switch-api"));
    EXPECT_EQ(restorePointContents(points[1]), QStringLiteral("登陆与配置文件、对话索引和 7 个对话文件"));
    EXPECT_GT(points[1].sizeBytes, 0);

    // Back to before the first switch, the thread index and the rollout files included;
    // auth_tevrun_last.json, which the switch created, is removed.
    const WorkflowResult restored = engine.restoreBackup(points[1].id);
    const std::vector<RestorePoint> after = engine.listBackups();
    ASSERT_EQ(after.size(), 3u);
    expectResult(restored, Outcome::Done,
                 QStringLiteral("已恢复备份“%1”：登陆与配置文件、对话索引和 7 个对话文件。恢复前的状态已存为备份“%2”。")
                     .arg(points[1].id, after[0].id));
    EXPECT_EQ(differingFiles(codexFiles(), beforeSwitching), QStringList());
    EXPECT_EQ(differingFiles(filesUnder(configured), elsewhereBefore), QStringList());
    EXPECT_EQ(modeOf(temp.path("auth.json")), 0604u);
    EXPECT_EQ(restored.pillMode, ModeAccount);
    EXPECT_EQ(progress.last(), QStringLiteral("正在恢复备份... 0/0"));

    // The restore's own point goes back to where the user was before it.
    EXPECT_EQ(after[0].kind, QStringLiteral("restore"));
    ASSERT_EQ(engine.restoreBackup(after[0].id).outcome, Outcome::Done);
    EXPECT_EQ(differingFiles(codexFiles(), afterSwitching), QStringList());
    EXPECT_EQ(modeOf(temp.path("auth_tevrun_last.json")), 0600u); // put back as it was: it holds the key

    // Restored files are copies: Codex may append to them without touching a backup.
    for (const IndexRow& row : builder.indexRows()) {
        if (row.rolloutPath) {
            EXPECT_EQ(linksUnder(temp.home().backupsPath(), *row.rolloutPath), QStringList()) << row.id.toStdString();
        }
    }
}

// What stops a restore before it writes anything (the login files are put back first, so a
// folder where one goes stops it there), and names what was wrong.
TEST_F(WorkflowTest, ARestoreIsRefusedBeforeItWritesAnything)
{
    makeAccountHome();
    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-key")).outcome, Outcome::Done);
    const RestorePoint point = engine.listBackups()[0];
    temp.write("morvane/backups/switch-api-provider-20250101-120000/provider-migration-info.json",
               "{\"kind\":\"switch-api-provider\",\"created_at\":\"20250101-120000\",\"thread_count\":1}");
    temp.write("morvane/backups/repair-provider-20250101-120000/provider-migration-info.json",
               R"({"kind":"repair-provider","created_at":"20250101-120000","restore_point":7,"rollout_files":)"
               R"([{"path":"/tmp/x","name":"../../../auth.json","size":1,"hash":"h"}]})");
    const QString firstRollout = (*point.manifest)[0].name;
    const QString rollout = QDir(temp.codexHome()).relativeFilePath(rolloutOf("t-a"));
    // Damages a file of the point; the returned call mends it.
    const auto damage = [](const QString& file, const std::function<QByteArray(QByteArray)>& change) {
        const QByteArray good = readFileAt(file);
        writeFileAt(file, change(good));
        return [file, good] { writeFileAt(file, good); };
    };
    const auto replaceByFolder = [this](const QString& name) {
        QFile::remove(temp.path(name));
        temp.write(name + "/keep", "x");
    };
    const auto replaceByLink = [this](const QString& name) {
        QFile::remove(temp.path(name));
        ASSERT_TRUE(QFile::link(temp.path("nowhere"), temp.path(name)));
    };
    const struct {
        QString point;
        std::function<std::function<void()>()> arrange; // gives what undoes it, if anything
        Outcome outcome;
        QString message; // or its start
        bool codexFilesOnly = false; // the restore's own backup of the home may stay
    } rows[] = {
        {point.id, [this] { workspace.startCodex(41); return [this] { workspace.stopAll(); }; }, Outcome::CodexRunning, ""},
        {"nothing-here", {}, Outcome::Refused, "没有找到备份“nothing-here”。"},
        {"switch-api-provider-20250101-120000", {}, Outcome::Refused,
         "备份“switch-api-provider-20250101-120000”来自旧版 Morvane，没有记下对话文件的原位置，无法自动恢复。"},
        {"repair-provider-20250101-120000", {}, Outcome::Refused, "备份“repair-provider-20250101-120000”"},
        {point.id, [&] { return damage(point.loginDirectory + "/auth.json", [](QByteArray b) { return b.replace("rt_5f0c2d1", "rt_5f0c2d2"); }); },
         Outcome::Failed, "备份已损坏：“auth.json”与备份时不一致，没有恢复任何文件。"},
        {point.id, [&] { return damage(point.providerDirectory + "/state_5.sqlite", [](QByteArray b) { return b.left(b.size() - 512); }); },
         Outcome::Failed, "备份已损坏：“state_5.sqlite”与备份时不一致，没有恢复任何文件。"},
        {point.id,
         [&] { return damage(point.providerDirectory + "/rollout_files/" + firstRollout, [](QByteArray b) { return b + "{}\n"; }); },
         Outcome::Failed, QStringLiteral("备份已损坏：“%1”与备份时不一致，没有恢复任何文件。").arg(firstRollout)},
        {point.id, [&] { replaceByFolder("state_5.sqlite"); return std::function<void()>(); }, Outcome::Failed,
         "无法写入“state_5.sqlite”：", true},
        {point.id, [&] { replaceByFolder("config.toml"); return std::function<void()>(); }, Outcome::Failed, "无法写入“config.toml”：",
         true},
        {point.id, [&] { replaceByFolder(rollout); return std::function<void()>(); },
         Outcome::Failed, "无法读取“"},
        {point.id, [&] { replaceByLink("session_index.jsonl"); return std::function<void()>(); }, Outcome::Failed,
         "无法复制“session_index.jsonl”："},
        {point.id, [&] { replaceByLink("auth.json"); return std::function<void()>(); }, Outcome::Failed, "无法复制“auth.json”："},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message.toStdString());
        const std::function<void()> undo = row.arrange ? row.arrange() : std::function<void()>();
        const QMap<QString, QByteArray> before = snapshot();
        const auto codexBefore = codexFiles();
        const WorkflowResult result = engine.restoreBackup(row.point);
        EXPECT_EQ(int(result.outcome), int(row.outcome));
        EXPECT_EQ(outcomeText(result).left(row.message.size()), row.message);
        EXPECT_EQ(result.codex.empty(), row.outcome != Outcome::CodexRunning); // named by the front end
        if (row.codexFilesOnly) {
            EXPECT_EQ(differingFiles(codexFiles(), codexBefore), QStringList());
        } else {
            EXPECT_EQ(snapshot(), before);
        }
        if (undo)
            undo();
    }
    // Mended, the point is whole again.
    EXPECT_EQ(engine.verifyBackups(point.id)->front().second, QStringList());
    EXPECT_EQ(engine.listBackups().back().id, QStringLiteral("switch-api-provider-20250101-120000"));
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
    const QString objects = temp.home().backupsPath() + "/objects";
    const qsizetype objectsBefore = entriesOf(objects).size();

    expectResult(engine.pruneBackups(2), Outcome::Done, QStringLiteral("已删除 2 个较早的备份，保留了最新的 2 个。"));
    const std::vector<RestorePoint> kept = engine.listBackups();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].id, points[0].id);
    EXPECT_EQ(kept[1].id, points[1].id);
    // The five files as they were before the first switch went with the oldest points; the
    // kept ones use both later contents of each file (on the relay, and back on the account).
    EXPECT_EQ(entriesOf(objects).size(), objectsBefore - 5);
    expectResult(engine.pruneBackups(2), Outcome::Done, QStringLiteral("没有需要删除的备份。"));

    // A kept point still restores whole: the state before switching back, on the relay.
    ASSERT_EQ(engine.restoreBackup(kept[0].id).outcome, Outcome::Done);
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("tevrun"));
    EXPECT_EQ(firstLineOf("t-a"), sessionMetaLine("t-a", "tevrun"));

    ASSERT_EQ(engine.pruneBackups(0).outcome, Outcome::Done);
    EXPECT_TRUE(engine.listBackups().empty());
    EXPECT_EQ(entriesOf(objects), QStringList());
}
