#pragma once

#include <QString>

#include <optional>
#include <vector>

// Line-based work on config.toml text. Nothing here touches the disk.

// The value of a top-level key: basic strings lose their quotes and escapes, literal
// strings their quotes, and a trailing comment is ignored.
std::optional<QString> topLevelConfigValue(const QString& key, const QString& config);
// The line that sets a top-level key, as written.
std::optional<QString> topLevelConfigLine(const QString& key, const QString& config);
// The same for a key of the table with that header, such as "model_providers.tevrun".
std::optional<QString> tableConfigValue(const QString& table, const QString& key, const QString& config);

// How the line model reads one line: the table a header names, the key a key line sets;
// nothing for a line that is none (a comment, a blank line, a continuation).
std::optional<QString> headerTable(const QString& line);
std::optional<QString> lineKey(const QString& line);

// One line the API mode writes: a key of the top level (table empty) or of a table.
struct ConfigSetting {
    QString table;
    QString key;
    QString line;
};
// The API template's settings, in its order.
const std::vector<ConfigSetting>& apiConfigSettings();
inline const QString tevrunTable = QStringLiteral("model_providers.tevrun");

// The complete configuration for the TEVRUN API mode.
QString cleanApiConfig();

// The configuration for a fresh GPT account login: the TEVRUN provider settings removed,
// every other line kept, and the device-code login method on top.
QString rewriteConfigForFreshAccount(const QString& config);
