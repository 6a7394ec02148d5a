#include "relay/text_utils.h"

#include "core/json.h"

#include <QRegularExpression>

QString cleanOneLineText(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    line = line.trimmed();
    static constexpr qsizetype limit = 48;
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
