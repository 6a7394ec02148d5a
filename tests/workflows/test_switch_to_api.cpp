#include "config/config_text.h"
#include "history/key_history.h"
#include "workflows/workflow_fixture.h"

#include <QMessageBox>
#include <QTimer>


TEST_F(WorkflowTest, SwitchingFromTheAccountLoginRecordsItAndMovesTheConversations)
{
    makeAccountHome();
    launch();
    ASSERT_EQ(app->selectedMode(), ModeAccount);
    clickSegment(1);
    typeKey(QStringLiteral("  sk-live.Key_1  "));
    pressAction();

    EXPECT_EQ(status(), QStringLiteral("已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。 已同步 3 条对话记录。正在打开 Codex。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(pill(), QStringLiteral("TEVRUN API"));
    EXPECT_EQ(pillColour(), green);
    EXPECT_EQ(workspace.beeps, 0);
    EXPECT_EQ(workspace.openedApplications, QStringList{QStringLiteral("/Applications/Codex.app")});

    // The key went to the relay, the login and the history trimmed.
    ASSERT_EQ(relay.requests().size(), 1u);
    EXPECT_EQ(relay.requests()[0].headers.value("authorization"), "Bearer sk-live.Key_1");
    EXPECT_EQ(authJson(), Json({{"OPENAI_API_KEY", "sk-live.Key_1"}}));
    EXPECT_EQ(modeOf(temp.path("auth.json")), 0600u);
    EXPECT_EQ(temp.read("auth_tevrun_last.json"), temp.read("auth.json"));
    EXPECT_EQ(temp.read("config.toml"), cleanApiConfig().toUtf8());
    EXPECT_EQ(latestHistoricalApiKey(temp.home()), QStringLiteral("sk-live.Key_1"));
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-live.Key_1"));
    EXPECT_EQ(plainField()->text(), QStringLiteral("sk-live.Key_1"));

    // The backup holds the account login as it was.
    const QString backup = onlyBackupOfKind("switch-api");
    EXPECT_EQ(entriesOf(backup), (QStringList{".codex-global-state.json", "auth.json", "backup-info.json", "config.toml",
                                              "models_cache.json"}));
    EXPECT_EQ(readFileAt(backup + "/auth.json"), accountAuth);
    EXPECT_EQ(readFileAt(backup + "/config.toml"), userConfig);

    const QString migration = onlyBackupOfKind("switch-api-provider");
    EXPECT_EQ(entriesOf(migration), (QStringList{"config.toml", "provider-migration-info.json", "rollout_files",
                                                 "session_index.jsonl", "state_5.sqlite"}));
    EXPECT_EQ(entriesOf(migration + "/rollout_files").size(), 3);
    EXPECT_EQ(parseJson(readFileAt(migration + "/provider-migration-info.json")).value_or(Json())["thread_count"], 3);

    // Profiles: the account login to come back to, and the new API state.
    const QString account = temp.home().profileURL("account");
    EXPECT_EQ(readFileAt(account + "/auth.json"), accountAuth);
    EXPECT_EQ(readFileAt(account + "/config.toml"), userConfig);
    const QString api = temp.home().profileURL("api");
    EXPECT_EQ(entriesOf(api), (QStringList{"auth.json", "auth_tevrun_last.json", "config.toml", "profile.json"}));

    for (const char* id : {"t-a", "t-b", "t-c", "t-moved"}) {
        EXPECT_EQ(providerOf(id), QStringLiteral("tevrun")) << id;
        EXPECT_EQ(firstLineOf(id), sessionMetaLine(id, "tevrun")) << id;
    }
    EXPECT_EQ(providerOf("t-archived"), QStringLiteral("openai"));
    EXPECT_EQ(firstLineOf("t-archived"), sessionMetaLine("t-archived", "openai"));
}

TEST_F(WorkflowTest, SwitchingAgainOnlyChangesTheKey)
{
    makeAccountHome();
    launch();
    clickSegment(1);
    typeKey(QStringLiteral("sk-first"));
    pressAction();
    const QByteArray recordedLogin = readFileAt(temp.home().profileURL("account") + "/auth.json");
    QTest::qWait(1100); // the next backup gets a name of its own

    typeKey(QStringLiteral("sk-second"));
    pressAction();
    EXPECT_EQ(status(), QStringLiteral("已切到 TEVRUN API。正在打开 Codex。"));
    EXPECT_EQ(authJson(), Json({{"OPENAI_API_KEY", "sk-second"}}));
    EXPECT_EQ(readFileAt(temp.home().profileURL("account") + "/auth.json"), recordedLogin);
    EXPECT_EQ(backupsOfKind("switch-api").size(), 2);
    EXPECT_EQ(backupsOfKind("switch-api-provider").size(), 1);
    EXPECT_EQ(workspace.openedApplications.size(), 2);
    EXPECT_EQ(historyItems(temp.home()).size(), 2u);
}

TEST_F(WorkflowTest, SwitchingAnUnconfiguredHomeWritesTheConfiguration)
{
    launch();
    EXPECT_EQ(pill(), QStringLiteral("未配置"));
    typeKey(QStringLiteral("sk-new"));
    pressAction();
    EXPECT_EQ(status(), QStringLiteral("已切到 TEVRUN API。正在打开 Codex。"));
    EXPECT_EQ(pill(), QStringLiteral("TEVRUN API"));
    EXPECT_FALSE(QFileInfo::exists(temp.home().profileURL("account")));
    EXPECT_EQ(temp.read("config.toml"), cleanApiConfig().toUtf8());
}

TEST_F(WorkflowTest, AMalformedKeyStopsBeforeAnything)
{
    makeAccountHome();
    launch();
    clickSegment(1);
    const QMap<QString, QByteArray> before = snapshot();
    for (const QString& key : {QString(), QStringLiteral("ak-wrong"), QStringLiteral("sk-has space")}) {
        typeKey(key);
        pressAction();
        EXPECT_EQ(status(), QStringLiteral("TEVRUN API 必须以 sk- 开头。"));
        EXPECT_EQ(statusColour(), red);
        EXPECT_FALSE(app->isSwitching());
    }
    EXPECT_EQ(workspace.beeps, 3);
    EXPECT_TRUE(relay.requests().empty());
    EXPECT_EQ(snapshot(), before);
}

TEST_F(WorkflowTest, ReturnInEitherKeyFieldRunsTheActionOnce)
{
    launch();
    secureField()->setFocus();
    QTest::keyClick(secureField(), Qt::Key_Return);
    EXPECT_EQ(workspace.beeps, 1);
    EXPECT_EQ(status(), QStringLiteral("TEVRUN API 必须以 sk- 开头。"));

    app->toggleReveal();
    QTest::keyClicks(plainField(), QStringLiteral("sk-enter"));
    QTest::keyClick(plainField(), Qt::Key_Return);
    EXPECT_EQ(relay.requests().size(), 1u);
    EXPECT_EQ(workspace.openedApplications.size(), 1);
    EXPECT_EQ(backupsOfKind("switch-api").size(), 1);
}

TEST_F(WorkflowTest, InputDuringTheRelayWaitIsNotReplayed)
{
    LocalRelay::Reply slow;
    slow.delayMs = 500;
    relay.enqueue(slow);
    launch();
    typeKey(QStringLiteral("sk-patient"));
    QTimer::singleShot(150, [this] {
        actionButton()->setEnabled(true); // even a button that looked enabled
        QTest::mouseClick(actionButton(), Qt::LeftButton);
        QTest::keyClick(secureField(), Qt::Key_Return);
        QTest::mouseClick(widget<QPushButton>("repairButton"), Qt::LeftButton);
    });
    pressAction();
    QTest::qWait(1200);
    EXPECT_EQ(relay.requests().size(), 1u);
    EXPECT_EQ(backupsOfKind("switch-api").size(), 1);
    EXPECT_TRUE(backupsOfKind("repair-config").isEmpty());
    EXPECT_EQ(workspace.openedApplications.size(), 1);
    EXPECT_EQ(status(), QStringLiteral("已切到 TEVRUN API。正在打开 Codex。"));
}

TEST_F(WorkflowTest, NothingChangesWhileCodexRuns)
{
    makeAccountHome();
    launch();
    clickSegment(1);
    typeKey(QStringLiteral("sk-key"));
    const QMap<QString, QByteArray> before = snapshot();
    workspace.startCodex(808);
    pressAction();
    EXPECT_NE(app->window()->findChild<QMessageBox*>(QStringLiteral("codexRunningAlert")), nullptr);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("退出 Codex"));
    // Pressing again now quits Codex instead of switching.
    pressAction();
    EXPECT_EQ(workspace.terminated, QList<qint32>{808});
    EXPECT_TRUE(relay.requests().empty());
    EXPECT_EQ(snapshot(), before);
    EXPECT_TRUE(workspace.openedApplications.isEmpty());
}
