#include "history/key_history.h"
#include "workflows/workflow_fixture.h"

TEST_F(WorkflowTest, RepairInApiModeShowsTheDiagnosis)
{
    makeAccountHome();
    temp.write("config.toml", "model_provider = \"tevrun\"\nbearer = \"sk-leaked.secret\"\n");
    relay.enqueue(LocalRelay::Reply::answer(200, "{}"));
    relay.enqueue(LocalRelay::Reply::answer(200, R"({"output_text":"缺少 TEVRUN provider 表\n和 base_url"})"));
    launch();
    typeKey(QStringLiteral(" sk-repair "));
    QTest::mouseClick(widget<QPushButton>("repairButton"), Qt::LeftButton);

    EXPECT_EQ(status(), QStringLiteral("AI 诊断：缺少 TEVRUN provider 表 和 base_url 已按标准模板修复。 已同步 3 条对话记录。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(pill(), QStringLiteral("TEVRUN API"));
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
    EXPECT_TRUE(workspace.openedApplications.isEmpty());
}

TEST_F(WorkflowTest, RepairInApiModeWithoutDiagnosis)
{
    relay.enqueue(LocalRelay::Reply::answer(200, "{}"));
    relay.enqueue(LocalRelay::Reply::answer(500, "{}"));
    launch();
    typeKey(QStringLiteral("sk-repair"));
    app->repairConfig();
    EXPECT_EQ(status(), QStringLiteral("TEVRUN API 已校验通过，配置已按标准模板修复。"));
    EXPECT_EQ(pill(), QStringLiteral("TEVRUN API"));
}

TEST_F(WorkflowTest, RepairInApiModeNeedsAKey)
{
    launch();
    app->repairConfig();
    EXPECT_EQ(status(), QStringLiteral("请先输入有效的 TEVRUN API，再修复配置。"));
    EXPECT_EQ(statusColour(), red);
    EXPECT_EQ(workspace.beeps, 1);
    EXPECT_TRUE(relay.requests().empty());
    EXPECT_TRUE(entriesOf(temp.codexHome()).isEmpty());
}

TEST_F(WorkflowTest, RepairInApiModeStopsWhenTheRelayRefuses)
{
    makeAccountHome();
    relay.enqueue(LocalRelay::Reply::answer(401, R"({"error":{"code":"invalid_api_key","message":"无效"}})"));
    launch();
    clickSegment(1);
    typeKey(QStringLiteral("sk-refused"));
    const QMap<QString, QByteArray> before = snapshot();
    app->repairConfig();
    EXPECT_EQ(status(), QStringLiteral("TEVRUN API 校验失败：invalid_api_key，无效"));
    EXPECT_EQ(workspace.beeps, 1);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(WorkflowTest, RepairInAccountModeWritesTheLoginLineAndRemembersTheKey)
{
    makeApiHome(QStringLiteral("sk-in-auth"));
    launch();
    clickSegment(0);
    app->setApiFieldText(QString());
    app->repairConfig();

    EXPECT_EQ(status(), QStringLiteral("GPT 账号 登陆配置已按标准模板修复。 已同步 3 条对话记录。现在可以重新打开 Codex 登陆。"));
    EXPECT_EQ(pill(), QStringLiteral("未配置"));
    EXPECT_EQ(pillColour(), orange);
    EXPECT_EQ(temp.read("config.toml"), "preferred_auth_method = \"device_code\"\n");
    EXPECT_EQ(authJson(), Json::object());
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-in-auth"));
    EXPECT_EQ(latestHistoricalApiKey(temp.home()), QStringLiteral("sk-in-auth"));
    EXPECT_TRUE(relay.requests().empty());
    EXPECT_EQ(providerOf("t-b"), QStringLiteral("openai"));
    EXPECT_TRUE(workspace.openedApplications.isEmpty());
}

TEST_F(WorkflowTest, RepairInAccountModeWithoutAnyKey)
{
    temp.write("auth.json", accountAuth);
    launch();
    ASSERT_EQ(app->selectedMode(), ModeAccount);
    app->repairConfig();
    EXPECT_EQ(status(), QStringLiteral("GPT 账号 登陆配置已按标准模板修复。现在可以重新打开 Codex 登陆。"));
    EXPECT_TRUE(historyFiles().isEmpty());
    EXPECT_TRUE(secureField()->text().isEmpty());
    EXPECT_EQ(pill(), QStringLiteral("未配置"));
}
