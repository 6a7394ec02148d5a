#include "history/key_history.h"
#include "workflows/workflow_fixture.h"

#include <QFileInfo>

using Outcome = WorkflowResult::Outcome;

TEST_F(WorkflowTest, RepairInApiModeShowsTheDiagnosis)
{
    makeAccountHome();
    temp.write("config.toml", "model_provider = \"tevrun\"\nbearer = \"sk-leaked.secret\"\n");
    relay.enqueue({200, "{}"});
    relay.enqueue({200, R"({"output_text":"缺少 TEVRUN provider 表\n和 base_url"})"});
    const WorkflowResult result = engine.repair(ModeApi, QStringLiteral(" sk-repair "));
    expectResult(result, Outcome::Done,
                 QStringLiteral("AI 诊断：缺少 TEVRUN provider 表 和 base_url 已按标准模板修复。 已同步 3 条对话记录。"));
    EXPECT_EQ(result.pillMode, ModeApi);
    EXPECT_FALSE(result.openCodex);
    EXPECT_EQ(result.fieldKey, QStringLiteral("sk-repair"));
    EXPECT_EQ(progress.value(0), QStringLiteral("正在修复配置... 0/0"));

    ASSERT_EQ(relay.requests().size(), 2u);
    // The diagnosis saw the configuration before the repair, with the key masked.
    const Json prompt = parseJson(relay.requests()[1].body).value_or(Json());
    const QString input = fromUtf8(prompt["input"].get<std::string>());
    EXPECT_TRUE(input.contains(QStringLiteral("bearer = \"sk-***\""))) << input.toStdString();
    EXPECT_FALSE(input.contains(QStringLiteral("leaked")));

    EXPECT_EQ(authJson(), Json({{"OPENAI_API_KEY", "sk-repair"}}));
    EXPECT_EQ(latestHistoricalApiKey(temp.home()), QStringLiteral("sk-repair"));
    EXPECT_EQ(backupsOfKind("repair-config").size(), 1);
    EXPECT_EQ(backupsOfKind("repair-provider").size(), 1);
    EXPECT_TRUE(QFileInfo::exists(temp.home().profileURL("api") + "/auth.json"));
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("tevrun"));
}

TEST_F(WorkflowTest, RepairInApiModeWithoutDiagnosis)
{
    relay.enqueue({200, "{}"});
    relay.enqueue({500, "{}"});
    // Any mode but the account login repairs for the API.
    expectResult(engine.repair(ModeUnconfigured, QStringLiteral("sk-repair")), Outcome::Done,
                 QStringLiteral("TEVRUN API 已校验通过，配置已按标准模板修复。"));
}

TEST_F(WorkflowTest, RepairInAccountModeWritesTheLoginLineAndRemembersTheKey)
{
    makeApiHome(QStringLiteral("sk-in-auth"));
    const WorkflowResult result = engine.repair(ModeAccount, QStringLiteral("sk-ignored"));
    expectResult(result, Outcome::Done,
                 QStringLiteral("GPT 账号 登陆配置已按标准模板修复。 已同步 3 条对话记录。现在可以重新打开 Codex 登陆。"));
    EXPECT_EQ(result.pillMode, ModeUnconfigured);
    EXPECT_EQ(result.fieldKey, QStringLiteral("sk-in-auth"));
    EXPECT_EQ(temp.read("config.toml"), "preferred_auth_method = \"device_code\"\n");
    EXPECT_EQ(authJson(), Json::object());
    EXPECT_EQ(latestHistoricalApiKey(temp.home()), QStringLiteral("sk-in-auth"));
    EXPECT_TRUE(relay.requests().empty());
    EXPECT_EQ(providerOf("t-b"), QStringLiteral("openai"));
}

TEST_F(WorkflowTest, CheckingAKeyRemembersItAndTouchesNothingOfCodex)
{
    makeAccountHome();
    const QMap<QString, QByteArray> before = snapshot();
    const WorkflowResult result = engine.checkKey(QStringLiteral(" sk-checked "));
    expectResult(result, Outcome::Done, QStringLiteral("TEVRUN API 可用，可以切换或修复配置。"));
    EXPECT_EQ(result.fieldKey, QStringLiteral("sk-checked"));
    EXPECT_FALSE(result.pillMode);
    EXPECT_EQ(progress, QStringList{QStringLiteral("正在检查 TEVRUN API... 0/0")});
    EXPECT_EQ(latestHistoricalApiKey(temp.home()), QStringLiteral("sk-checked"));
    QMap<QString, QByteArray> after = snapshot();
    after.removeIf([](const auto& file) { return file.key().contains("/api-key-history/"); });
    EXPECT_EQ(after, before);
}

// Refusals come before any work: nothing is asked of the relay and nothing changes.
TEST_F(WorkflowTest, MalformedKeysAreRefusedBeforeAnything)
{
    makeAccountHome();
    const QMap<QString, QByteArray> before = snapshot();
    const struct {
        std::function<WorkflowResult()> call;
        QString message;
    } cases[] = {
        {[&] { return engine.switchToApi(QString()); }, QStringLiteral("TEVRUN API 必须以 sk- 开头。")},
        {[&] { return engine.switchToApi(QStringLiteral("ak-wrong")); }, QStringLiteral("TEVRUN API 必须以 sk- 开头。")},
        {[&] { return engine.switchToApi(QStringLiteral("sk-has space")); }, QStringLiteral("TEVRUN API 必须以 sk- 开头。")},
        {[&] { return engine.checkKey(QStringLiteral("sk-")); }, QStringLiteral("请先输入以 sk- 开头的 TEVRUN API。")},
        {[&] { return engine.repair(ModeApi, QString()); }, QStringLiteral("请先输入有效的 TEVRUN API，再修复配置。")},
        {[&] { return engine.repair(ModeUnconfigured, QStringLiteral("key")); },
         QStringLiteral("请先输入有效的 TEVRUN API，再修复配置。")},
    };
    for (const auto& refusal : cases) {
        const WorkflowResult result = refusal.call();
        expectResult(result, Outcome::Refused, refusal.message);
        EXPECT_EQ(result.tone, WorkflowResult::Tone::Failure);
    }
    EXPECT_TRUE(progress.isEmpty());
    EXPECT_TRUE(relay.requests().empty());
    EXPECT_EQ(snapshot(), before);
}

TEST_F(WorkflowTest, NothingChangesWhileCodexRuns)
{
    makeAccountHome();
    recordAccountProfile();
    const QMap<QString, QByteArray> before = snapshot();
    workspace.startCodex(808);
    for (const WorkflowResult& result :
         {engine.switchToApi(QStringLiteral("sk-key")), engine.switchToAccount(), engine.checkKey(QStringLiteral("sk-key")),
          engine.repair(ModeApi, QStringLiteral("sk-key")), engine.repair(ModeAccount, QString())}) {
        expectResult(result, Outcome::CodexRunning, QStringLiteral("已检测到 Dock 里的 Codex 正在运行，退出后会自动恢复按钮。"));
        EXPECT_FALSE(result.openCodex);
    }
    EXPECT_TRUE(relay.requests().empty());
    EXPECT_EQ(snapshot(), before);
}
