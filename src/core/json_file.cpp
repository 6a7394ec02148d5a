#include "core/json_file.h"

std::optional<Json> readJsonObject(const QString& path)
{
    const std::optional<QByteArray> bytes = files::readWhole(path);
    if (!bytes)
        return std::nullopt;
    std::optional<Json> value = parseJson(*bytes);
    if (!value || !value->is_object())
        return std::nullopt;
    return value;
}

bool writeJsonAtomically(const QString& path, const Json& value, Error* error, files::Access access)
{
    return files::writeAtomically(path, prettyJson(value), error, access);
}
