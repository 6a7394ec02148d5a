#include "migration/rollout_line.h"

std::optional<OrderedJson> recordOfLine(QByteArrayView line)
{
    OrderedJson value = OrderedJson::parse(line.begin(), line.end(), nullptr, false);
    if (!value.is_object()) // nor a line that is no JSON
        return std::nullopt;
    const auto payload = value.find("payload");
    if (payload == value.end() || !payload->is_object())
        return std::nullopt;
    return value;
}

QByteArray lineWrittenAnew(const OrderedJson& value, QByteArrayView line)
{
    std::string text;
    try {
        text = value.dump();
    } catch (const OrderedJson::exception&) {
        return line.toByteArray();
    }
    QByteArray result(text.data(), qsizetype(text.size()));
    if (line.endsWith('\r'))
        result.append('\r');
    return result;
}
