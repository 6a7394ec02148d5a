#include "migration/rollout_rewrite.h"

#include "migration/rollout_line.h"
#include "migration/sealed_items.h"

#include <nlohmann/json.hpp>

#include <QByteArrayView>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view sessionMeta = "session_meta";
constexpr std::string_view settingsApplied = "thread_settings_applied";

// A line that records a provider, or holds a sealed item, names its kind plainly, or else
// through a \u escape; a line with none of these marks cannot be one and is not parsed. The
// whole text is searched for the marks at once, which is far cheaper than looking into each
// line.
class CandidateLines {
public:
    explicit CandidateLines(QByteArrayView content) : m_content(content) {}

    // The next line at or after from that holds a mark, as [start, end); false when none.
    bool next(qsizetype from, qsizetype& start, qsizetype& end)
    {
        if (from >= m_content.size())
            return false;
        qsizetype mark = m_content.size();
        for (size_t i = 0; i < marks.size(); ++i) {
            if (m_found[i] < from)
                m_found[i] = find(marks[i], from);
            mark = std::min(mark, m_found[i]);
        }
        if (mark == m_content.size())
            return false;
        start = m_content.first(mark).lastIndexOf('\n') + 1; // never before from: a line starts there
        end = m_content.indexOf('\n', mark);
        if (end < 0)
            end = m_content.size();
        return true;
    }

private:
    static constexpr std::array<std::string_view, 5> marks = {sessionMeta, settingsApplied, "\\u", "\"reasoning\"",
                                                              "\"compaction"};

    qsizetype find(std::string_view mark, qsizetype from) const
    {
        const void* at = ::memmem(m_content.data() + from, size_t(m_content.size() - from), mark.data(), mark.size());
        return at ? static_cast<const char*>(at) - m_content.data() : m_content.size();
    }

    QByteArrayView m_content;
    std::array<qsizetype, marks.size()> m_found{-1, -1, -1, -1, -1};
};

// Reads only as far as the line's kind: the top-level "type" member and, for a response
// item, its payload's "type". Most lines are long, and their kind tells at once that they
// record no provider and hold no sealed item.
class KindProbe : public nlohmann::json_sax<OrderedJson> {
public:
    std::string type;        // empty when the line has no top-level string "type"
    std::string payloadType; // of a response item, when its payload has a string "type"

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t&) override { return value(); }
    bool string(string_t& text) override
    {
        if (m_depth == 1 && m_next == Next::Type)
            type = text;
        else if (m_depth == 2 && m_inPayload && m_next == Next::PayloadType)
            payloadType = text;
        m_next = Next::Other;
        return m_depth > 0 && !known();
    }
    bool binary(binary_t&) override { return value(); }
    bool start_object(std::size_t) override
    {
        if (m_next == Next::Type)
            return false;
        m_inPayload = m_inPayload || (m_depth == 1 && m_next == Next::Payload);
        m_next = Next::Other;
        ++m_depth;
        return true;
    }
    bool key(string_t& name) override
    {
        if (m_depth == 1)
            m_next = name == "type" ? Next::Type : name == "payload" ? Next::Payload : Next::Other;
        else if (m_depth == 2 && m_inPayload)
            m_next = name == "type" ? Next::PayloadType : Next::Other;
        return true;
    }
    bool end_object() override
    {
        if (--m_depth == 1)
            m_inPayload = false;
        return m_depth > 0;
    }
    bool start_array(std::size_t) override
    {
        if (m_depth == 0 || m_next == Next::Type)
            return false;
        m_next = Next::Other;
        ++m_depth;
        return true;
    }
    bool end_array() override
    {
        --m_depth;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    enum class Next { Other, Type, Payload, PayloadType };

    // Everything needed is read: the kind, and for a response item its payload's too.
    bool known() const { return !type.empty() && (type != "response_item" || !payloadType.empty()); }
    // A scalar at the top level, or a "type" that is no string, ends the reading.
    bool value()
    {
        const bool goOn = m_depth > 0 && m_next != Next::Type;
        m_next = Next::Other;
        return goOn;
    }

    int m_depth = 0;
    bool m_inPayload = false;
    Next m_next = Next::Other;
};

KindProbe probedKind(QByteArrayView line)
{
    KindProbe probe;
    OrderedJson::sax_parse(line.begin(), line.end(), &probe, nlohmann::detail::input_format_t::json, false);
    return probe;
}

// Where the value of a member written as "name": ends, from its first byte; -1 when it is
// not a plain value.
qsizetype valueEnd(QByteArrayView line, qsizetype start)
{
    if (start >= line.size())
        return -1;
    if (line[start] != '"') {
        qsizetype end = start;
        while (end < line.size() && !std::strchr(",}]", line[end]))
            ++end;
        return end;
    }
    for (qsizetype i = start + 1; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '"')
            return i + 1;
    }
    return -1;
}

// The line with only the bytes of the member's value replaced, when the result reads as
// the expected object; else the expected object written anew.
QByteArray replacedValue(QByteArrayView line, const std::string& member, const std::string& target,
                         const OrderedJson& expected)
{
    const std::string pattern = '"' + member + "\":";
    const std::string value = OrderedJson(target).dump();
    for (qsizetype at = line.indexOf(QByteArrayView(pattern)); at >= 0;
         at = line.indexOf(QByteArrayView(pattern), at + 1)) {
        const qsizetype start = at + qsizetype(pattern.size());
        const qsizetype end = valueEnd(line, start);
        if (end < 0)
            continue;
        QByteArray candidate = line.first(start).toByteArray();
        candidate.append(value.data(), qsizetype(value.size()));
        candidate.append(line.sliced(end));
        const OrderedJson parsed = OrderedJson::parse(candidate.begin(), candidate.end(), nullptr, false);
        if (!parsed.is_discarded() && parsed == expected)
            return candidate;
    }
    return lineWrittenAnew(expected, line);
}

// The line with its provider set, or nothing when the line stays as it is.
std::optional<QByteArray> lineWithProvider(QByteArrayView line, const std::string& type, const std::string& target)
{
    const bool isMeta = type == sessionMeta;
    if (!isMeta && !(type == "event_msg" && line.contains(QByteArrayView(settingsApplied))))
        return std::nullopt;
    std::optional<OrderedJson> value = recordOfLine(line);
    if (!value)
        return std::nullopt;
    OrderedJson* const payload = &(*value)["payload"];
    OrderedJson* holder = payload;
    std::string member = "model_provider";
    if (!isMeta) {
        // Codex takes the last of these over the metadata when it rebuilds its index.
        const auto kind = payload->find("type");
        const auto settings = payload->find("thread_settings");
        if (kind == payload->end() || *kind != settingsApplied || settings == payload->end() || !settings->is_object()
            || !settings->contains("model_provider_id"))
            return std::nullopt;
        holder = &*settings;
        member = "model_provider_id";
    }
    const auto provider = holder->find(member);
    if (provider != holder->end() && *provider == target)
        return std::nullopt;
    (*holder)[member] = target;
    const QByteArray result = replacedValue(line, member, target, *value);
    if (result == line)
        return std::nullopt;
    return result;
}

// One change of the content: the bytes [start, end) become the replacement.
struct Edit {
    qsizetype start;
    qsizetype end;
    QByteArray replacement;
    bool ofProvider;
};

// The change a line needs, if any: its provider set, the line gone as a sealed item, or its
// replacement history without them. A line that is no JSON stays as it is.
std::optional<Edit> editOf(QByteArrayView content, qsizetype start, qsizetype end, const std::string& target)
{
    const QByteArrayView line = content.sliced(start, end - start);
    const KindProbe kind = probedKind(line);
    if (std::optional<QByteArray> replacement = lineWithProvider(line, kind.type, target))
        return Edit{start, end, *replacement, true};
    if (kind.type == "response_item" && isSealedItemType(kind.payloadType) && OrderedJson::accept(line.begin(), line.end()))
        return Edit{start, end < content.size() ? end + 1 : end, QByteArray(), false}; // with its line feed
    if (kind.type == "compacted") {
        if (std::optional<QByteArray> replacement = compactedLineWithoutSealedItems(line))
            return Edit{start, end, *replacement, false};
    }
    return std::nullopt;
}

} // namespace

qint64 shiftedOffset(qint64 offset, const LineShifts& shifts)
{
    qint64 shifted = offset;
    for (const LineShift& shift : shifts) {
        if (shift.lineStart < offset)
            shifted += std::max<qint64>(shift.delta, shift.lineStart - offset);
    }
    return shifted;
}

std::optional<RolloutChange> rewriteRollout(const QByteArray& content, const QString& targetProvider, SealedItems sealed,
                                            QByteArray& added, LineShifts* shifts)
{
    const std::string target = targetProvider.toStdString();
    added.resize(0); // keeps its memory for the next file
    if (shifts)
        shifts->clear();
    std::vector<Edit> edits;
    bool providerChanges = false;
    CandidateLines candidates(content);
    qsizetype start = 0;
    qsizetype end = 0;
    for (qsizetype from = 0; candidates.next(from, start, end); from = end + 1) {
        if (std::optional<Edit> edit = editOf(content, start, end, target)) {
            providerChanges = providerChanges || edit->ofProvider;
            edits.push_back(std::move(*edit));
        }
    }
    if (edits.empty() || (sealed == SealedItems::GoWithProvider && !providerChanges))
        return std::nullopt;
    RolloutChange change;
    qsizetype kept = 0; // the content before it is in the pieces
    for (const Edit& edit : edits) {
        change.pieces.push_back({false, kept, edit.start - kept});
        change.pieces.push_back({true, added.size(), edit.replacement.size()});
        added.append(edit.replacement);
        kept = edit.end;
        change.sealedRemoved = change.sealedRemoved || !edit.ofProvider;
        if (shifts && edit.replacement.size() != edit.end - edit.start)
            shifts->push_back({edit.start, edit.replacement.size() - (edit.end - edit.start)});
    }
    change.pieces.push_back({false, kept, content.size() - kept});
    std::erase_if(change.pieces, [](const RolloutPiece& piece) { return piece.size == 0; });
    return change;
}

std::vector<QByteArrayView> rewrittenParts(const RolloutChange& change, QByteArrayView content, QByteArrayView added)
{
    std::vector<QByteArrayView> parts;
    parts.reserve(change.pieces.size());
    for (const RolloutPiece& piece : change.pieces)
        parts.push_back((piece.added ? added : content).sliced(piece.start, piece.size));
    return parts;
}

QByteArray rewrittenText(const RolloutChange& change, QByteArrayView content, QByteArrayView added)
{
    QByteArray text;
    for (const QByteArrayView part : rewrittenParts(change, content, added))
        text.append(part);
    return text;
}
