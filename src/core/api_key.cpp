#include "core/api_key.h"

namespace {

bool isKeyCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' || u == '_'
        || u == '-';
}

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

bool isLikelyApiKey(const QString& text)
{
    const QString key = text.trimmed();
    if (!key.startsWith(QLatin1String("sk-")) || key.size() <= 3)
        return false;
    return std::all_of(key.begin(), key.end(), isKeyCharacter);
}

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

QString shortenedKey(const QString& key)
{
    const QString trimmed = key.trimmed();
    if (trimmed.size() < 16)
        return trimmed.left(3) + QStringLiteral("…");
    return trimmed.left(7) + QStringLiteral("…") + trimmed.right(4);
}
