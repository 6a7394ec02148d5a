#include "bench/codex_home_builder.h"
#include "config/config_text.h"
#include "core/json.h"
#include "wording/restore_point_wording.h"
#include "support/named_cases.h"
#include "workflows/workflow_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using Outcome = WorkflowResult::Outcome;

namespace {

// Codex's databases in every place it keeps them: where config.toml tells it, and the Codex
// home's sqlite/ beside the home's own; a login readable by others, as Codex may leave it.
// Codex's paginated history reads on from byte offsets into a file: a turn from the line after
// a reasoning item (which a move takes out) to the end, and where the next lines will start.
struct IndexesEverywhere {
    QString configured, azure;
    QByteArray turnLine;
};

IndexesEverywhere makeIndexesEverywhere(WorkflowTest& t)
{
    t.makeAccountHome();
    IndexesEverywhere made{t.temp.userHome() + "/codex-db", {}, {}};
    t.temp.write("config.toml", "sqlite_home = \"" + made.configured.toUtf8() + "\"\n" + WorkflowTest::userConfig);
    QFile::setPermissions(t.temp.path("auth.json"), QFile::permissions(t.temp.path("auth.json")) | QFile::ReadOther);
    const CodexHomeBuilder elsewhere(made.configured), legacy(t.temp.path("sqlite"));
    elsewhere.createThreadIndex();
    legacy.createThreadIndex();
    ThreadSpec azureSpec = threadSpec("t-azure", "azure", 1'780'000'400);
    azureSpec.rollout.sealedItems = true;
    azureSpec.rollout.compacted = true;
    made.azure = elsewhere.addThread(azureSpec);
    legacy.addThread(threadSpec("t-legacy", "openai", 1'780'000'400));
    legacy.addThread(threadSpec("t-moved", "openai", 1'780'000'000)); // on the relay in the home's index
    const QByteArray content = readFileAt(made.azure);
    const qsizetype turn = content.indexOf('\n', content.indexOf("\"type\":\"reasoning\"")) + 1;
    made.turnLine = content.mid(turn, content.indexOf('\n', turn) - turn);
    elsewhere.execute(QStringLiteral("CREATE TABLE thread_turns (thread_id, rollout_byte_offset, rollout_end_byte_offset); "
                                     "CREATE TABLE thread_history_projection_state (thread_id, next_rollout_byte_offset); "
                                     "INSERT INTO thread_turns VALUES ('t-azure', %1, %2); "
                                     "INSERT INTO thread_history_projection_state VALUES ('t-azure', %2);")
                          .arg(turn).arg(content.size()), made.configured + "/thread_history_1.sqlite");
    return made;
}

} // namespace

TEST_F(WorkflowTest, AMoveReachesEveryIndexAndKeepsCodexsHistoryOffsetsTrue)
{
    const IndexesEverywhere places = makeIndexesEverywhere(*this);
    const CodexHomeBuilder elsewhere(places.configured), legacy(temp.path("sqlite"));
    expectResult(engine.switchToApi(QStringLiteral("sk-roundtrip")), Outcome::Done,
                 "已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。 已同步 6 条对话记录。其中 5 条对话去掉了只有原来的登录方式才能读的推理记录。正在打开 Codex。");
    EXPECT_EQ(elsewhere.providerOf("t-azure"), "tevrun");
    EXPECT_EQ(legacy.providerOf("t-legacy"), "tevrun");
    EXPECT_EQ(topLevelConfigValue("sqlite_home", QString::fromUtf8(temp.read("config.toml"))), places.configured);
    EXPECT_EQ(modeOf(temp.home().profilePath("account") + "/auth.json"), 0600u);
    const QByteArray moved = readFileAt(places.azure);
    EXPECT_EQ(elsewhere.queryNumbers(QStringLiteral("SELECT rollout_byte_offset, rollout_end_byte_offset, next_rollout_byte_offset "
                                                    "FROM thread_turns, thread_history_projection_state"),
                                     places.configured + "/thread_history_1.sqlite"),
              (std::vector<qint64>{moved.indexOf(places.turnLine), moved.size(), moved.size()}));
    EXPECT_FALSE(moved.contains("encrypted_content"));
}

TEST_F(WorkflowTest, ARestoreGivesBackEveryFileAndCanItselfBeUndone)
{
    const QString configured = makeIndexesEverywhere(*this).configured;
    const auto beforeSwitching = codexFiles();
    const auto elsewhereBefore = filesUnder(configured);
    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-roundtrip")).outcome, Outcome::Done);
    ASSERT_EQ(engine.switchToAccount().outcome, Outcome::Done);
    const auto afterSwitching = codexFiles();

    const std::vector<RestorePoint> points = engine.listBackups();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(QStringList({points[0].kind, points[1].kind}), QStringList({"switch-account", "switch-api"}));
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
    EXPECT_EQ(restored.modeNow, ModeAccount);
    EXPECT_EQ(progress.last(), QStringLiteral("正在恢复备份... 0/0"));

    // The restore's own point goes back to where the user was before it.
    EXPECT_EQ(after[0].kind, QStringLiteral("restore"));
    ASSERT_EQ(engine.restoreBackup(after[0].id).outcome, Outcome::Done);
    EXPECT_EQ(differingFiles(codexFiles(), afterSwitching), QStringList());
    EXPECT_EQ(modeOf(temp.path("auth_tevrun_last.json")), 0600u); // put back as it was: it holds the key

    // Restored files are copies: Codex may append to them without touching a backup.
    for (const IndexRow& row : builder.indexRows())
        EXPECT_EQ(linksUnder(temp.home().backupsPath(), row.rolloutPath.value_or(QString())), QStringList()) << row.id.toStdString();
}

namespace {

// Damages a file of a point.
void damage(const QString& file, const std::function<QByteArray(QByteArray)>& change)
{
    writeFileAt(file, change(readFileAt(file)));
}
void replaceByFolder(const WorkflowTest& t, const QString& name)
{
    QFile::remove(t.temp.path(name));
    t.temp.write(name + "/keep", "x");
}
void replaceByLink(const WorkflowTest& t, const QString& name)
{
    QFile::remove(t.temp.path(name));
    ASSERT_TRUE(QFile::link(t.temp.path("nowhere"), t.temp.path(name)));
}
QString firstRollout(const RestorePoint& point) { return (*point.manifest)[0].name; }

// What stops a restore before it writes anything (the login files are put back first, so a
// folder where one goes stops it there), and names what was wrong.
struct RefusedRestore {
    const char* name;
    QString point; // empty: the switch's
    std::function<void(WorkflowTest&, const RestorePoint&)> arrange;
    Outcome outcome;
    std::function<QString(const RestorePoint&)> message; // or its start
    bool codexFilesOnly = false; // the restore's own backup of the home may stay
};

const RefusedRestore refusedRestores[] = {
    {"while Codex runs", {}, [](WorkflowTest& t, const RestorePoint&) { t.workspace.startCodex(41); }, Outcome::CodexRunning,
     [](const RestorePoint&) { return QString(); }},
    {"an unknown point", "nothing-here", {}, Outcome::Refused, [](const RestorePoint&) { return QStringLiteral("没有找到备份“nothing-here”。"); }},
    {"a point of an older Morvane", "switch-api-provider-20250101-120000", {}, Outcome::Refused, [](const RestorePoint&) {
         return QStringLiteral("备份“switch-api-provider-20250101-120000”来自旧版 Morvane，没有记下对话文件的原位置，无法自动恢复。");
     }},
    {"a point whose files climb out of it", "repair-provider-20250101-120000", {}, Outcome::Refused,
     [](const RestorePoint&) { return QStringLiteral("备份“repair-provider-20250101-120000”"); }},
    {"a damaged login file",
     {}, [](WorkflowTest&, const RestorePoint& point) {
         damage(point.loginDirectory + "/auth.json", [](QByteArray b) { return b.replace("rt_5f0c2d1", "rt_5f0c2d2"); });
     },
     Outcome::Failed, [](const RestorePoint&) { return QStringLiteral("备份已损坏：“auth.json”与备份时不一致，没有恢复任何文件。"); }},
    {"a damaged thread index",
     {}, [](WorkflowTest&, const RestorePoint& point) {
         damage(point.providerDirectory + "/state_5.sqlite", [](QByteArray b) { return b.left(b.size() - 512); });
     },
     Outcome::Failed, [](const RestorePoint&) { return QStringLiteral("备份已损坏：“state_5.sqlite”与备份时不一致，没有恢复任何文件。"); }},
    {"a damaged rollout file",
     {}, [](WorkflowTest&, const RestorePoint& point) {
         damage(point.providerDirectory + "/rollout_files/" + firstRollout(point), [](QByteArray b) { return b + "{}\n"; });
     },
     Outcome::Failed,
     [](const RestorePoint& point) { return QStringLiteral("备份已损坏：“%1”与备份时不一致，没有恢复任何文件。").arg(firstRollout(point)); }},
    {"a folder where the thread index goes", {}, [](WorkflowTest& t, const RestorePoint&) { replaceByFolder(t, "state_5.sqlite"); },
     Outcome::Failed, [](const RestorePoint&) { return QStringLiteral("无法写入“state_5.sqlite”："); }, true},
    {"a folder where the configuration goes", {}, [](WorkflowTest& t, const RestorePoint&) { replaceByFolder(t, "config.toml"); },
     Outcome::Failed, [](const RestorePoint&) { return QStringLiteral("无法写入“config.toml”："); }, true},
    {"a folder where a rollout file goes",
     {}, [](WorkflowTest& t, const RestorePoint&) { replaceByFolder(t, QDir(t.temp.codexHome()).relativeFilePath(t.rolloutOf("t-a"))); },
     Outcome::Failed, [](const RestorePoint&) { return QStringLiteral("无法读取“"); }},
    {"a dangling link for the session index", {}, [](WorkflowTest& t, const RestorePoint&) { replaceByLink(t, "session_index.jsonl"); },
     Outcome::Failed, [](const RestorePoint&) { return QStringLiteral("无法复制“session_index.jsonl”："); }},
    {"a dangling link for the login", {}, [](WorkflowTest& t, const RestorePoint&) { replaceByLink(t, "auth.json"); }, Outcome::Failed,
     [](const RestorePoint&) { return QStringLiteral("无法复制“auth.json”："); }},
};

} // namespace

class RestoreRefused : public WorkflowTest, public ::testing::WithParamInterface<RefusedRestore> {};

TEST_P(RestoreRefused, BeforeItWritesAnything)
{
    const RefusedRestore& row = GetParam();
    makeAccountHome();
    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-key")).outcome, Outcome::Done);
    const RestorePoint point = engine.listBackups()[0];
    temp.write("morvane/backups/switch-api-provider-20250101-120000/provider-migration-info.json",
               "{\"kind\":\"switch-api-provider\",\"created_at\":\"20250101-120000\",\"thread_count\":1}");
    temp.write("morvane/backups/repair-provider-20250101-120000/provider-migration-info.json",
               R"({"kind":"repair-provider","created_at":"20250101-120000","restore_point":7,"rollout_files":)"
               R"([{"path":"/tmp/x","name":"../../../auth.json","size":1,"hash":"h"}]})");
    EXPECT_EQ(engine.listBackups().back().id, QStringLiteral("switch-api-provider-20250101-120000"));
    if (row.arrange)
        row.arrange(*this, point);
    const QMap<QString, QByteArray> before = snapshot();
    const auto codexBefore = codexFiles();
    const WorkflowResult result = engine.restoreBackup(row.point.isEmpty() ? point.id : row.point);
    EXPECT_EQ(int(result.outcome), int(row.outcome));
    const QString message = row.message(point);
    EXPECT_EQ(outcomeText(result).left(message.size()), message);
    EXPECT_EQ(result.codex.empty(), row.outcome != Outcome::CodexRunning); // named by the front end
    if (row.codexFilesOnly) {
        EXPECT_EQ(differingFiles(codexFiles(), codexBefore), QStringList());
    } else {
        EXPECT_EQ(snapshot(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Workflows, RestoreRefused, ::testing::ValuesIn(refusedRestores), CaseName());

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
