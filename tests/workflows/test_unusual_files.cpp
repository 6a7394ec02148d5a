#include "config/config_text.h"
#include "workflows/workflow_fixture.h"

#include <QFile>
#include <QFileInfo>

using Outcome = WorkflowResult::Outcome;

// Dotfiles repositories and secret folders: auth.json and config.toml as links to files
// outside the Codex home.
TEST_F(WorkflowTest, LinkedLoginAndConfigurationAreWrittenThrough)
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

    for (const char* name : {"auth.json", "config.toml"})
        EXPECT_TRUE(QFileInfo(temp.path(name)).isSymLink()) << name;
    EXPECT_EQ(entriesOf(dotfiles.codexHome()), (QStringList{"codex-auth.json", "codex-config.toml"}));
}
