#include "migration/migration_backup.h"
#include "workflows/workflow_fixture.h"

#include <nlohmann/json.hpp>

namespace {

// A rollout file differs from its copy in the migration backup only in the provider of
// its metadata lines: parse both and compare with the provider set alike.
void expectOnlyProviderChanged(const QByteArray& before, const QByteArray& after, const std::string& provider)
{
    const QList<QByteArray> oldLines = before.split('\n');
    const QList<QByteArray> newLines = after.split('\n');
    ASSERT_EQ(oldLines.size(), newLines.size());
    for (qsizetype i = 0; i < oldLines.size(); ++i) {
        if (oldLines[i] == newLines[i])
            continue;
        auto expected = nlohmann::ordered_json::parse(oldLines[i].toStdString());
        ASSERT_EQ(expected["type"], "session_meta") << "line " << i << " changed";
        expected["payload"]["model_provider"] = provider;
        EXPECT_EQ(nlohmann::ordered_json::parse(newLines[i].toStdString()), expected);
    }
}

} // namespace

TEST_F(WorkflowTest, SwitchingBackRestoresTheAccountAndKeepsConversationsVisible)
{
    makeAccountHome();
    launch();
    clickSegment(1);
    typeKey(QStringLiteral("sk-roundtrip"));
    pressAction();
    ASSERT_EQ(authJson(), Json({{"OPENAI_API_KEY", "sk-roundtrip"}}));
    QTest::qWait(1100);

    clickSegment(0);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 GPT 账号 登陆并打开 Codex"));
    pressAction();

    EXPECT_EQ(status(), QStringLiteral("已切回 GPT 账号 登陆。 已同步 4 条对话记录。正在打开 Codex。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(pill(), QStringLiteral("GPT 账号 登陆"));
    EXPECT_EQ(pillColour(), blue);
    EXPECT_EQ(temp.read("auth.json"), accountAuth);
    EXPECT_EQ(modeOf(temp.path("auth.json")), 0600u);
    EXPECT_EQ(temp.read("config.toml"), userConfig);
    EXPECT_EQ(workspace.openedApplications.size(), 2);
    EXPECT_EQ(backupsOfKind("switch-account").size(), 1);

    // Codex lists the visible threads of the active provider: all of them are there.
    for (const IndexRow& row : builder.indexRows()) {
        if (row.archived == 0)
            EXPECT_EQ(row.provider, QStringLiteral("openai")) << row.id.toStdString();
    }
    const QString migration = onlyBackupOfKind("switch-account-provider");
    for (const char* id : {"t-a", "t-b", "t-c", "t-moved"}) {
        const QString copy = migration + "/rollout_files/" + safeBackupNameForPath(rolloutOf(id), temp.userHome());
        expectOnlyProviderChanged(readFileAt(copy), readFileAt(rolloutOf(id)), "openai");
        EXPECT_EQ(firstLineOf(id), sessionMetaLine(id, "openai"));
    }
}

TEST_F(WorkflowTest, SwitchingBackFollowsTheRecordedProvider)
{
    makeApiHome(QStringLiteral("sk-current"));
    writeFileAt(temp.home().profileURL("account") + "/auth.json", accountAuth);
    writeFileAt(temp.home().profileURL("account") + "/config.toml", "model_provider = \"azure\" # work\n");
    launch();
    clickSegment(0);
    pressAction();
    EXPECT_EQ(status(), QStringLiteral("已切回 GPT 账号 登陆。 已同步 4 条对话记录。正在打开 Codex。"));
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("azure"));
    EXPECT_EQ(providerOf("t-moved"), QStringLiteral("azure"));
}

TEST_F(WorkflowTest, SwitchingBackWithEverythingInPlaceMovesNothing)
{
    makeAccountHome();
    builder.execute("UPDATE threads SET model_provider = 'openai'");
    writeFileAt(temp.home().profileURL("account") + "/auth.json", accountAuth);
    launch();
    pressAction();
    EXPECT_EQ(status(), QStringLiteral("已切回 GPT 账号 登陆。正在打开 Codex。"));
    EXPECT_TRUE(backupsOfKind("switch-account-provider").isEmpty());
}

TEST_F(WorkflowTest, AnAccountLoginWithoutProfileIsRecordedWithoutTouchingCodex)
{
    makeAccountHome();
    launch();
    ASSERT_EQ(actionButton()->text(), QStringLiteral("设置 GPT 账号 登陆并打开 Codex"));
    const QMap<QString, QByteArray> before = snapshot();
    pressAction();

    EXPECT_EQ(status(), QStringLiteral("当前已经是 GPT 账号 登陆，已自动记录好后续切换需要的状态。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(pill(), QStringLiteral("GPT 账号 登陆"));
    EXPECT_FALSE(QFileInfo::exists(temp.home().backupsURL()));
    EXPECT_TRUE(workspace.openedApplications.isEmpty());
    EXPECT_EQ(readFileAt(temp.home().profileURL("account") + "/auth.json"), accountAuth);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 GPT 账号 登陆并打开 Codex"));
    QMap<QString, QByteArray> after = snapshot();
    for (auto it = after.begin(); it != after.end();) {
        it = it.key().contains("/morvane/") ? after.erase(it) : std::next(it);
    }
    EXPECT_EQ(after, before);
}

TEST_F(WorkflowTest, FreshLoginFromTheApiMode)
{
    makeApiHome(QStringLiteral("sk-old"));
    launch();
    clickSegment(0);
    pressAction();

    EXPECT_EQ(status(), QStringLiteral("已设置为 GPT 账号 登陆。 已同步 3 条对话记录。正在打开 Codex。请按提示登陆账号。"));
    EXPECT_EQ(pill(), QStringLiteral("GPT 账号 登陆"));
    EXPECT_EQ(authJson(), Json::object());
    EXPECT_EQ(temp.read("config.toml"),
              "preferred_auth_method = \"device_code\"\nmodel = \"gpt-5.5\"\nmodel_reasoning_effort = \"xhigh\"\n");
    EXPECT_EQ(parseJson(temp.read("auth_tevrun_last.json")).value_or(Json()), Json({{"OPENAI_API_KEY", "sk-old"}}));
    EXPECT_EQ(backupsOfKind("fresh-account").size(), 1);
    EXPECT_EQ(backupsOfKind("fresh-account-provider").size(), 1);
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("openai"));
    EXPECT_EQ(workspace.openedApplications.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(temp.home().profileURL("account")));
}

TEST_F(WorkflowTest, FreshLoginFromAnEmptyHome)
{
    launch();
    clickSegment(0);
    pressAction();
    EXPECT_EQ(status(), QStringLiteral("已设置为 GPT 账号 登陆。正在打开 Codex。请按提示登陆账号。"));
    EXPECT_EQ(temp.read("config.toml"), "preferred_auth_method = \"device_code\"\n");
    EXPECT_EQ(authJson(), Json::object());
    EXPECT_EQ(entriesOf(onlyBackupOfKind("fresh-account")), QStringList{"backup-info.json"});
}
