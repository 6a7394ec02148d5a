#include "config/config_text.h"
#include "history/key_history.h"
#include "core/json.h"
#include "workflows/workflow_fixture.h"

#include <QFileInfo>

using Outcome = WorkflowResult::Outcome;

TEST_F(WorkflowTest, SwitchingFromTheAccountLoginRecordsItAndMovesTheConversations)
{
    makeAccountHome();
    const WorkflowResult result = engine.switchToApi(QStringLiteral("  sk-live.Key_1  "));
    expectResult(result, Outcome::Done,
                 QStringLiteral("已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。 已同步 3 条对话记录。正在打开 Codex。"));
    EXPECT_EQ(result.pillMode, ModeApi);
    EXPECT_TRUE(result.openCodex);
    EXPECT_EQ(result.fieldKey, QStringLiteral("sk-live.Key_1"));
    // The busy text first, then the rollout files counted up.
    EXPECT_EQ(progress.value(0), QStringLiteral("正在切到 TEVRUN API... 0/0"));
    EXPECT_EQ(progress.last(), QStringLiteral("正在切到 TEVRUN API... 3/3"));
    EXPECT_TRUE(progress.contains(QStringLiteral("正在切到 TEVRUN API... 2/3")));

    // The key went to the relay, the login and the history trimmed.
    ASSERT_EQ(relay.requests().size(), 1u);
    EXPECT_EQ(relay.requests()[0].headers.value("authorization"), "Bearer sk-live.Key_1");
    EXPECT_EQ(authJson(), Json({{"OPENAI_API_KEY", "sk-live.Key_1"}}));
    EXPECT_EQ(modeOf(temp.path("auth.json")), 0600u);
    EXPECT_EQ(temp.read("auth_tevrun_last.json"), temp.read("auth.json"));
    EXPECT_EQ(temp.read("config.toml"), cleanApiConfig().toUtf8());
    EXPECT_EQ(latestHistoricalApiKey(temp.home()), QStringLiteral("sk-live.Key_1"));

    // The backup holds the account login as it was.
    const QString backup = onlyBackupOfKind("switch-api");
    EXPECT_EQ(entriesOf(backup), (QStringList{".codex-global-state.json", "auth.json", "backup-info.json", "config.toml",
                                              "models_cache.json"}));
    EXPECT_EQ(readFileAt(backup + "/auth.json"), accountAuth);
    EXPECT_EQ(readFileAt(backup + "/config.toml"), userConfig);
    EXPECT_EQ(backupsOfKind("switch-api-provider").size(), 1);

    // Profiles: the account login to come back to, and the new API state.
    EXPECT_EQ(readFileAt(temp.home().profileURL("account") + "/auth.json"), accountAuth);
    EXPECT_EQ(readFileAt(temp.home().profileURL("account") + "/config.toml"), userConfig);
    EXPECT_EQ(entriesOf(temp.home().profileURL("api")),
              (QStringList{"auth.json", "auth_tevrun_last.json", "config.toml", "profile.json"}));

    for (const char* id : {"t-a", "t-b", "t-c", "t-moved"}) {
        EXPECT_EQ(providerOf(id), QStringLiteral("tevrun")) << id;
        EXPECT_EQ(firstLineOf(id), sessionMetaLine(id, "tevrun")) << id;
    }
    EXPECT_EQ(providerOf("t-archived"), QStringLiteral("openai"));
    EXPECT_EQ(firstLineOf("t-archived"), sessionMetaLine("t-archived", "openai"));
    EXPECT_TRUE(workspace.openedApplications.isEmpty()); // the caller opens Codex
}

TEST_F(WorkflowTest, SwitchingAgainOnlyChangesTheKey)
{
    makeAccountHome();
    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-first")).outcome, Outcome::Done);
    const QByteArray recordedLogin = readFileAt(temp.home().profileURL("account") + "/auth.json");

    expectResult(engine.switchToApi(QStringLiteral("sk-second")), Outcome::Done,
                 QStringLiteral("已切到 TEVRUN API。正在打开 Codex。"));
    EXPECT_EQ(authJson(), Json({{"OPENAI_API_KEY", "sk-second"}}));
    EXPECT_EQ(readFileAt(temp.home().profileURL("account") + "/auth.json"), recordedLogin);
    EXPECT_EQ(backupsOfKind("switch-api").size(), 2);
    EXPECT_EQ(backupsOfKind("switch-api-provider").size(), 1);
    EXPECT_EQ(historyItems(temp.home()).size(), 2u);
}

TEST_F(WorkflowTest, SwitchingAnUnconfiguredHomeWritesTheConfiguration)
{
    expectResult(engine.switchToApi(QStringLiteral("sk-new")), Outcome::Done, QStringLiteral("已切到 TEVRUN API。正在打开 Codex。"));
    EXPECT_FALSE(QFileInfo::exists(temp.home().profileURL("account")));
    EXPECT_EQ(temp.read("config.toml"), cleanApiConfig().toUtf8());
}

TEST_F(WorkflowTest, SwitchingBackRestoresTheAccountAndKeepsConversationsVisible)
{
    makeAccountHome();
    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-roundtrip")).outcome, Outcome::Done);

    const WorkflowResult result = engine.switchToAccount();
    expectResult(result, Outcome::Done, QStringLiteral("已切回 GPT 账号 登陆。 已同步 4 条对话记录。正在打开 Codex。"));
    EXPECT_EQ(result.pillMode, ModeAccount);
    EXPECT_TRUE(result.openCodex);
    EXPECT_EQ(progress.last(), QStringLiteral("正在切回 GPT 账号 登陆... 4/4"));
    EXPECT_EQ(temp.read("auth.json"), accountAuth);
    EXPECT_EQ(modeOf(temp.path("auth.json")), 0600u);
    EXPECT_EQ(temp.read("config.toml"), userConfig);
    EXPECT_EQ(backupsOfKind("switch-account").size(), 1);

    // Codex lists the visible threads of the active provider: all of them are there.
    for (const IndexRow& row : builder.indexRows()) {
        if (row.archived == 0) {
            EXPECT_EQ(row.provider, QStringLiteral("openai")) << row.id.toStdString();
        }
    }
    EXPECT_EQ(firstLineOf("t-moved"), sessionMetaLine("t-moved", "openai"));
    EXPECT_EQ(backupsOfKind("switch-account-provider").size(), 1);
}

TEST_F(WorkflowTest, SwitchingBackFollowsTheRecordedProviderAndMovesOnlyWhatIsNeeded)
{
    makeApiHome(QStringLiteral("sk-current"));
    recordAccountProfile("model_provider = \"azure\" # work\n");
    expectResult(engine.switchToAccount(), Outcome::Done,
                 QStringLiteral("已切回 GPT 账号 登陆。 已同步 4 条对话记录。正在打开 Codex。"));
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("azure"));
    EXPECT_EQ(providerOf("t-moved"), QStringLiteral("azure"));

    expectResult(engine.switchToAccount(), Outcome::Done, QStringLiteral("已切回 GPT 账号 登陆。正在打开 Codex。"));
    EXPECT_EQ(backupsOfKind("switch-account-provider").size(), 1);
}

TEST_F(WorkflowTest, AnAccountLoginWithoutProfileIsRecordedWithoutTouchingCodex)
{
    makeAccountHome();
    const QMap<QString, QByteArray> before = snapshot();
    const WorkflowResult result = engine.switchToAccount();
    expectResult(result, Outcome::Done, QStringLiteral("当前已经是 GPT 账号 登陆，已自动记录好后续切换需要的状态。"));
    EXPECT_EQ(result.pillMode, ModeAccount);
    EXPECT_EQ(result.tone, WorkflowResult::Tone::Ready);
    EXPECT_FALSE(result.openCodex);
    EXPECT_TRUE(progress.isEmpty()); // nothing that takes time
    EXPECT_FALSE(QFileInfo::exists(temp.home().backupsURL()));
    EXPECT_EQ(readFileAt(temp.home().profileURL("account") + "/auth.json"), accountAuth);
    QMap<QString, QByteArray> after = snapshot();
    after.removeIf([](const auto& file) { return file.key().contains("/morvane/"); });
    EXPECT_EQ(after, before);
}

TEST_F(WorkflowTest, FreshLogin)
{
    makeApiHome(QStringLiteral("sk-old"));
    const WorkflowResult result = engine.switchToAccount();
    expectResult(result, Outcome::Done,
                 QStringLiteral("已设置为 GPT 账号 登陆。 已同步 3 条对话记录。正在打开 Codex。请按提示登陆账号。"));
    EXPECT_EQ(result.pillMode, ModeAccount);
    EXPECT_TRUE(result.openCodex);
    EXPECT_EQ(authJson(), Json::object());
    EXPECT_EQ(temp.read("config.toml"),
              "preferred_auth_method = \"device_code\"\nmodel = \"gpt-5.5\"\nmodel_reasoning_effort = \"xhigh\"\n");
    EXPECT_EQ(parseJson(temp.read("auth_tevrun_last.json")).value_or(Json()), Json({{"OPENAI_API_KEY", "sk-old"}}));
    EXPECT_EQ(backupsOfKind("fresh-account").size(), 1);
    EXPECT_EQ(backupsOfKind("fresh-account-provider").size(), 1);
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("openai"));
    EXPECT_FALSE(QFileInfo::exists(temp.home().profileURL("account")));
}

TEST_F(WorkflowTest, StartUpStateShowsTheRememberedKeyAndTheDetectedMode)
{
    InitialState state = engine.startUpState();
    EXPECT_EQ(state.selectedMode, ModeApi);
    EXPECT_EQ(state.pillMode, ModeUnconfigured);
    EXPECT_FALSE(state.fieldKey);

    temp.write("auth.json", R"({"OPENAI_API_KEY": null})");
    temp.write("auth_tevrun_last.json", R"({"OPENAI_API_KEY": " sk-remembered "})");
    state = engine.startUpState();
    EXPECT_EQ(state.selectedMode, ModeAccount);
    EXPECT_EQ(state.fieldKey, QStringLiteral(" sk-remembered "));

    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-from-history"));
    EXPECT_EQ(engine.startUpState().fieldKey, QStringLiteral("sk-from-history"));

    temp.write("auth_tevrun_last.json", R"({"OPENAI_API_KEY": "sk-bad key"})");
    QFile::remove(temp.home().historyRootURL() + "/" + entriesOf(temp.home().historyRootURL()).value(0));
    EXPECT_FALSE(engine.startUpState().fieldKey);
}
