#pragma once

#include <QString>

#include <optional>

// Line-based work on config.toml text. Nothing here touches the disk.

// The value of a top-level key: basic strings lose their quotes and escapes, literal
// strings their quotes, and a trailing comment is ignored.
std::optional<QString> topLevelConfigValue(const QString& key, const QString& config);
// The line that sets a top-level key, as written.
std::optional<QString> topLevelConfigLine(const QString& key, const QString& config);
// The same for a key of the table with that header, such as "model_providers.tevrun".
std::optional<QString> tableConfigValue(const QString& table, const QString& key, const QString& config);

// The complete configuration for the TEVRUN API mode.
QString cleanApiConfig();

// The configuration for a fresh GPT account login: the TEVRUN provider settings removed,
// every other line kept, and the device-code login method on top.
QString rewriteConfigForFreshAccount(const QString& config);
