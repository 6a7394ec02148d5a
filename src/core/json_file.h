#pragma once

#include "core/files/file_io.h"
#include "core/json.h"

// The file's top-level object, or nothing when it is missing, unreadable or not an object.
std::optional<Json> readJsonObject(const QString& path);
Expected<> writeJsonAtomically(const QString& path, const Json& value,
                               files::Access access = files::Access::Default);
