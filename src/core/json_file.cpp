#include "core/json_file.h"

std::optional<Json> readJsonObject(const QString& path)
{
    const Expected<QByteArray> bytes = files::readWhole(path);
    if (!bytes)
        return std::nullopt;
    std::optional<Json> value = parseJson(*bytes);
    if (!value || !value->is_object())
        return std::nullopt;
    return value;
}

Expected<> writeJsonAtomically(const QString& path, const Json& value, files::Access access)
{
    return files::writeAtomically(path, prettyJson(value), access);
}
