#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// One line of at most limit UTF-16 units plus "..."; a surrogate pair is never cut in half.
// The diagnosis is shown in 48 units, the relay's own words in 200.
QString cleanOneLineText(const QString& text, qsizetype limit = 48);

// Every "sk-..." token replaced by "sk-***".
QString redactSecrets(const QString& text);

// config.toml as it may leave the machine: every value of env, http_headers and
// env_http_headers tables, every value whose key names a token, secret, password, key or
// login, every "Bearer ..." and every "sk-..." masked.
QString maskConfigSecrets(const QString& config);

// The text of a Responses answer: "output_text", else every "text" of the "content" of
// "output", cleaned to one line.
std::optional<QString> responseTextFromData(const std::optional<QByteArray>& body);
