#include "relay/diagnosis.h"
#include "relay/text_utils.h"
#include "support/local_relay.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

TEST(Diagnosis, NoSecretOfTheConfigurationLeavesTheMachine)
{
    // One line a table; in a secret table a broken line, as a configuration to diagnose may have.
    const QString config = QStringLiteral(
        "model_provider = \"tevrun\"\npreferred_auth_method = \"apikey\"\n"
        "[model_providers.azure]\nbase_url = \"https://x.example/v1\"\nenv_key = \"AZURE_SECRET_1\"\n"
        "query_params = { api-version = \"2025-04-01\" }\nhttp_headers = { \"X-Api\" = \"hdr-secret-2\" }\n"
        "[model_providers.azure.env_http_headers]\n\"X-Token\" = \"ENV_SECRET_3\"\n"
        "[mcp_servers.github]\ncommand = \"npx\"\nargs = [\"--header\", \"Authorization: Bearer ghp_secret4\"]\n"
        "[mcp_servers.github.env]\r\nGITHUB_PERSONAL_ACCESS_TOKEN = \"ghp_secret5\"\r\nPLAIN = \"secret-6\"\n=secret-10\n"
        "[mcp_servers.db]\npassword = \"secret-7\"\nclient_secret = 'secret-8'\nauth = \"secret-9\"\n");
    const QString masked = maskConfigSecrets(config);
    for (const char* secret : {"SECRET_1", "secret-2", "SECRET_3", "secret4", "secret5", "secret-6", "secret-7", "secret-8",
                               "secret-9", "secret-10"})
        EXPECT_FALSE(masked.contains(QLatin1String(secret))) << secret << "\n" << masked.toStdString();
    for (const char* kept : {"preferred_auth_method = \"apikey\"", "base_url = \"https://x.example/v1\"",
                             "api-version = \"2025-04-01\"", "command = \"npx\"", "Bearer ***", "PLAIN = \"***\"\n",
                             "GITHUB_PERSONAL_ACCESS_TOKEN = \"***\"\r\n"})
        EXPECT_TRUE(masked.contains(QLatin1String(kept))) << kept << "\n" << masked.toStdString();
}

// The diagnosis is a 2xx answer's output_text, else the texts of its output items' content
// parts; whatever has another shape is passed over.
TEST(Diagnosis, IsTheTextOfASuccessfulAnswer)
{
    TempHome temp;
    LocalRelay relay;
    const struct {
        int status;
        QByteArray body;
        std::optional<QString> text;
    } cases[] = {
        {199, R"({"output_text":"ok"})", std::nullopt},
        {200, R"({"output_text":"一\n二","output":[{"content":[{"text":"no"}]}]})", QStringLiteral("一 二")},
        {299, R"({"output_text":"","output":[1,{"content":"no"},{"content":[2,{"text":7},{"text":"甲"}]},{"content":[{"text":"乙"}]}]})",
         QStringLiteral("甲乙")},
        {300, R"({"output_text":"ok"})", std::nullopt},
        {200, R"({"output":[{"content":[{"type":"output_text"}]}]})", std::nullopt},
        {200, R"({"output":{"content":[{"text":"no"}]}})", std::nullopt},
        {200, R"([{"output_text":"no"}])", std::nullopt},
        {200, "<html><body>502 Bad Gateway</body></html>", std::nullopt},
    };
    for (const auto& c : cases) {
        relay.enqueue({c.status, c.body});
        EXPECT_EQ(diagnoseConfigWithAIUsingKey(relay.endpoint(), temp.home(), "sk-key"), c.text) << c.status << c.body.toStdString();
    }
}
