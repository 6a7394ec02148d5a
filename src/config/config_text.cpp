#include "config/config_text.h"

#include "core/constants.h"

#include <QStringList>

#include <algorithm>
#include <cctype>

namespace {

bool isBlank(QChar c) { return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space; }

// Trims spaces and tabs only: a carriage return stays.
QString trimBlanks(const QString& text)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && isBlank(text.at(start)))
        ++start;
    while (end > start && isBlank(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

// A CRLF line keeps its carriage return in the text, but it is no part of the line's
// meaning: "[table]\r" is a header.
QString withoutLineEnd(const QString& line)
{
    return line.endsWith(QLatin1Char('\r')) ? line.chopped(1) : line;
}

const QChar byteOrderMark(0xFEFF);

// The text without a leading byte-order mark: the mark is no part of the first key.
QString withoutByteOrderMark(const QString& config)
{
    return config.startsWith(byteOrderMark) ? config.mid(1) : config;
}

bool isTableHeader(const QString& trimmed)
{
    return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

struct KeyLine {
    QString key;
    QString value;
};

std::optional<KeyLine> keyLine(const QString& trimmed)
{
    const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
    if (equals < 0)
        return std::nullopt;
    return KeyLine{trimBlanks(trimmed.left(equals)), trimmed.mid(equals + 1).trimmed()};
}

std::optional<QString> basicStringValue(const QString& value)
{
    QString result;
    for (qsizetype i = 1; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('"'))
            return result;
        if (c != QLatin1Char('\\')) {
            result.append(c);
            continue;
        }
        if (++i >= value.size())
            return std::nullopt;
        const char16_t escape = value.at(i).unicode();
        switch (escape) {
        case 'b': result.append(QChar(0x08)); break;
        case 't': result.append(QLatin1Char('\t')); break;
        case 'n': result.append(QLatin1Char('\n')); break;
        case 'f': result.append(QChar(0x0C)); break;
        case 'r': result.append(QLatin1Char('\r')); break;
        case 'e': result.append(QChar(0x1B)); break;
        case '"': result.append(QLatin1Char('"')); break;
        case '\\': result.append(QLatin1Char('\\')); break;
        case 'u':
        case 'U': {
            const int digits = escape == 'u' ? 4 : 8;
            // Exactly that many hex digits: no sign, space or "0x", which a number parser takes.
            const QString hex = value.mid(i + 1, digits);
            const auto isHexDigit = [](QChar d) { return d.unicode() < 0x80 && std::isxdigit(d.unicode()); };
            if (hex.size() != digits || !std::all_of(hex.begin(), hex.end(), isHexDigit))
                return std::nullopt;
            const char32_t codePoint = hex.toUInt(nullptr, 16);
            result.append(QString::fromUcs4(&codePoint, 1));
            i += digits;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return std::nullopt; // no closing quote
}

// Reads one TOML value the way Codex would see it; a malformed string is returned as written.
QString decodedValue(const QString& value)
{
    if (value.startsWith(QLatin1Char('"')))
        return basicStringValue(value).value_or(value);
    if (value.startsWith(QLatin1Char('\''))) {
        const qsizetype close = value.indexOf(QLatin1Char('\''), 1);
        return close < 0 ? value : value.mid(1, close - 1);
    }
    const qsizetype comment = value.indexOf(QLatin1Char('#'));
    return comment < 0 ? value : value.left(comment).trimmed();
}

} // namespace

namespace {

// The line that sets the key in the table (the top level for none), as written; the first
// one wins.
std::optional<QString> keyLineIn(const QString& table, const QString& key, const QString& config)
{
    const QStringList lines = withoutByteOrderMark(config).split(QLatin1Char('\n'));
    QString current; // null: the top level, until the first header
    for (const QString& line : lines) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (isTableHeader(trimmed)) {
            current = trimmed.mid(1, trimmed.size() - 2).trimmed();
            if (current.isNull())
                current = QLatin1String("");
            continue;
        }
        if (table.isEmpty() ? !current.isNull() : current != table)
            continue;
        const std::optional<KeyLine> entry = keyLine(trimmed);
        if (entry && entry->key == key)
            return withoutLineEnd(line);
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> headerTable(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (!isTableHeader(trimmed))
        return std::nullopt;
    const QString table = trimmed.mid(1, trimmed.size() - 2).trimmed();
    return table.isNull() ? QLatin1String("") : table;
}

std::optional<QString> lineKey(const QString& line)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')) || isTableHeader(trimmed))
        return std::nullopt;
    const std::optional<KeyLine> entry = keyLine(trimmed);
    return entry ? std::optional(entry->key) : std::nullopt;
}

std::optional<QString> tableConfigValue(const QString& table, const QString& key, const QString& config)
{
    const std::optional<QString> line = keyLineIn(table, key, config);
    if (!line)
        return std::nullopt;
    return decodedValue(keyLine(line->trimmed())->value);
}

std::optional<QString> topLevelConfigValue(const QString& key, const QString& config)
{
    return tableConfigValue(QString(), key, config);
}

std::optional<QString> topLevelConfigLine(const QString& key, const QString& config)
{
    return keyLineIn(QString(), key, config);
}

const std::vector<ConfigSetting>& apiConfigSettings()
{
    static const std::vector<ConfigSetting> settings = {
        {{}, QStringLiteral("model"), QStringLiteral("model = \"gpt-5.5\"")},
        {{}, QStringLiteral("model_provider"), QStringLiteral("model_provider = \"tevrun\"")},
        {{}, QStringLiteral("model_reasoning_effort"), QStringLiteral("model_reasoning_effort = \"xhigh\"")},
        {{}, QStringLiteral("disable_response_storage"), QStringLiteral("disable_response_storage = true")},
        {{}, QStringLiteral("preferred_auth_method"), QStringLiteral("preferred_auth_method = \"apikey\"")},
        {tevrunTable, QStringLiteral("name"), QStringLiteral("name = \"tevrun\"")},
        {tevrunTable, QStringLiteral("base_url"), QStringLiteral("base_url = \"%1\"").arg(morvane::relayBaseURL)},
        {tevrunTable, QStringLiteral("wire_api"), QStringLiteral("wire_api = \"responses\"")},
        // Without it Codex sends no key to a provider of its own.
        {tevrunTable, QStringLiteral("requires_openai_auth"), QStringLiteral("requires_openai_auth = true")},
    };
    return settings;
}

QString cleanApiConfig()
{
    QString text;
    QString table;
    for (const ConfigSetting& setting : apiConfigSettings()) {
        if (setting.table != table) {
            table = setting.table;
            text += QStringLiteral("\n[%1]\n").arg(table);
        }
        text += setting.line + QLatin1Char('\n');
    }
    return text;
}

QString rewriteConfigForFreshAccount(const QString& config)
{
    const QStringList lines = withoutByteOrderMark(config).split(QLatin1Char('\n'));
    QStringList kept;
    bool topLevel = true;
    bool insideTevrunTable = false;
    for (const QString& line : lines) {
        const QString trimmed = trimBlanks(withoutLineEnd(line));
        if (trimmed == QLatin1String("[model_providers.tevrun]")) {
            insideTevrunTable = true;
            topLevel = false;
            continue;
        }
        if (isTableHeader(trimmed)) {
            insideTevrunTable = false;
            topLevel = false;
        }
        if (insideTevrunTable)
            continue;
        if (topLevel) {
            const std::optional<KeyLine> entry = keyLine(trimmed);
            // Every top-level login method goes: the file names it once, on top.
            if (entry
                && (entry->key == QLatin1String("model_provider")
                    || entry->key == QLatin1String("disable_response_storage")
                    || entry->key == QLatin1String("preferred_auth_method")))
                continue;
        }
        kept.append(line);
    }
    const bool crlf = !lines.isEmpty() && lines.first().endsWith(QLatin1Char('\r'));
    kept.prepend(QStringLiteral("preferred_auth_method = \"device_code\"") + (crlf ? QStringLiteral("\r") : QString()));
    // A file that began with a byte-order mark keeps it at its very start.
    return (config.startsWith(byteOrderMark) ? QString(byteOrderMark) : QString()) + kept.join(QLatin1Char('\n'));
}
