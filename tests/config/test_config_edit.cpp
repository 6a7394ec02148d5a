#include "config/config_check.h"
#include "config/config_text.h"
#include "config/config_writers.h"
#include "core/constants.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const QByteArray userConfig = "# mine\nmodel = \"gpt-5.4\"\nmodel_reasoning_effort = \"high\"\nsqlite_home = \"/var/db\"\n\n"
                              "[mcp_servers.docs]\ncommand = \"npx\" # the docs\nargs = [\"-y\", \"docs\"]\n\n"
                              "[projects.\"/home/user/work\"]\ntrust_level = \"trusted\"\n";

// Each line of the text, without its carriage return.
QStringList linesOf(const QString& text) { return QString(text).remove(QLatin1Char('\r')).split(QLatin1Char('\n')); }

} // namespace

// The API mode edits the user's file in place, and the way back puts the account's values
// back and keeps what the user changed meanwhile; a user who changed nothing gets the
// account's file back byte for byte.
TEST(ConfigEdit, TheApiModeKeepsTheUsersSettingsAndTheWayBackKeepsTheirChanges)
{
    const QByteArray ownTable = "model_provider = \"tevrun\"\n[model_providers.tevrun]\nbase_url = \"https://old\"\nstream_max_retries = 3\n";
    const struct {
        const char* name;
        QByteArray account; // the account's config.toml; empty: none
        std::function<QString(const QString&)> onTheRelay; // what the user changes there
        QByteArray afterSwitchingBack; // the account's file then; empty: its own bytes
    } rows[] = {
        {"the user's settings", userConfig, {}, {}},
        {"line ends, a byte-order mark, no final line feed", "\xef\xbb\xbfmodel = \"o3\"\r\n\r\n[tui]\r\nnotifications = true", {}, {}},
        {"a provider table of the user's", ownTable, {}, {}},
        {"no configuration", "", {}, {}},
        {"a multi-line array last at the top level", "model = \"o3\"\nnotify = [\n  \"notify-send\",\n]\n\n[tui]\nx = 1\n", {}, {}},
        {"an MCP server added on the relay",
         userConfig,
         [](const QString& config) { return config + "\n[mcp_servers.search]\ncommand = \"search-mcp\"\n"; },
         userConfig + "\n[mcp_servers.search]\ncommand = \"search-mcp\"\n"},
        {"a key of the user's table changed on the relay",
         ownTable,
         [](const QString& config) { return QString(config).replace("stream_max_retries = 3", "stream_max_retries = 5"); },
         QByteArray(ownTable).replace("= 3", "= 5")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempHome temp;
        if (!row.account.isEmpty()) {
            temp.write("config.toml", row.account);
            writeFileAt(temp.home().profilePath("account") + "/config.toml", row.account);
        }
        const Expected<QString> api = apiConfigText(temp.home());
        ASSERT_TRUE(api) << api.error().message.toStdString();
        // Every line the user had is there, in its order, the template's keys set.
        const QString account = QString::fromUtf8(row.account);
        QStringList kept = linesOf(*api);
        for (const QString& line : linesOf(account)) {
            const std::optional<QString> key = lineKey(line);
            if (key && (*key == "model" || *key == "model_reasoning_effort" || *key == "base_url" || *key == "model_provider"))
                continue;
            const qsizetype at = kept.indexOf(line);
            ASSERT_GE(at, 0) << line.toStdString();
            kept = kept.mid(at + 1);
        }
        EXPECT_EQ(api->contains('\r'), account.contains('\r'));
        EXPECT_EQ(api->startsWith(QChar(0xFEFF)), row.account.startsWith("\xef\xbb\xbf"));
        for (const ConfigSetting& setting : apiConfigSettings())
            EXPECT_EQ(tableConfigValue(setting.table, setting.key, *api), tableConfigValue(setting.table, setting.key, cleanApiConfig()));
        EXPECT_EQ(tableConfigValue(tevrunTable, "stream_max_retries", *api), tableConfigValue(tevrunTable, "stream_max_retries", account));

        temp.write("config.toml", (row.onTheRelay ? row.onTheRelay(*api) : *api).toUtf8());
        const Expected<QString> back = accountConfigText(temp.home());
        ASSERT_TRUE(back) << back.error().message.toStdString();
        EXPECT_EQ(back->toUtf8(), row.afterSwitchingBack.isEmpty() ? row.account : row.afterSwitchingBack);
    }
}

// A file the line model cannot edit safely is never edited: the error names the line, and
// the check is a real TOML parser's, not more rules.
TEST(ConfigEdit, AFileTheLinesCannotEditSafelyIsNamedByItsLine)
{
    const struct {
        const char* config;
        int line;
    } rows[] = {
        {"notes = \"\"\"\nmodel = \"o3\"\n\"\"\"\n", 2},           // a template key inside a multi-line string
        {"model = \"o3\"\nmodel_providers = { azure = { name = \"a\" } }\n", 2}, // an inline table
        {"model_providers.tevrun.base_url = \"https://x\"\n", 1},     // a dotted key
        {"\"model\" = \"o3\"\n", 1},                                 // a quoted key
        {"model = \"o3\"\n[tui\nx = 1\n", 2},                         // no TOML at all
        {"[model_providers.tevrun]\nname = \"a\"\n[model_providers.tevrun]\n", 3},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.config);
        TempHome temp;
        temp.write("config.toml", row.config);
        writeFileAt(temp.home().profilePath("account") + "/config.toml", "model = \"o3\"\n");
        for (const auto& text : {apiConfigText, accountConfigText}) {
            const Expected<QString> edited = text(temp.home());
            ASSERT_FALSE(edited);
            EXPECT_TRUE(edited.error().message.contains(QStringLiteral("“config.toml”第 %1 行").arg(row.line)));
        }
        EXPECT_EQ(temp.read("config.toml"), row.config);
    }
    // An edit that changed more than it was asked to is named by its first changed line.
    for (const auto& [after, line] : {std::pair{"a = 1\nb = 2\nc = 3", 3}, {"a = 1\nb = 0", 2}, {"a = 1", 2}, {"a = 1\nb = 2", 0}})
        EXPECT_EQ(checkConfigEdit("a = 1\nb = 2", after, {}).value_or(ConfigProblem()).line, line) << after;
}
