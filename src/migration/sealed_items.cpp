#include "migration/sealed_items.h"

#include "migration/rollout_line.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

using Span = std::pair<qsizetype, qsizetype>; // [start, end)

bool isSealedItem(const OrderedJson& item)
{
    if (!item.is_object())
        return false;
    const auto type = item.find("type");
    return type != item.end() && type->is_string() && isSealedItemType(type->get_ref<const std::string&>());
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

qsizetype skipSpace(QByteArrayView text, qsizetype at)
{
    while (at < text.size() && isSpace(text[at]))
        ++at;
    return at;
}

// Where the JSON value that starts at the offset ends; -1 when it does not end in the text.
qsizetype valueEnd(QByteArrayView text, qsizetype at)
{
    int depth = 0;
    for (qsizetype i = at; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\')
                    ++i;
            }
            if (i >= text.size())
                return -1;
            if (depth == 0)
                return i + 1;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (--depth <= 0)
                return depth < 0 ? i : i + 1; // below zero: the end of a number or a literal
        } else if (depth == 0 && (c == ',' || isSpace(c))) {
            return i;
        }
    }
    return depth == 0 ? text.size() : -1;
}

// The elements of the array that starts at the offset, and where it ends; nothing when no
// whole array starts there.
std::optional<std::pair<std::vector<Span>, qsizetype>> arrayElements(QByteArrayView text, qsizetype at)
{
    if (at >= text.size() || text[at] != '[')
        return std::nullopt;
    std::vector<Span> elements;
    qsizetype i = skipSpace(text, at + 1);
    if (i < text.size() && text[i] == ']')
        return std::pair(elements, i + 1);
    for (;;) {
        const qsizetype end = valueEnd(text, i);
        if (end <= i)
            return std::nullopt;
        elements.push_back({i, end});
        i = skipSpace(text, end);
        if (i >= text.size())
            return std::nullopt;
        if (text[i] == ']')
            return std::pair(elements, i + 1);
        if (text[i] != ',')
            return std::nullopt;
        i = skipSpace(text, i + 1);
    }
}

// The line with the sealed elements cut out of its replacement history and every other
// byte as it was, when the result reads as the expected object.
std::optional<QByteArray> cutOut(QByteArrayView line, const OrderedJson& expected)
{
    const QByteArrayView pattern("\"replacement_history\":");
    for (qsizetype at = line.indexOf(pattern); at >= 0; at = line.indexOf(pattern, at + 1)) {
        const qsizetype start = skipSpace(line, at + pattern.size());
        const auto elements = arrayElements(line, start);
        if (!elements)
            continue;
        QByteArray candidate = line.first(start).toByteArray();
        candidate.append('[');
        bool first = true;
        for (const auto& [from, to] : elements->first) {
            const QByteArrayView element = line.sliced(from, to - from);
            if (isSealedItem(OrderedJson::parse(element.begin(), element.end(), nullptr, false)))
                continue;
            if (!std::exchange(first, false))
                candidate.append(',');
            candidate.append(element);
        }
        candidate.append(']');
        candidate.append(line.sliced(elements->second));
        const OrderedJson parsed = OrderedJson::parse(candidate.begin(), candidate.end(), nullptr, false);
        if (!parsed.is_discarded() && parsed == expected)
            return candidate;
    }
    return std::nullopt;
}

} // namespace

bool isSealedItemType(std::string_view payloadType)
{
    return payloadType == "reasoning" || payloadType == "compaction" || payloadType == "compaction_summary";
}

std::optional<QByteArray> compactedLineWithoutSealedItems(QByteArrayView line)
{
    std::optional<OrderedJson> value = recordOfLine(line);
    if (!value)
        return std::nullopt;
    OrderedJson& payload = (*value)["payload"];
    const auto history = payload.find("replacement_history");
    if (history == payload.end() || !history->is_array()
        || std::none_of(history->begin(), history->end(), isSealedItem))
        return std::nullopt;
    OrderedJson kept = OrderedJson::array();
    for (OrderedJson& item : *history) {
        if (!isSealedItem(item))
            kept.push_back(std::move(item));
    }
    *history = std::move(kept);
    if (std::optional<QByteArray> cut = cutOut(line, *value))
        return cut;
    return lineWrittenAnew(*value, line);
}
