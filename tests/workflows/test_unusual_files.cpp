#include "config/config_text.h"
#include "workflows/workflow_fixture.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>

using Outcome = WorkflowResult::Outcome;

// Dotfiles repositories and secret folders: auth.json and config.toml as links to files
// outside the Codex home.
TEST_F(WorkflowTest, LinkedLoginAndConfigurationAreWrittenThroughAndComeBackWhole)
{
    makeAccountHome();
    TempHome dotfiles;
    dotfiles.write("codex-auth.json", accountAuth);
    dotfiles.write("codex-config.toml", userConfig);
    for (const char* name : {"auth.json", "config.toml"})
        QFile::remove(temp.path(name));
    ASSERT_TRUE(QFile::link(dotfiles.path("codex-auth.json"), temp.path("auth.json")));
    ASSERT_TRUE(QFile::link(dotfiles.path("codex-config.toml"), temp.path("config.toml")));

    ASSERT_EQ(engine.switchToApi(QStringLiteral("sk-linked")).outcome, Outcome::Done);
    EXPECT_EQ(parseJson(dotfiles.read("codex-auth.json")).value_or(Json()), Json({{"OPENAI_API_KEY", "sk-linked"}}));
    EXPECT_EQ(dotfiles.read("codex-config.toml"), cleanApiConfig().toUtf8());
    // The backup and the recorded login hold the bytes, not the links.
    for (const QString& copy : {onlyBackupOfKind("switch-api") + "/auth.json", temp.home().profileURL("account") + "/auth.json"}) {
        EXPECT_FALSE(QFileInfo(copy).isSymLink()) << copy.toStdString();
        EXPECT_EQ(readFileAt(copy), accountAuth);
    }

    ASSERT_EQ(engine.switchToAccount().outcome, Outcome::Done);
    EXPECT_EQ(dotfiles.read("codex-auth.json"), accountAuth);
    EXPECT_EQ(dotfiles.read("codex-config.toml"), userConfig);
    EXPECT_TRUE(QFileInfo(temp.path("auth.json")).isSymLink());
    EXPECT_TRUE(QFileInfo(temp.path("config.toml")).isSymLink());
    EXPECT_EQ(entriesOf(dotfiles.codexHome()), (QStringList{"codex-auth.json", "codex-config.toml"}));
}

TEST_F(WorkflowTest, ACodexStartedWhileTheRelayIsAskedStopsTheWorkBeforeAnyWrite)
{
    makeAccountHome();
    const QMap<QString, QByteArray> before = snapshot();
    workspace.onListing = [this](int listing) {
        if (listing == 2)
            workspace.startCodex(4242);
    };
    expectResult(engine.switchToApi(QStringLiteral("sk-key")), Outcome::CodexRunning,
                 QStringLiteral("已检测到 Dock 里的 Codex 正在运行，退出后会自动恢复按钮。"));
    EXPECT_EQ(relay.requests().size(), 1u);
    EXPECT_EQ(snapshot(), before);

    workspace.stopAll();
    workspace.listings = 0;
    expectResult(engine.repair(ModeApi, QStringLiteral("sk-key")), Outcome::CodexRunning,
                 QStringLiteral("已检测到 Dock 里的 Codex 正在运行，退出后会自动恢复按钮。"));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(WorkflowTest, AThreadIndexLockedForAMomentIsWaitedFor)
{
    makeAccountHome();
    sqlite3* codex = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(builder.databasePath()).constData(), &codex), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(codex, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    QThread* release = QThread::create([codex] {
        QThread::msleep(800);
        sqlite3_exec(codex, "COMMIT", nullptr, nullptr, nullptr);
    });
    release->start();
    expectResult(engine.switchToApi(QStringLiteral("sk-key")), Outcome::Done,
                 QStringLiteral("已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。 已同步 3 条对话记录。正在打开 Codex。"));
    release->wait();
    delete release;
    sqlite3_close(codex);
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("tevrun"));
}
