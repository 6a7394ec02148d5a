#pragma once

#include <nlohmann/json.hpp>

#include <QByteArray>
#include <QString>

#include <optional>

// Members sorted by key, numbers kept exact.
using Json = nlohmann::json;

// Parses without exceptions; nothing for text that is not JSON.
std::optional<Json> parseJson(const QByteArray& bytes);
// Indented, one member per line, ending with a line feed.
QByteArray prettyJson(const Json& value);

inline std::string toUtf8(const QString& text) { return text.toStdString(); }
inline QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }
