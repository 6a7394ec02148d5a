#include "core/json.h"

std::optional<Json> parseJson(const QByteArray& bytes)
{
    Json value = Json::parse(bytes.constData(), bytes.constData() + bytes.size(), nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return value;
}

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

QByteArray prettyJson(const Json& value)
{
    // Strings made by this program are valid UTF-8; replacing guards against the rest.
    const std::string text = value.dump(2, ' ', false, Json::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size())) + '\n';
}

bool writeJsonAtomically(const QString& path, const Json& value, Error* error, files::Access access)
{
    return files::writeAtomically(path, prettyJson(value), error, access);
}
