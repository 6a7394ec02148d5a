#include "config/config_document.h"
#include "config/config_text.h"
#include "config/config_writers.h"

#include <gtest/gtest.h>

namespace {

const char* const loginLine = "preferred_auth_method = \"device_code\"\n";

} // namespace

TEST(ConfigText, ReadsATopLevelValueWhateverItsSpelling)
{
    const struct {
        const char* config;
        std::optional<QString> provider;
    } cases[] = {
        {"model_provider = \"openai\"\n", QStringLiteral("openai")},
        {"model_provider=\"openai\"", QStringLiteral("openai")},
        {"   model_provider = \"openai\"\r\n", QStringLiteral("openai")},
        {"model_provider = \"openai\" # note\n", QStringLiteral("openai")},
        {"model_provider = 'open\\ai' # literal\n", QStringLiteral("open\\ai")},
        {"model_provider = \"a\\\"b\\u00e9\\\\\"\n", QStringLiteral("a\"bé\\")},
        {"model_provider = openai # unquoted\n", QStringLiteral("openai")},
        {"model_provider = # none\n", QString("")},
        {"model_provider = \"\"\n", QString("")},
        {"model_provider = \"\n", QStringLiteral("\"")},
        {"model_provider = \"x\\u0x41\"\n", QStringLiteral("\"x\\u0x41\"")}, // not four hex digits: as written
        {"model_provider = \"first\"\nmodel_provider = \"second\"\n", QStringLiteral("first")},
        {"# comment\n\nmodel = \"o3\"\nmodel_provider = \"azure\"\n[x]\n", QStringLiteral("azure")},
        {"notify = [\"notify-send\"]\nmodel_provider = \"azure\"\n", QStringLiteral("azure")}, // an array is no header
        {"[profiles.work]\nmodel_provider = \"openai\"\n", std::nullopt}, // only the top level counts
        {"# model_provider = \"openai\"\n", std::nullopt},
        {"\"model_provider\" = \"openai\"\n", std::nullopt},
        {"model_providers.x = \"openai\"\n", std::nullopt},
        {"", std::nullopt},
        {"\xef\xbb\xbfmodel_provider = \"openai\"\n", QStringLiteral("openai")}, // a byte-order mark is no part of the key
    };
    for (const auto& c : cases)
        EXPECT_EQ(topLevelConfigValue(QStringLiteral("model_provider"), QString::fromUtf8(c.config)), c.provider) << c.config;
}

// The fresh-account rewrite removes the TEVRUN settings, keeps everything else, and names
// the login method once at the top.
TEST(ConfigText, TheFreshAccountRewriteKeepsWhatIsNotTevrun)
{
    const struct {
        QString config;
        QString expected;
    } cases[] = {
        {cleanApiConfig(), "preferred_auth_method = \"device_code\"\nmodel = \"gpt-5.5\"\nmodel_reasoning_effort = \"xhigh\"\n"},
        {"", loginLine},
        {"\n", QStringLiteral("%1\n").arg(loginLine)},
        {"preferred_auth_method = \"apikey\"\nmodel = \"o3\"\n", QStringLiteral("%1model = \"o3\"\n").arg(loginLine)},
        {loginLine, loginLine},
        {"preferred_auth_method = 'chatgpt'\n[a]\npreferred_auth_method = \"x\"\n",
         QStringLiteral("%1[a]\npreferred_auth_method = \"x\"\n").arg(loginLine)},
        {"# my settings\nmodel = \"o3\"\nmodel_provider = \"openai\"\ndisable_response_storage=true\n"
         "preferred_auth_method = \"chatgpt\"\n\n[model_providers.tevrun]\nname = \"tevrun\"\nbase_url = \"https://x/v1\"\n"
         "[profiles.work]\nmodel_provider = \"openai\"\n  indented = 1\n[ model_providers.tevrun ]\nkept = true\n"
         "[model_providers.tevrun]\nagain = 1\n[[mcp_servers]]\nname = \"fs\"\n",
         QStringLiteral("%1# my settings\nmodel = \"o3\"\n\n[profiles.work]\nmodel_provider = \"openai\"\n  indented = 1\n"
                        "[ model_providers.tevrun ]\nkept = true\n[[mcp_servers]]\nname = \"fs\"\n")
             .arg(loginLine)},
        {"model = \"o3\"\r\nmodel_provider = \"tevrun\"\r\npreferred_auth_method = \"apikey\"\r\n\r\n"
         "[model_providers.tevrun]\r\nname = \"tevrun\"\r\n[profiles.work]\r\nmodel_provider = \"openai\"\r\n",
         "preferred_auth_method = \"device_code\"\r\nmodel = \"o3\"\r\n\r\n[profiles.work]\r\nmodel_provider = \"openai\"\r\n"},
        {QStringLiteral("\uFEFFmodel_provider = \"tevrun\"\nmodel = \"o3\"\n"),
         QStringLiteral("\uFEFF%1model = \"o3\"\n").arg(loginLine)}, // the mark stays at the very start
    };
    for (const auto& c : cases)
        EXPECT_EQ(rewriteConfigForFreshAccount(c.config), c.expected) << c.config.toStdString();
}

// The relay's mode as Codex reads the file: any spelling of the provider or its table, but
// not a comment or a profile's table; a file that is no TOML is read by its lines.
TEST(ConfigText, TheDocumentReadsWhatCodexReads)
{
    const struct {
        const char* config;
        bool relay;
        std::optional<QString> sqliteHome;
    } cases[] = {
        {"model_provider=\"tevrun\"\nsqlite_home = '/db'\n", true, "/db"},
        {"[model_providers.tevrun] # the relay\nname = \"t\"\n", true, {}},
        {"model_providers.tevrun.name = \"t\"\n", true, {}},
        {"# model_provider = \"tevrun\"\n[profiles.work]\nmodel_provider = \"tevrun\"\n", false, {}},
        {"\"model_provider\" = \"openai\"\n[x]\nsqlite_home = \"/no\"\n", false, {}},
        {"sqlite_home = \"/db\" # broken below\n[model_providers.tevrun]\n[x\n", true, "/db"},
    };
    for (const auto& c : cases) {
        const ConfigDocument document{QString::fromUtf8(c.config)};
        EXPECT_EQ(document.namesRelay(), c.relay) << c.config;
        EXPECT_EQ(document.topLevelValue("sqlite_home"), c.sqliteHome) << c.config;
    }
    EXPECT_EQ(ConfigDocument("[model_providers.tevrun]\nrequires_openai_auth = true\n").value(tevrunTable, "requires_openai_auth"), "true");
}
