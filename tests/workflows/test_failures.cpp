#include "workflows/workflow_fixture.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <functional>
#include <vector>

// Every failing step reports its own error and keeps what the user had. A step that fails
// after the workflow began to write puts every file back as it was before.
class FailureTest : public WorkflowTest, public ::testing::WithParamInterface<size_t> {
public:
    struct Case {
        const char* name;
        std::function<void(FailureTest&)> arrange;
        std::function<WorkflowResult(FailureTest&)> call;
        std::function<QString(FailureTest&)> message; // the whole text, or its start when it ends with "："
        std::function<void(FailureTest&)> check;
        bool putBack = true; // the step fails after the first write
    };
    static const std::vector<Case>& cases();

    ~FailureTest() override { sqlite3_close(otherConnection); }

    sqlite3* otherConnection = nullptr;

    QString unreadable(const char* id) const
    {
        return QStringLiteral("无法读取“%1”：内容不是有效的 UTF-8 文本。").arg(QFileInfo(rolloutOf(id)).fileName());
    }
};

namespace {

using Self = FailureTest;

std::function<QString(Self&)> text(const QString& message)
{
    return [message](Self&) { return message; };
}

WorkflowResult toApi(Self& t) { return t.engine.switchToApi(QStringLiteral("sk-key")); }
WorkflowResult toAccount(Self& t) { return t.engine.switchToAccount(); }

// Another connection to the thread index, inside a transaction the check ends.
std::function<void(Self&)> holdIndex(const char* sql)
{
    return [sql](Self& t) {
        ASSERT_EQ(sqlite3_open(QFile::encodeName(t.builder.databasePath()).constData(), &t.otherConnection), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(t.otherConnection, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    };
}

void releaseIndex(Self& t)
{
    sqlite3_exec(t.otherConnection, "ROLLBACK", nullptr, nullptr, nullptr);
    EXPECT_EQ(t.providerOf("t-a"), QStringLiteral("openai"));
}

void directoryForConfiguration(Self& t)
{
    QFile::remove(t.temp.path("config.toml"));
    t.temp.write("config.toml/keep", "a directory where the configuration goes");
}

} // namespace

const std::vector<FailureTest::Case>& FailureTest::cases()
{
    static const std::vector<Case> all = {
        {"Backup", [](Self& t) { t.temp.write("morvane/backups", "a file where the backups belong"); }, toApi,
         text(QStringLiteral("无法创建目录“backups”：那里已有一个同名文件。")),
         [](Self& t) { EXPECT_EQ(t.temp.read("auth.json"), accountAuth); }, false},
        {"AccountProfile",
         [](Self& t) { writeFileAt(t.temp.home().profileURL("account") + "/config.toml/stray", ""); }, toApi,
         text(QStringLiteral("无法替换“config.toml”：目标是一个目录。")),
         [](Self& t) {
             EXPECT_EQ(t.temp.read("auth.json"), accountAuth);
             EXPECT_EQ(t.backupsOfKind("switch-api").size(), 1);
             EXPECT_EQ(t.providerOf("t-a"), QStringLiteral("openai"));
         }, false},
        // auth.json and auth_tevrun_last.json are written before config.toml fails.
        {"Configuration", directoryForConfiguration, toApi, text(QStringLiteral("无法写入“config.toml”：")),
         [](Self& t) { EXPECT_FALSE(t.temp.exists("auth_tevrun_last.json")); }},
        {"RolloutFile",
         [](Self& t) { writeFileAt(t.rolloutOf("t-c"), sessionMetaLine("t-c", "openai") + "\n{\"text\":\"\xff\xfe\"}\n"); },
         toApi, [](Self& t) { return t.unreadable("t-c"); },
         [](Self& t) { EXPECT_EQ(t.providerOf("t-c"), QStringLiteral("openai")); }},
        // Another connection holds the write lock for longer than the migration waits.
        {"ThreadIndexBusy", holdIndex("BEGIN IMMEDIATE"), toApi, text(QStringLiteral("对话索引“state_5.sqlite”正被其他程序占用，请稍后再试。")), releaseIndex},
        {"ThreadIndexUpdate",
         [](Self& t) {
             t.builder.execute("CREATE TRIGGER no_moves BEFORE UPDATE ON threads BEGIN SELECT RAISE(ABORT, 'no moves'); END");
         },
         toApi, text(QStringLiteral("对话索引“state_5.sqlite”出错：no moves")), releaseIndex},
        // A reader keeps the update from being committed; the rollout files stay as they were.
        {"ThreadIndexCommit", holdIndex("BEGIN; SELECT count(*) FROM threads"), toApi,
         text(QStringLiteral("对话索引“state_5.sqlite”正被其他程序占用，请稍后再试。")), releaseIndex},
        {"FreshLoginWithAConfigurationThatIsNotUtf8",
         [](Self& t) {
             QFile::remove(t.temp.path("auth.json"));
             t.temp.write("config.toml", "model = \"o3\"\n# caf\xe9\n");
         },
         toAccount, text(QStringLiteral("无法读取“config.toml”：内容不是有效的 UTF-8 文本。")),
         [](Self& t) {
             EXPECT_EQ(t.temp.read("config.toml"), "model = \"o3\"\n# caf\xe9\n");
             EXPECT_EQ(t.backupsOfKind("fresh-account").size(), 1);
         }},
    };
    return all;
}

TEST_P(FailureTest, ReportsTheStepsErrorAndStops)
{
    const Case& step = cases()[GetParam()];
    makeAccountHome();
    step.arrange(*this);
    const auto before = filesUnder(temp.codexHome(), {"morvane"});
    QString expected = step.message(*this);
    const WorkflowResult result = step.call(*this);
    if (expected.endsWith(QStringLiteral("："))) {
        EXPECT_TRUE(result.message.startsWith(expected)) << result.message.toStdString();
        EXPECT_EQ(result.message.endsWith(QStringLiteral("。 已恢复到切换前的状态。")), step.putBack) << result.message.toStdString();
    } else {
        EXPECT_EQ(result.message, expected + (step.putBack ? QStringLiteral(" 已恢复到切换前的状态。") : QString()));
    }
    EXPECT_EQ(differingFiles(filesUnder(temp.codexHome(), {"morvane"}), before), QStringList());
    EXPECT_EQ(int(result.outcome), int(WorkflowResult::Outcome::Failed));
    EXPECT_EQ(result.tone, WorkflowResult::Tone::Failure);
    EXPECT_FALSE(result.openCodex);
    EXPECT_FALSE(result.pillMode);
    step.check(*this);
}

INSTANTIATE_TEST_SUITE_P(Steps, FailureTest, ::testing::Range(size_t(0), FailureTest::cases().size()),
                         [](const auto& info) { return std::string(FailureTest::cases()[info.param].name); });
