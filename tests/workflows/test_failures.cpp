#include "migration/rollout_compression.h"
#include "storage/rollout_backup.h"
#include "support/named_cases.h"
#include "workflows/workflow_fixture.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <functional>

#include <unistd.h>

namespace {

QString unreadable(const WorkflowTest& t, const char* id)
{
    return QStringLiteral("无法读取“%1”：内容不是有效的 UTF-8 文本。").arg(QFileInfo(t.rolloutOf(id)).fileName());
}

void directoryForConfiguration(WorkflowTest& t)
{
    QFile::remove(t.temp.path("config.toml"));
    t.temp.write("config.toml/keep", "a directory where the configuration goes");
}

sqlite3* heldIndex = nullptr; // another connection to the thread index, in a transaction

std::function<void(WorkflowTest&)> holdIndex(const char* sql)
{
    return [sql](WorkflowTest& t) {
        ASSERT_EQ(sqlite3_open(QFile::encodeName(t.builder.databasePath()).constData(), &heldIndex), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(heldIndex, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    };
}

WorkflowResult toApi(WorkflowTest& t) { return t.engine.switchToApi(QStringLiteral("sk-key")); }
WorkflowResult toAccount(WorkflowTest& t) { return t.engine.switchToAccount(); }

// Every failing step reports its own error and keeps what the user had. A step that fails
// after the workflow began to write puts every file back as it was before.
struct FailureCase {
    const char* name;
    std::function<void(WorkflowTest&)> arrange;
    std::function<WorkflowResult(WorkflowTest&)> call;
    std::function<QString(WorkflowTest&)> message; // the whole text, or its start when it ends with "："
    std::function<void(WorkflowTest&)> check;
    bool putBack = true; // the step fails after the first write
};

const FailureCase failureCases[] = {
    {"backup", [](WorkflowTest& t) { t.temp.write("morvane/backups", "a file where the backups belong"); }, toApi,
     [](WorkflowTest&) { return QStringLiteral("无法创建目录“backups”：那里已有一个同名文件。"); },
     {}, false},
    // A conversation larger than the free space (a sparse file) is refused before the backup.
    {"free space",
     [](WorkflowTest& t) {
         const QString huge = t.temp.userHome() + "/elsewhere/huge.jsonl";
         writeFileAt(huge, "");
         ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), off_t(1) << 40), 0);
         t.builder.execute("UPDATE threads SET rollout_path = '" + huge + "' WHERE id = 't-c'");
     },
     toApi, [](WorkflowTest&) { return QStringLiteral("磁盘空间不足："); },
     [](WorkflowTest& t) { EXPECT_TRUE(t.backupsOfKind("switch-api").isEmpty()); }, false},
    // The key and the profile are remembered within the change: failing, they put it all back.
    {"key history", [](WorkflowTest& t) { t.temp.write("morvane/api-key-history", "a file where the keys go"); }, toApi,
     [](WorkflowTest&) { return QStringLiteral("无法创建目录“api-key-history”：那里已有一个同名文件。"); }, {}},
    {"Codex's maintenance lock", [](WorkflowTest& t) { t.temp.write(".tmp", "a file where Codex's folder goes"); }, toApi,
     [](WorkflowTest&) { return QStringLiteral("无法创建目录“.tmp”：那里已有一个同名文件。"); }, {}, false},
    {"the key's second copy", [](WorkflowTest& t) { t.temp.write("auth_tevrun_last.json/stray", ""); }, toApi,
     [](WorkflowTest&) { return QStringLiteral("无法写入“auth_tevrun_last.json”：目标是一个目录。"); }, {}},
    {"backup of the conversations", [](WorkflowTest& t) { t.temp.write("morvane/backups/objects", "a file where they go"); }, toApi,
     [](WorkflowTest&) { return QStringLiteral("无法创建目录“objects”：那里已有一个同名文件。"); }, {}},
    {"account profile", [](WorkflowTest& t) { writeFileAt(t.temp.home().profilePath("account") + "/config.toml/stray", ""); }, toApi,
     [](WorkflowTest&) { return QStringLiteral("无法替换“config.toml”：目标是一个目录。"); },
     [](WorkflowTest& t) {
         EXPECT_EQ(t.backupsOfKind("switch-api").size(), 1);
         EXPECT_EQ(t.providerOf("t-a"), QStringLiteral("openai"));
     },
     false},
    // Read before anything is asked or written.
    {"configuration", directoryForConfiguration, toApi, [](WorkflowTest&) { return QStringLiteral("无法读取“config.toml”："); },
     [](WorkflowTest& t) { EXPECT_TRUE(t.relay.requests().empty()); }, false},
    {"a configuration the lines cannot edit safely",
     [](WorkflowTest& t) { t.temp.write("config.toml", "model_providers = { tevrun = { name = \"mine\" } }\n"); }, toApi,
     [](WorkflowTest&) { return QStringLiteral("无法安全修改“config.toml”第 1 行："); },
     [](WorkflowTest& t) {
         EXPECT_TRUE(t.relay.requests().empty());
         EXPECT_FALSE(QFileInfo::exists(t.temp.home().backupsPath()));
     },
     false},
    {"rollout file",
     [](WorkflowTest& t) { writeFileAt(t.rolloutOf("t-c"), sessionMetaLine("t-c", "openai") + "\n{\"text\":\"\xff\xfe\"}\n"); },
     toApi, [](WorkflowTest& t) { return unreadable(t, "t-c"); },
     [](WorkflowTest& t) { EXPECT_EQ(t.providerOf("t-c"), QStringLiteral("openai")); }},
    {"compressed rollout file cut short",
     [](WorkflowTest& t) {
         const QByteArray packed = compressedRollout(t.rolloutOf("t-c"), readFileAt(t.rolloutOf("t-c"))).value();
         QFile::rename(t.rolloutOf("t-c"), t.rolloutOf("t-c") + ".zst");
         writeFileAt(t.rolloutOf("t-c") + ".zst", packed.first(packed.size() / 2));
         t.builder.execute("UPDATE threads SET rollout_path = rollout_path || '.zst' WHERE id = 't-c'");
     },
     toApi, [](WorkflowTest& t) { return QStringLiteral("无法读取“%1”：zstd：").arg(QFileInfo(t.rolloutOf("t-c")).fileName()); }, {}},
    // The first thread index has moved when the one sqlite_home names fails.
    {"another thread index's update",
     [](WorkflowTest& t) {
         const CodexHomeBuilder other(t.temp.userHome() + "/codex-db");
         t.temp.write("config.toml", "sqlite_home = \"" + other.codexHome().toUtf8() + "\"\n" + t.userConfig);
         other.createThreadIndex();
         other.addThread(threadSpec("t-elsewhere", "openai", 1'780'000'000));
         other.execute("CREATE TRIGGER no_moves BEFORE UPDATE ON threads BEGIN SELECT RAISE(ABORT, 'no moves'); END");
     },
     toApi, [](WorkflowTest&) { return QStringLiteral("对话索引“state_5.sqlite”出错：no moves"); }, {}},
    // The paginated history, shifted after the index moved (t-c grows a byte), is no database.
    {"history offsets",
     [](WorkflowTest& t) {
         t.builder.execute("UPDATE threads SET model_provider = 'azure' WHERE id = 't-c'");
         writeFileAt(t.rolloutOf("t-c"), sessionMetaLine("t-c", "azure") + "\n");
         t.temp.write("thread_history_1.sqlite", QByteArray(4096, 'x'));
     },
     toApi, [](WorkflowTest&) { return QStringLiteral("对话索引“thread_history_1.sqlite”不是数据库文件。"); }, {}},
    // Another connection holds the write lock for longer than the migration waits.
    {"thread index busy", holdIndex("BEGIN IMMEDIATE"), toApi,
     [](WorkflowTest&) { return QStringLiteral("对话索引“state_5.sqlite”正被其他程序占用，请稍后再试。"); }, {}},
    {"thread index update",
     [](WorkflowTest& t) {
         t.builder.execute("CREATE TRIGGER no_moves BEFORE UPDATE ON threads BEGIN SELECT RAISE(ABORT, 'no moves'); END");
     },
     toApi, [](WorkflowTest&) { return QStringLiteral("对话索引“state_5.sqlite”出错：no moves"); }, {}},
    // A reader keeps the update from being committed; the rollout files stay as they were.
    {"thread index commit", holdIndex("BEGIN; SELECT count(*) FROM threads"), toApi,
     [](WorkflowTest&) { return QStringLiteral("对话索引“state_5.sqlite”正被其他程序占用，请稍后再试。"); }, {}},
    {"a fresh login's configuration that is not UTF-8",
     [](WorkflowTest& t) {
         QFile::remove(t.temp.path("auth.json"));
         t.temp.write("config.toml", "model = \"o3\"\n# caf\xe9\n");
     },
     toAccount, [](WorkflowTest&) { return QStringLiteral("无法读取“config.toml”：内容不是有效的 UTF-8 文本。"); },
     [](WorkflowTest& t) { EXPECT_EQ(t.backupsOfKind("fresh-account").size(), 1); }},
    // The rewrite keeps a relay table spelled with spaces, which Codex would still read: refused.
    {"a fresh login's configuration the lines cannot rewrite safely",
     [](WorkflowTest& t) {
         QFile::remove(t.temp.path("auth.json"));
         t.temp.write("config.toml", "model = \"o3\"\n[ model_providers.tevrun ]\nname = \"t\"\n");
     },
     toAccount, [](WorkflowTest&) { return QStringLiteral("无法安全修改“config.toml”第 1 行："); }, {}},
};

} // namespace

class FailingStep : public WorkflowTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailingStep, ReportsItsErrorAndKeepsTheFiles)
{
    const FailureCase& step = GetParam();
    makeAccountHome();
    step.arrange(*this);
    const auto before = codexFiles();
    const QString expected = step.message(*this);
    const WorkflowResult result = step.call(*this);
    if (heldIndex) {
        sqlite3_exec(heldIndex, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(std::exchange(heldIndex, nullptr));
    }
    if (expected.endsWith(QStringLiteral("："))) {
        EXPECT_TRUE(outcomeText(result).startsWith(expected)) << outcomeText(result).toStdString();
        EXPECT_EQ(outcomeText(result).endsWith(QStringLiteral("。 已恢复到切换前的状态。")), step.putBack) << outcomeText(result).toStdString();
    } else {
        EXPECT_EQ(outcomeText(result), expected + (step.putBack ? QStringLiteral(" 已恢复到切换前的状态。") : QString()));
    }
    EXPECT_EQ(differingFiles(codexFiles(), before), QStringList());
    // A backup of the conversations that was given up leaves none of their copies behind.
    EXPECT_TRUE(!backupsOfKind("switch-api-provider").empty() || entriesOf(backupObjectsPath(temp.home())).isEmpty());
    EXPECT_EQ(int(result.outcome), int(WorkflowResult::Outcome::Failed));
    EXPECT_EQ(toneOf(result), StatusTone::Failure);
    EXPECT_FALSE(result.openCodex || result.modeNow);
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("openai"));
    if (step.check)
        step.check(*this);
}

INSTANTIATE_TEST_SUITE_P(Workflows, FailingStep, ::testing::ValuesIn(failureCases), CaseName());
