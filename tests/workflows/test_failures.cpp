#include "workflows/workflow_fixture.h"

// Every failure shows its message in red with one beep, leaves the window usable, and
// keeps what the user had.
class FailureTest : public WorkflowTest {
protected:
    void expectFailure(const QString& message)
    {
        EXPECT_EQ(status(), message);
        EXPECT_EQ(statusColour(), red);
        EXPECT_EQ(workspace.beeps, 1);
        EXPECT_FALSE(app->isSwitching());
        EXPECT_TRUE(actionButton()->isEnabled());
        EXPECT_TRUE(workspace.openedApplications.isEmpty());
    }

    void switchToApiWithKey()
    {
        clickSegment(1);
        typeKey(QStringLiteral("sk-key"));
        pressAction();
    }
};

TEST_F(FailureTest, ARefusedKeyChangesNothing)
{
    makeAccountHome();
    LocalRelay::Reply refusal;
    refusal.status = 401;
    refusal.body = R"({"error":{"code":"invalid_api_key","message":"无效的令牌"}})";
    relay.enqueue(refusal);
    launch();
    const QMap<QString, QByteArray> before = snapshot();
    switchToApiWithKey();
    expectFailure(QStringLiteral("TEVRUN API 校验失败：invalid_api_key，无效的令牌"));
    EXPECT_EQ(snapshot(), before);
    EXPECT_EQ(pill(), QStringLiteral("GPT 账号 登陆"));
}

TEST_F(FailureTest, ABackupThatCannotBeMadeStopsBeforeAnyChange)
{
    makeAccountHome();
    temp.write("morvane/backups", "a file where the backups belong");
    launch();
    switchToApiWithKey();
    expectFailure(QStringLiteral("无法创建目录“backups”：那里已有一个同名文件。"));
    EXPECT_EQ(temp.read("auth.json"), accountAuth);
    EXPECT_EQ(temp.read("config.toml"), userConfig);
}

TEST_F(FailureTest, AnAccountProfileThatCannotBeSavedStopsBeforeTheLoginIsReplaced)
{
    makeAccountHome();
    writeFileAt(temp.home().profileURL("account") + "/config.toml/stray", "a directory where the copy goes");
    launch();
    switchToApiWithKey();
    expectFailure(QStringLiteral("无法替换“config.toml”：目标是一个目录。"));
    EXPECT_EQ(temp.read("auth.json"), accountAuth);
    EXPECT_EQ(backupsOfKind("switch-api").size(), 1);
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("openai"));
}

TEST_F(FailureTest, AConfigurationThatCannotBeWrittenIsReported)
{
    makeAccountHome();
    QFile::remove(temp.path("config.toml"));
    temp.write("config.toml/keep", "a directory where the configuration goes");
    launch();
    switchToApiWithKey();
    EXPECT_TRUE(status().startsWith(QStringLiteral("无法写入“config.toml”："))) << status().toStdString();
    expectFailure(status());
    EXPECT_EQ(temp.read("config.toml/keep"), "a directory where the configuration goes");
    EXPECT_EQ(readFileAt(onlyBackupOfKind("switch-api") + "/auth.json"), accountAuth);
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("openai"));
}

TEST_F(FailureTest, AMigrationThatFailsOnARolloutLeavesTheNewConfiguration)
{
    makeAccountHome();
    const QString broken = rolloutOf("t-c");
    writeFileAt(broken, sessionMetaLine("t-c", "openai") + "\n{\"text\":\"\xff\xfe\"}\n");
    launch();
    switchToApiWithKey();
    expectFailure(QStringLiteral("无法读取“%1”：内容不是有效的 UTF-8 文本。").arg(QFileInfo(broken).fileName()));
    EXPECT_EQ(authJson(), Json({{"OPENAI_API_KEY", "sk-key"}}));
    EXPECT_EQ(providerOf("t-c"), QStringLiteral("tevrun"));
    EXPECT_EQ(firstLineOf("t-a"), sessionMetaLine("t-a", "tevrun"));
    EXPECT_EQ(firstLineOf("t-c"), sessionMetaLine("t-c", "openai"));
    EXPECT_EQ(pill(), QStringLiteral("GPT 账号 登陆"));
    EXPECT_EQ(backupsOfKind("switch-api-provider").size(), 1);
}

TEST_F(FailureTest, SwitchingBackFailsWhenTheMigrationFails)
{
    makeApiHome(QStringLiteral("sk-current"));
    writeFileAt(temp.home().profileURL("account") + "/auth.json", accountAuth);
    writeFileAt(rolloutOf("t-a"), sessionMetaLine("t-a", "tevrun") + "\n\xc3\x28\n");
    launch();
    clickSegment(0);
    pressAction();
    EXPECT_TRUE(status().endsWith(QStringLiteral("内容不是有效的 UTF-8 文本。")));
    expectFailure(status());
    EXPECT_EQ(temp.read("auth.json"), accountAuth); // the login stays restored
}

TEST_F(FailureTest, RecordingAnAccountThatCannotBeCopied)
{
    makeAccountHome();
    writeFileAt(temp.home().profileURL("account") + "/config.toml/stray", "");
    launch();
    pressAction();
    expectFailure(QStringLiteral("无法替换“config.toml”：目标是一个目录。"));
    EXPECT_FALSE(QFileInfo::exists(temp.home().backupsURL()));
}

TEST_F(FailureTest, AFreshLoginWithAnUnreadableConfigurationKeepsIt)
{
    const QByteArray config = "model = \"o3\"\n# caf\xe9\n";
    temp.write("config.toml", config);
    temp.write("auth_tevrun_last.json", R"({"OPENAI_API_KEY": "sk-x"})");
    launch();
    clickSegment(0);
    pressAction();
    expectFailure(QStringLiteral("无法读取“config.toml”：内容不是有效的 UTF-8 文本。"));
    EXPECT_EQ(temp.read("config.toml"), config);
    EXPECT_EQ(backupsOfKind("fresh-account").size(), 1);
}
