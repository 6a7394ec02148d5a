#include "migration/unusable_conversation.h"

#include "migration/rollout_line.h"
#include "migration/sealed_items.h"

namespace {

// A member's text; empty when it is missing or no string.
std::string text(const OrderedJson& object, const char* key)
{
    const auto member = object.is_object() ? object.find(key) : object.end();
    return member != object.end() && member->is_string() ? member->get<std::string>() : std::string();
}

// The provider a record names as the conversation's: the metadata's, or a turn's settings'.
std::optional<std::string> providerNamed(const OrderedJson& record)
{
    const OrderedJson& payload = record["payload"];
    std::string provider;
    if (text(record, "type") == "session_meta")
        provider = text(payload, "model_provider");
    else if (text(payload, "type") == "thread_settings_applied" && payload.contains("thread_settings"))
        provider = text(payload["thread_settings"], "model_provider_id");
    return provider.empty() ? std::nullopt : std::optional(provider);
}

bool isSealedRecord(const OrderedJson& record, QByteArrayView line)
{
    const std::string type = text(record, "type");
    if (type == "compacted")
        return compactedLineWithoutSealedItems(line).has_value();
    return type == "response_item" && isSealedItemType(text(record["payload"], "type"));
}

bool isAnswer(const OrderedJson& record)
{
    const OrderedJson& payload = record["payload"];
    return text(record, "type") == "response_item" && text(payload, "type") == "message" && text(payload, "role") == "assistant";
}

// Only lines that may be one of the records above are worth reading as JSON.
bool mayMatter(QByteArrayView line)
{
    for (const char* word : {"encrypted_content", "reasoning", "compaction", "session_meta", "thread_settings_applied", "assistant"}) {
        if (line.contains(word))
            return true;
    }
    return false;
}

// Whether every provider the text records is this one, spelled as Codex writes it; any other
// spelling counts as another provider, for the whole reading to tell.
bool recordsOnly(QByteArrayView content, const std::string& provider)
{
    const QByteArray named = '"' + QByteArray::fromStdString(provider) + '"';
    for (qsizetype at = content.indexOf("model_provider"); at >= 0; at = content.indexOf("model_provider", at + 1)) {
        const QByteArrayView rest = content.sliced(at + qsizetype(sizeof "model_provider") - 1);
        if (!rest.startsWith("\":" + named) && !rest.startsWith("_id\":" + named))
            return false;
    }
    return true;
}

} // namespace

bool holdsOthersSealedItems(QByteArrayView content, const QString& provider)
{
    if (!content.contains("encrypted_content"))
        return false; // nothing sealed, nothing refused for it
    const std::string active = provider.toStdString();
    // The common case, read without parsing a line: one provider throughout, nothing refused.
    if (!content.contains("invalid_encrypted_content") && recordsOnly(content, active))
        return false;
    std::optional<std::string> current; // whom the conversation spoke to at this point
    bool sealedSeen = false;
    bool lastTurnRefused = false;
    for (qsizetype start = 0; start < content.size();) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        const QByteArrayView line = content.sliced(start, end - start);
        start = end + 1;
        if (line.contains("invalid_encrypted_content")) {
            lastTurnRefused = sealedSeen;
            continue;
        }
        const std::optional<OrderedJson> record = mayMatter(line) ? recordOfLine(line) : std::nullopt;
        if (!record)
            continue;
        if (const std::optional<std::string> named = providerNamed(*record))
            current = named;
        if (isSealedRecord(*record, line)) {
            if (current && *current != active)
                return true;
            sealedSeen = true;
        } else if (isAnswer(*record)) {
            lastTurnRefused = false;
        }
    }
    return lastTurnRefused;
}
