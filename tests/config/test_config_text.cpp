#include "config/config_text.h"

#include <gtest/gtest.h>

namespace {

std::optional<QString> providerIn(const char* config)
{
    return topLevelConfigValue(QStringLiteral("model_provider"), QString::fromUtf8(config));
}

QString freshFrom(const char* config) { return rewriteConfigForFreshAccount(QString::fromUtf8(config)); }

} // namespace

TEST(ApiTemplate, IsExactlyTheTenLinesWithOneBlankLine)
{
    EXPECT_EQ(cleanApiConfig(), QStringLiteral("model = \"gpt-5.5\"\n"
                                               "model_provider = \"tevrun\"\n"
                                               "model_reasoning_effort = \"xhigh\"\n"
                                               "disable_response_storage = true\n"
                                               "preferred_auth_method = \"apikey\"\n"
                                               "\n"
                                               "[model_providers.tevrun]\n"
                                               "name = \"tevrun\"\n"
                                               "base_url = \"https://api.tevrun.cloud/v1\"\n"
                                               "wire_api = \"responses\"\n"));
}

TEST(TopLevelValue, ReadsBareQuotedIndentedAndCommentedValues)
{
    EXPECT_EQ(providerIn("model_provider = \"openai\"\n"), QStringLiteral("openai"));
    EXPECT_EQ(providerIn("model_provider=\"openai\""), QStringLiteral("openai"));
    EXPECT_EQ(providerIn("   model_provider = \"openai\"\r\n"), QStringLiteral("openai"));
    EXPECT_EQ(providerIn("model_provider = \"openai\" # note\n"), QStringLiteral("openai"));
    EXPECT_EQ(providerIn("model_provider = 'open\\ai' # literal\n"), QStringLiteral("open\\ai"));
    EXPECT_EQ(providerIn("model_provider = \"a\\\"b\\u00e9\\\\\"\n"), QStringLiteral("a\"bé\\"));
    EXPECT_EQ(providerIn("model_provider = openai # unquoted\n"), QStringLiteral("openai"));
    EXPECT_EQ(providerIn("model_provider = \"\"\n"), QString(""));
    EXPECT_EQ(providerIn("model_provider = \"\n"), QStringLiteral("\""));
}

TEST(TopLevelValue, OnlyTheTopLevelCountsAndTheFirstLineWins)
{
    EXPECT_FALSE(providerIn("[profiles.work]\nmodel_provider = \"openai\"\n"));
    EXPECT_FALSE(providerIn("# model_provider = \"openai\"\n"));
    EXPECT_FALSE(providerIn("\"model_provider\" = \"openai\"\n"));
    EXPECT_FALSE(providerIn("model_providers.x = \"openai\"\n"));
    EXPECT_EQ(providerIn("model_provider = \"first\"\nmodel_provider = \"second\"\n"), QStringLiteral("first"));
    EXPECT_EQ(providerIn("# comment\n\nmodel = \"o3\"\nmodel_provider = \"azure\"\n[x]\n"), QStringLiteral("azure"));
    EXPECT_FALSE(providerIn(""));
}

TEST(FreshAccountRewrite, OfTheApiTemplateKeepsOnlyTheModelSettings)
{
    EXPECT_EQ(rewriteConfigForFreshAccount(cleanApiConfig()),
              QStringLiteral("preferred_auth_method = \"device_code\"\n"
                             "model = \"gpt-5.5\"\n"
                             "model_reasoning_effort = \"xhigh\"\n"));
}

TEST(FreshAccountRewrite, OfEmptyTextIsTheLoginLine)
{
    EXPECT_EQ(freshFrom(""), QStringLiteral("preferred_auth_method = \"device_code\"\n"));
    EXPECT_EQ(freshFrom("\n"), QStringLiteral("preferred_auth_method = \"device_code\"\n\n"));
}

TEST(FreshAccountRewrite, RemovesTevrunSettingsAndKeepsEverythingElse)
{
    const char* config = "# my settings\n"
                         "model = \"o3\"\n"
                         "model_provider = \"openai\"\n"
                         "disable_response_storage=true\n"
                         "preferred_auth_method = \"chatgpt\"\n"
                         "\n"
                         "[model_providers.tevrun]\n"
                         "name = \"tevrun\"\n"
                         "base_url = \"https://x/v1\"\n"
                         "[profiles.work]\n"
                         "model_provider = \"openai\"\n"
                         "  indented = 1\n"
                         "[ model_providers.tevrun ]\n"
                         "kept = true\n"
                         "[model_providers.tevrun]\n"
                         "again = 1\n"
                         "[[mcp_servers]]\n"
                         "name = \"fs\"\n";
    EXPECT_EQ(freshFrom(config), QStringLiteral("preferred_auth_method = \"device_code\"\n"
                                                "# my settings\n"
                                                "model = \"o3\"\n"
                                                "\n"
                                                "[profiles.work]\n"
                                                "model_provider = \"openai\"\n"
                                                "  indented = 1\n"
                                                "[ model_providers.tevrun ]\n"
                                                "kept = true\n"
                                                "[[mcp_servers]]\n"
                                                "name = \"fs\"\n"));
}

TEST(FreshAccountRewrite, NamesTheLoginMethodOnceWhateverTheOldValue)
{
    EXPECT_EQ(freshFrom("preferred_auth_method = \"apikey\"\nmodel = \"o3\"\n"),
              QStringLiteral("preferred_auth_method = \"device_code\"\nmodel = \"o3\"\n"));
    EXPECT_EQ(freshFrom("preferred_auth_method = \"device_code\"\n"),
              QStringLiteral("preferred_auth_method = \"device_code\"\n"));
    const QString result = freshFrom("preferred_auth_method = 'chatgpt'\n[a]\npreferred_auth_method = \"x\"\n");
    EXPECT_EQ(result, QStringLiteral("preferred_auth_method = \"device_code\"\n[a]\npreferred_auth_method = \"x\"\n"));
}

TEST(FreshAccountRewrite, UnderstandsCrlfFilesAndKeepsTheirLineEnds)
{
    const char* config = "model = \"o3\"\r\n"
                         "model_provider = \"tevrun\"\r\n"
                         "preferred_auth_method = \"apikey\"\r\n"
                         "\r\n"
                         "[model_providers.tevrun]\r\n"
                         "name = \"tevrun\"\r\n"
                         "[profiles.work]\r\n"
                         "model_provider = \"openai\"\r\n";
    EXPECT_EQ(freshFrom(config), QStringLiteral("preferred_auth_method = \"device_code\"\r\n"
                                                "model = \"o3\"\r\n"
                                                "\r\n"
                                                "[profiles.work]\r\n"
                                                "model_provider = \"openai\"\r\n"));
}
