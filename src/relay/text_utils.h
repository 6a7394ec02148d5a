#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// One line of at most 48 UTF-16 units plus "..."; a surrogate pair is never cut in half.
QString cleanOneLineText(const QString& text);

// Every "sk-..." token replaced by "sk-***".
QString redactSecrets(const QString& text);

// The text of a Responses answer: "output_text", else every "text" of the "content" of
// "output", cleaned to one line.
std::optional<QString> responseTextFromData(const std::optional<QByteArray>& body);
