#include "relay/diagnosis.h"

#include "core/api_key.h"
#include "core/current_key.h"
#include "core/constants.h"
#include "core/files/file_io.h"
#include "relay/relay_request.h"
#include "relay/text_utils.h"

namespace {

// The configuration as the relay sees it: every key masked.
QString diagnosisPrompt(const CodexHome& home)
{
    const QString config = files::readUtf8(home.file(codexfile::config))
                               .value_or(QStringLiteral("未找到 config.toml"));
    const QString authLine = isLikelyApiKey(readActiveApiKey(home))
        ? QStringLiteral("auth.json 中存在 OPENAI_API_KEY: sk-***")
        : QStringLiteral("auth.json 中没有可用的 OPENAI_API_KEY");
    // "\\n" is the two characters backslash and n: the prompt itself has no line break.
    return QStringLiteral("你是 Codex 配置诊断助手。请用一句中文说明下面配置最可能的问题，最多 32 个字，不要给代码，"
                          "不要提真实密钥。目标正确配置是：model_provider=tevrun，preferred_auth_method=apikey，base_url=")
        + morvane::relayBaseURL + QStringLiteral("，wire_api=responses，requires_openai_auth=true。\\n") + authLine
        + QStringLiteral("\\nconfig.toml:\\n") + maskConfigSecrets(config);
}

} // namespace

std::optional<QString> diagnoseConfigWithAIUsingKey(const RelayEndpoint& endpoint, const CodexHome& home,
                                                    const QString& key)
{
    const Json body = {{"model", "gpt-5.5"}, {"input", toUtf8(diagnosisPrompt(home))}, {"max_output_tokens", 80}};
    const RelayAnswer answer = postToRelay(endpoint, key, QByteArray::fromStdString(body.dump()));
    if (answer.outcome != RelayAnswer::Outcome::Answered || answer.status < 200 || answer.status > 299)
        return std::nullopt;
    return responseTextFromData(answer.body);
}
