#include "config/config_text.h"
#include "config/config_writers.h"
#include "core/json.h"
#include "core/mode_detection.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace {

const QByteArray accountAuth =
    R"({"OPENAI_API_KEY": null, "tokens": {"id_token": "eyJ.id", "access_token": "eyJ.access", "refresh_token": "rt", "account_id": "acc-1"}, "last_refresh": "2026-11-30T08:12:44.123Z"})";

Json jsonAt(const QString& path) { return parseJson(readFileAt(path)).value_or(Json()); }

} // namespace

TEST(ApiWriter, ReplacesAuthWithTheKeyAloneAndWritesTheTemplate)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), accountAuth);
    temp.write(QStringLiteral("config.toml"), "model = \"o3\"\n[mcp_servers.fs]\ncommand = \"x\"\n");

    ASSERT_TRUE(writeApiConfigWithKey(temp.home(), QStringLiteral("sk-new.key")));

    const QString auth = temp.path(QStringLiteral("auth.json"));
    EXPECT_EQ(jsonAt(auth), Json({{"OPENAI_API_KEY", "sk-new.key"}}));
    EXPECT_EQ(modeOf(auth), 0600u);
    EXPECT_EQ(temp.read(QStringLiteral("auth_tevrun_last.json")), readFileAt(auth));
    EXPECT_EQ(modeOf(temp.path(QStringLiteral("auth_tevrun_last.json"))), 0600u);
    EXPECT_EQ(QString::fromUtf8(temp.read(QStringLiteral("config.toml"))), cleanApiConfig());
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeApi);
}

TEST(ApiWriter, CreatesAMissingCodexHome)
{
    TempHome temp;
    ASSERT_TRUE(writeCleanApiConfigWithKey(temp.home(), QStringLiteral("sk-abc")));
    EXPECT_TRUE(temp.exists(QStringLiteral("auth.json")));
    EXPECT_TRUE(temp.exists(QStringLiteral("auth_tevrun_last.json")));
    EXPECT_TRUE(temp.exists(QStringLiteral("config.toml")));
}

TEST(ApiWriter, FailsWhenTheCodexHomeIsAFileAndWritesNothing)
{
    TempHome temp;
    writeFileAt(temp.codexHome(), "I am a file");
    Error error;
    EXPECT_FALSE(writeCleanApiConfigWithKey(temp.home(), QStringLiteral("sk-abc"), &error));
    EXPECT_EQ(error.message, QStringLiteral("无法创建目录“.codex”：那里已有一个同名文件。"));
    EXPECT_EQ(readFileAt(temp.codexHome()), "I am a file");
}

TEST(ApiWriter, AConfigurationThatCannotBeWrittenIsReportedAfterTheLogin)
{
    TempHome temp;
    temp.write(QStringLiteral("config.toml/blocker"), "");
    Error error;
    EXPECT_FALSE(writeCleanApiConfigWithKey(temp.home(), QStringLiteral("sk-abc"), &error));
    EXPECT_TRUE(error.message.startsWith(QStringLiteral("无法写入“config.toml”："))) << error.message.toStdString();
    EXPECT_EQ(jsonAt(temp.path(QStringLiteral("auth.json"))), Json({{"OPENAI_API_KEY", "sk-abc"}}));
}

TEST(KeyRemoval, KeepsOtherMembersSortedAndOwnerOnly)
{
    TempHome temp;
    const QString auth = temp.path(QStringLiteral("auth.json"));
    temp.write(QStringLiteral("auth.json"), R"({"zeta": 1, "OPENAI_API_KEY": "sk-x", "alpha": {"n": 12345678901234567890}})");
    QFile::setPermissions(auth, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);

    removeApiKeyFromAuthFile(auth);

    const QByteArray written = readFileAt(auth);
    EXPECT_EQ(jsonAt(auth), Json::parse(R"({"zeta": 1, "alpha": {"n": 12345678901234567890}})"));
    EXPECT_LT(written.indexOf("alpha"), written.indexOf("zeta"));
    EXPECT_TRUE(written.contains('\n'));
    EXPECT_EQ(modeOf(auth), 0600u);
}

TEST(KeyRemoval, MissingOrMalformedFilesBecomeAnEmptyObject)
{
    TempHome temp;
    temp.makeDirectory(QString());
    const QString auth = temp.path(QStringLiteral("auth.json"));
    for (const QByteArray& before : {QByteArray(), QByteArray("[1,2]"), QByteArray("{broken")}) {
        if (before.isNull())
            QFile::remove(auth);
        else
            temp.write(QStringLiteral("auth.json"), before);
        removeApiKeyFromAuthFile(auth);
        EXPECT_EQ(jsonAt(auth), Json::object()) << before.toStdString();
    }
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeAccount);
}

TEST(FreshAccountWriter, RemovesTheKeyAndRewritesTheConfiguration)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), R"({"OPENAI_API_KEY": "sk-old", "tokens": {"a": 1}})");
    temp.write(QStringLiteral("auth_tevrun_last.json"), R"({"OPENAI_API_KEY": "sk-old"})");
    temp.write(QStringLiteral("config.toml"), cleanApiConfig().toUtf8());

    ASSERT_TRUE(writeFreshAccountConfig(temp.home()));
    EXPECT_EQ(jsonAt(temp.path(QStringLiteral("auth.json"))), Json({{"tokens", {{"a", 1}}}}));
    EXPECT_EQ(temp.read(QStringLiteral("config.toml")),
              "preferred_auth_method = \"device_code\"\nmodel = \"gpt-5.5\"\nmodel_reasoning_effort = \"xhigh\"\n");
    EXPECT_EQ(temp.read(QStringLiteral("auth_tevrun_last.json")), R"({"OPENAI_API_KEY": "sk-old"})");
}

TEST(FreshAccountWriter, WithoutConfigurationWritesTheLoginLine)
{
    TempHome temp;
    ASSERT_TRUE(writeFreshAccountConfig(temp.home()));
    EXPECT_EQ(temp.read(QStringLiteral("config.toml")), "preferred_auth_method = \"device_code\"\n");
    EXPECT_EQ(jsonAt(temp.path(QStringLiteral("auth.json"))), Json::object());
}

TEST(FreshAccountWriter, AConfigurationThatIsNotUtf8IsReportedAndNothingChanges)
{
    TempHome temp;
    const QByteArray config = "model = \"o3\"\n# caf\xe9\n";
    temp.write(QStringLiteral("config.toml"), config);
    temp.write(QStringLiteral("auth.json"), R"({"OPENAI_API_KEY": "sk-old"})");
    Error error;
    EXPECT_FALSE(writeFreshAccountConfig(temp.home(), &error));
    EXPECT_EQ(error.message, QStringLiteral("无法读取“config.toml”：内容不是有效的 UTF-8 文本。"));
    EXPECT_EQ(temp.read(QStringLiteral("config.toml")), config);
    EXPECT_EQ(temp.read(QStringLiteral("auth.json")), R"({"OPENAI_API_KEY": "sk-old"})");
}

TEST(CleanLoginWriter, WritesOneLineAndLeavesTheLastKeyAlone)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), R"({"OPENAI_API_KEY": "sk-old"})");
    temp.write(QStringLiteral("auth_tevrun_last.json"), R"({"OPENAI_API_KEY": "sk-old"})");
    temp.write(QStringLiteral("config.toml"), "garbage \xff\n[[[");

    ASSERT_TRUE(writeCleanLoginConfig(temp.home()));
    EXPECT_EQ(temp.read(QStringLiteral("config.toml")), "preferred_auth_method = \"device_code\"\n");
    EXPECT_EQ(jsonAt(temp.path(QStringLiteral("auth.json"))), Json::object());
    EXPECT_EQ(temp.read(QStringLiteral("auth_tevrun_last.json")), R"({"OPENAI_API_KEY": "sk-old"})");
}
