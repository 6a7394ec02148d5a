#include "config/config_text.h"
#include "workflows/workflow_fixture.h"

using Outcome = WorkflowResult::Outcome;

// A login in the system's secret store stays there through both switches, the profile records
// where, not a copy; the relay's key is read from auth.json, which the way back removes.
TEST(CodexLogin, ALoginInTheSecretStoreStaysThereThroughBothSwitches)
{
    for (const QByteArray store : {"keyring", "auto"}) {
        SCOPED_TRACE(store.toStdString());
        Home t;
        t.makeAccountHome();
        QFile::remove(t.temp.path("auth.json"));
        const QByteArray config = "cli_auth_credentials_store = \"" + store + "\"\n" + WorkflowTest::userConfig;
        t.temp.write("config.toml", config);
        storeKeyringLogin(t.temp.codexHome(), WorkflowTest::accountAuth);
        EXPECT_EQ(t.engine.status().mode, ModeAccount);
        const WorkflowResult switched = t.engine.switchToApi("sk-kept.Key");
        ASSERT_TRUE(switched.outcome == Outcome::Done && switched.accountRecorded) << outcomeText(switched).toStdString();
        EXPECT_EQ(t.authJson(), Json({{"OPENAI_API_KEY", "sk-kept.Key"}}));
        EXPECT_EQ(topLevelConfigValue("cli_auth_credentials_store", t.temp.read("config.toml")), "file");
        EXPECT_FALSE(QFile::exists(t.temp.home().profilePath("account") + "/auth.json"));
        ASSERT_EQ(t.engine.switchToAccount().outcome, Outcome::Done);
        EXPECT_EQ(t.temp.read("config.toml"), config);
        EXPECT_FALSE(t.temp.exists("auth.json"));
        EXPECT_EQ(keyringLogin(t.temp.codexHome()), WorkflowTest::accountAuth);
    }
}

// Profile files of the provider a switch leaves follow it, and come back byte for byte (the way
// back, the restore point); another provider's stays; one not safely editable stops the switch.
TEST_F(WorkflowTest, ProfileFilesFollowTheSwitchBothWays)
{
    makeAccountHome();
    const QByteArray work = "# at work\nmodel_provider = \"openai\" # mine\nmodel = \"gpt-5.5\"\n";
    const QByteArray local = "model_provider = \"ollama\"\n";
    temp.write("work.config.toml", work);
    temp.write("local.config.toml", local);
    temp.write("odd.config.toml", "model_provider = \"openai\"\n[broken\n");
    const QMap<QString, QByteArray> before = snapshot();
    const WorkflowResult refused = engine.switchToApi("sk-profiles");
    EXPECT_EQ(refused.outcome, Outcome::Failed);
    for (const char* named : {"odd.config.toml", "2"})
        EXPECT_TRUE(outcomeText(refused).contains(named)) << outcomeText(refused).toStdString();
    EXPECT_EQ(snapshot(), before);

    QFile::remove(temp.path("odd.config.toml"));
    ASSERT_EQ(engine.switchToApi("sk-profiles").outcome, Outcome::Done);
    EXPECT_EQ(temp.read("work.config.toml"), "# at work\nmodel_provider = \"tevrun\"\nmodel = \"gpt-5.5\"\n");
    EXPECT_EQ(temp.read("local.config.toml"), local);
    const QString point = engine.listBackups()[0].id;
    ASSERT_EQ(engine.switchToAccount().outcome, Outcome::Done);
    EXPECT_EQ(temp.read("work.config.toml"), work);
    temp.write("work.config.toml", "model_provider = \"tevrun\"\n");
    ASSERT_EQ(engine.restoreBackup(point).outcome, Outcome::Done);
    EXPECT_EQ(temp.read("work.config.toml"), work);
}
