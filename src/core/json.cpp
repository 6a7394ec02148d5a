#include "core/json.h"

std::optional<Json> parseJson(const QByteArray& bytes)
{
    Json value = Json::parse(bytes.constData(), bytes.constData() + bytes.size(), nullptr, false);
    if (value.is_discarded())
        return std::nullopt;
    return value;
}

QByteArray prettyJson(const Json& value)
{
    // Strings made by this program are valid UTF-8; replacing guards against the rest.
    const std::string text = value.dump(2, ' ', false, Json::error_handler_t::replace);
    return QByteArray(text.data(), qsizetype(text.size())) + '\n';
}
