#include "config/config_text.h"
#include "workflows/workflow_fixture.h"

#include <QProcess>

using Outcome = WorkflowResult::Outcome;

// A login in the secret store stays there through both switches, the profile recording where;
// "auto" with no entry means auth.json. The key is read from auth.json, which goes on the way back.
TEST(CodexLogin, ALoginInTheSecretStoreStaysThereThroughBothSwitches)
{
    for (const auto& [store, inKeyring] : {std::pair{"keyring", true}, {"auto", false}}) {
        SCOPED_TRACE(store);
        Home t;
        t.makeAccountHome();
        const QByteArray config = "cli_auth_credentials_store = \"" + QByteArray(store) + "\"\n" + WorkflowTest::userConfig;
        t.temp.write("config.toml", config);
        if (inKeyring) {
            QFile::remove(t.temp.path("auth.json"));
            storeKeyringLogin(t.temp.codexHome(), WorkflowTest::accountAuth);
        }
        EXPECT_EQ(std::pair(t.engine.status().mode, t.engine.status().loginStore.value_or("")), std::pair(ModeAccount, QString(inKeyring ? "keyring" : "file")));
        const WorkflowResult switched = t.engine.switchToApi("sk-kept.Key");
        ASSERT_TRUE(switched.outcome == Outcome::Done && switched.accountRecorded) << outcomeText(switched).toStdString();
        EXPECT_EQ(t.authJson(), Json({{"OPENAI_API_KEY", "sk-kept.Key"}}));
        EXPECT_EQ(topLevelConfigValue("cli_auth_credentials_store", t.temp.read("config.toml")), "file");
        EXPECT_EQ(QFile::exists(t.temp.home().profilePath("account") + "/auth.json"), !inKeyring);
        ASSERT_EQ(t.engine.switchToAccount().outcome, Outcome::Done);
        EXPECT_EQ(t.temp.read("config.toml"), config);
        EXPECT_EQ(t.temp.exists("auth.json"), !inKeyring);
        EXPECT_EQ(inKeyring ? keyringLogin(t.temp.codexHome()) : std::optional(t.temp.read("auth.json")), WorkflowTest::accountAuth);
    }
}

// A locked keyring stops the switch before anything changes; alone on a keyring of its own.
TEST_F(WorkflowTest, DISABLED_ALockedKeyringStopsTheSwitch)
{
    makeAccountHome();
    temp.write("config.toml", "cli_auth_credentials_store = \"keyring\"\n" + userConfig);
    storeKeyringLogin(temp.codexHome(), accountAuth);
    ASSERT_EQ(QProcess::execute("dbus-send", {"--session", "--print-reply", "--dest=org.freedesktop.secrets", "/org/freedesktop/secrets",
                                              "org.freedesktop.Secret.Service.Lock", "array:objpath:/org/freedesktop/secrets/collection/login"}), 0);
    const QMap<QString, QByteArray> before = snapshot();
    const WorkflowResult refused = engine.switchToApi("sk-locked");
    EXPECT_TRUE(refused.outcome == Outcome::Refused && outcomeText(refused).contains("Secret Service")) << outcomeText(refused).toStdString();
    EXPECT_EQ(snapshot(), before);
}

// Profile files of the provider a switch leaves follow it and come back with what the user set
// (or whole, from the restore point); another provider's stays; an unsafe one stops the switch.
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
    temp.write("work.config.toml", temp.read("work.config.toml") + "approval_policy = \"never\"\n"); // set on the relay
    ASSERT_EQ(engine.switchToAccount().outcome, Outcome::Done);
    EXPECT_EQ(temp.read("work.config.toml"), work + "approval_policy = \"never\"\n");
    temp.write("work.config.toml", "model_provider = \"tevrun\"\n");
    ASSERT_EQ(engine.restoreBackup(point).outcome, Outcome::Done);
    EXPECT_EQ(temp.read("work.config.toml"), work);
}
