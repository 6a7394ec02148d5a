#include "config/config_text.h"
#include "workflows/workflow_fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>
#include <sys/stat.h>

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

TEST_F(WorkflowTest, ALinkThatLeadsNowhereIsReportedAndNothingIsWritten)
{
    makeAccountHome();
    QFile::remove(temp.path("auth.json"));
    ASSERT_TRUE(QFile::link(temp.path("gone/auth.json"), temp.path("auth.json")));
    expectResult(engine.switchToApi(QStringLiteral("sk-key")), Outcome::Failed,
                 QStringLiteral("无法复制“auth.json”：它是一个指向不存在的文件的符号链接。"));
    EXPECT_EQ(temp.read("config.toml"), userConfig);
    EXPECT_EQ(QFileInfo(temp.path("auth.json")).symLinkTarget(), temp.path("gone/auth.json"));
    EXPECT_EQ(providerOf("t-a"), QStringLiteral("openai"));
}

// A named pipe where a file is read: a clear error, never a hang.
TEST_F(WorkflowTest, ANamedPipeWhereAFileIsReadIsReportedAtOnce)
{
    makeAccountHome();
    recordAccountProfile();
    const auto pipeAt = [](const QString& path) {
        QFile::remove(path);
        ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    };
    const QString rollout = rolloutOf("t-b");
    const struct {
        QString path;
        std::function<WorkflowResult()> call;
        QString message;
    } cases[] = {
        {temp.home().profileURL("account") + "/auth.json", [&] { return engine.switchToAccount(); },
         QStringLiteral("无法复制“auth.json”：不是普通文件。 已恢复到切换前的状态。")},
        {rollout, [&] { return engine.repair(ModeApi, QStringLiteral("sk-key")); },
         QStringLiteral("无法读取“%1”：不是普通文件。 已恢复到切换前的状态。").arg(QFileInfo(rollout).fileName())},
        {temp.path("config.toml"), [&] { return engine.switchToApi(QStringLiteral("sk-key")); },
         QStringLiteral("无法复制“config.toml”：不是普通文件。")},
        {temp.path("auth.json"), [&] { return engine.switchToApi(QStringLiteral("sk-key")); },
         QStringLiteral("无法复制“auth.json”：不是普通文件。")},
    };
    for (const auto& c : cases) {
        pipeAt(c.path);
        expectResult(c.call(), Outcome::Failed, c.message);
        EXPECT_TRUE(QFileInfo(c.path).exists());
    }
    // No temporary file was left beside the pipe.
    EXPECT_EQ(QDir(QFileInfo(rollout).path()).entryList(QDir::Files | QDir::Hidden | QDir::System).filter(".morvane-"),
              QStringList());
}

TEST_F(WorkflowTest, AByteOrderMarkIsNoPartOfTheFirstSetting)
{
    temp.write("config.toml", "\xef\xbb\xbfmodel_provider = \"tevrun\"\nmodel = \"o3\"\n");
    temp.write("auth_tevrun_last.json", R"({"OPENAI_API_KEY": "sk-old"})");
    ASSERT_EQ(engine.switchToAccount().outcome, Outcome::Done);
    EXPECT_EQ(temp.read("config.toml"), "\xef\xbb\xbfpreferred_auth_method = \"device_code\"\nmodel = \"o3\"\n");
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
