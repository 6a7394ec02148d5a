#include "core/api_key.h"

#include <algorithm>

namespace {

bool isKeyCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' || u == '_'
        || u == '-';
}

} // namespace

bool isLikelyApiKey(const QString& text)
{
    const QString key = text.trimmed();
    if (!beginsLikeApiKey(key) || key.size() <= 3)
        return false;
    return std::all_of(key.begin(), key.end(), isKeyCharacter);
}

bool beginsLikeApiKey(const QString& text)
{
    return text.trimmed().startsWith(QLatin1String("sk-"));
}

QString shortenedKey(const QString& key)
{
    const QString trimmed = key.trimmed();
    if (trimmed.size() < 16)
        return trimmed.left(3) + QStringLiteral("…");
    return trimmed.left(7) + QStringLiteral("…") + trimmed.right(4);
}
