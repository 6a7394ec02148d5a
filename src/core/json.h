#pragma once

#include "core/files/file_io.h"

#include <nlohmann/json.hpp>

#include <QByteArray>
#include <QString>

#include <optional>

// Members sorted by key, numbers kept exact.
using Json = nlohmann::json;

// Parses without exceptions; nothing for text that is not JSON.
std::optional<Json> parseJson(const QByteArray& bytes);
// The file's top-level object, or nothing when it is missing, unreadable or not an object.
std::optional<Json> readJsonObject(const QString& path);

// Indented, one member per line, ending with a line feed.
QByteArray prettyJson(const Json& value);
bool writeJsonAtomically(const QString& path, const Json& value, Error* error = nullptr,
                         files::Access access = files::Access::Default);

inline std::string toUtf8(const QString& text) { return text.toStdString(); }
inline QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }
