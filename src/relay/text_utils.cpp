#include "relay/text_utils.h"

#include "core/json.h"

#include <QRegularExpression>

QString cleanOneLineText(const QString& text, qsizetype limit)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    line = line.trimmed();
    if (line.size() <= limit)
        return line;
    qsizetype cut = limit;
    if (line.at(cut - 1).isHighSurrogate())
        --cut;
    return line.left(cut) + QStringLiteral("...");
}

QString redactSecrets(const QString& text)
{
    static const QRegularExpression key(QStringLiteral("sk-[A-Za-z0-9._-]+"));
    return QString(text).replace(key, QStringLiteral("sk-***"));
}

namespace {

// Tables whose every value is a secret: environment variables and HTTP headers of MCP
// servers and model providers.
bool isSecretTable(const QString& name)
{
    const QString last = name.section(QLatin1Char('.'), -1).trimmed().remove(QLatin1Char('"'));
    return last == QLatin1String("env") || last == QLatin1String("http_headers") || last == QLatin1String("env_http_headers");
}

bool isSecretKey(const QString& key)
{
    // Names that carry no secret although they contain one of the words.
    static const QStringList plain = {QStringLiteral("preferred_auth_method"), QStringLiteral("env_key_instructions")};
    const QString name = key.trimmed().remove(QLatin1Char('"')).toLower();
    if (plain.contains(name))
        return false;
    for (const char* word : {"token", "secret", "password", "key", "auth"}) {
        if (name.contains(QLatin1String(word)))
            return true;
    }
    return isSecretTable(name);
}

} // namespace

QString maskConfigSecrets(const QString& config)
{
    static const QRegularExpression bearer(QStringLiteral("\\b(Bearer\\s+)[A-Za-z0-9][A-Za-z0-9._~+/=-]*"),
                                           QRegularExpression::CaseInsensitiveOption);
    QStringList lines = config.split(QLatin1Char('\n'));
    bool inSecretTable = false;
    for (QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            inSecretTable = isSecretTable(trimmed.mid(1).section(QLatin1Char(']'), 0, 0));
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (trimmed.startsWith(QLatin1Char('#')) || equals < 0)
            continue;
        if (inSecretTable || isSecretKey(line.left(equals)))
            line = line.left(equals + 1) + QStringLiteral(" \"***\"") + (line.endsWith(QLatin1Char('\r')) ? QStringLiteral("\r") : QString());
    }
    return redactSecrets(lines.join(QLatin1Char('\n')).replace(bearer, QStringLiteral("\\1***")));
}

std::optional<QString> responseTextFromData(const std::optional<QByteArray>& body)
{
    if (!body)
        return std::nullopt;
    const std::optional<Json> value = parseJson(*body);
    if (!value || !value->is_object())
        return std::nullopt;

    const auto outputText = value->find("output_text");
    if (outputText != value->end() && outputText->is_string() && !outputText->get<std::string>().empty())
        return cleanOneLineText(fromUtf8(outputText->get<std::string>()));

    const auto output = value->find("output");
    if (output == value->end() || !output->is_array())
        return std::nullopt;
    std::string collected;
    for (const Json& item : *output) {
        if (!item.is_object())
            continue;
        const auto content = item.find("content");
        if (content == item.end() || !content->is_array())
            continue;
        for (const Json& part : *content) {
            if (!part.is_object())
                continue;
            const auto partText = part.find("text");
            if (partText != part.end() && partText->is_string())
                collected += partText->get<std::string>();
        }
    }
    if (collected.empty())
        return std::nullopt;
    return cleanOneLineText(fromUtf8(collected));
}
