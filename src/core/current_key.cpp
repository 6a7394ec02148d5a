#include "core/current_key.h"

#include "core/api_key.h"
#include "core/json_file.h"

namespace {

std::optional<Json> apiKeyMember(const QString& authFile)
{
    const std::optional<Json> object = readJsonObject(authFile);
    if (!object)
        return std::nullopt;
    const auto member = object->find("OPENAI_API_KEY");
    if (member == object->end())
        return std::nullopt;
    return *member;
}

} // namespace

bool isLikelyApiKey(const std::optional<Json>& value)
{
    const std::optional<QString> text = jsonString(value);
    return text && isLikelyApiKey(*text);
}

std::optional<QString> jsonString(const std::optional<Json>& value)
{
    if (!value || !value->is_string())
        return std::nullopt;
    return fromUtf8(value->get<std::string>());
}

std::optional<Json> readActiveApiKey(const CodexHome& home)
{
    return apiKeyMember(home.file(codexfile::auth));
}

std::optional<Json> readCurrentApiKey(const CodexHome& home)
{
    std::optional<Json> active = readActiveApiKey(home);
    if (isLikelyApiKey(active))
        return active;
    return apiKeyMember(home.file(codexfile::lastKey));
}
