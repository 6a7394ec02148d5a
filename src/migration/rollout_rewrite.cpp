#include "migration/rollout_rewrite.h"

#include <nlohmann/json.hpp>

#include <QByteArrayView>

#include <algorithm>
#include <cstring>

namespace {

using OrderedJson = nlohmann::ordered_json;

// A metadata line names its type, either plainly or through a \u escape; a line with
// neither cannot be one and is not parsed. The whole text is searched for these marks at
// once, which is far cheaper than looking into each line.
class CandidateLines {
public:
    explicit CandidateLines(QByteArrayView content) : m_content(content) {}

    // The next line at or after from that holds a mark, as [start, end); false when none.
    bool next(qsizetype from, qsizetype& start, qsizetype& end)
    {
        if (from >= m_content.size())
            return false;
        if (m_meta < from)
            m_meta = find("session_meta", from);
        if (m_escape < from)
            m_escape = find("\\u", from);
        const qsizetype mark = std::min(m_meta, m_escape);
        if (mark == m_content.size())
            return false;
        start = m_content.first(mark).lastIndexOf('\n') + 1; // never before from: a line starts there
        end = m_content.indexOf('\n', mark);
        if (end < 0)
            end = m_content.size();
        return true;
    }

private:
    qsizetype find(const char* mark, qsizetype from) const
    {
        const void* at = ::memmem(m_content.data() + from, size_t(m_content.size() - from), mark, std::strlen(mark));
        return at ? static_cast<const char*>(at) - m_content.data() : m_content.size();
    }

    QByteArrayView m_content;
    qsizetype m_meta = -1;
    qsizetype m_escape = -1;
};

// Reads only as far as the top-level "type" member: most lines are long events, and their
// type tells at once that they are not metadata.
class MetadataTypeProbe : public nlohmann::json_sax<OrderedJson> {
public:
    bool isMetadata = false;

    bool null() override { return value(false); }
    bool boolean(bool) override { return value(false); }
    bool number_integer(number_integer_t) override { return value(false); }
    bool number_unsigned(number_unsigned_t) override { return value(false); }
    bool number_float(number_float_t, const string_t&) override { return value(false); }
    bool string(string_t& text) override { return value(text == "session_meta"); }
    bool binary(binary_t&) override { return value(false); }
    bool start_object(std::size_t) override
    {
        if (m_typeIsNext)
            return decide(false);
        ++m_depth;
        return true;
    }
    bool key(string_t& name) override
    {
        m_typeIsNext = m_depth == 1 && name == "type";
        return true;
    }
    bool end_object() override { return --m_depth > 0; }
    bool start_array(std::size_t) override
    {
        if (m_depth == 0 || m_typeIsNext)
            return decide(false);
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
    // A scalar value: at the top level it decides; elsewhere it only counts when it is
    // the value of the top-level "type".
    bool value(bool isSessionMeta)
    {
        if (m_depth == 0)
            return false;
        return m_typeIsNext ? decide(isSessionMeta) : true;
    }

    bool decide(bool isSessionMeta)
    {
        isMetadata = isSessionMeta;
        return false; // stop reading
    }

    int m_depth = 0;
    bool m_typeIsNext = false;
};

bool typeIsSessionMeta(QByteArrayView line)
{
    MetadataTypeProbe probe;
    OrderedJson::sax_parse(line.begin(), line.end(), &probe, nlohmann::detail::input_format_t::json, false);
    return probe.isMetadata;
}

// The line with its provider set, or nothing when the line stays as it is.
std::optional<QByteArray> rewrittenMetadataLine(QByteArrayView line, const std::string& target)
{
    if (!typeIsSessionMeta(line))
        return std::nullopt;
    const bool carriageReturn = line.endsWith('\r');
    OrderedJson value = OrderedJson::parse(line.begin(), line.end(), nullptr, false);
    if (value.is_discarded() || !value.is_object())
        return std::nullopt;
    const auto type = value.find("type");
    const auto payload = value.find("payload");
    if (type == value.end() || *type != "session_meta" || payload == value.end() || !payload->is_object())
        return std::nullopt;
    const auto provider = payload->find("model_provider");
    if (provider != payload->end() && *provider == target)
        return std::nullopt;
    (*payload)["model_provider"] = target;

    std::string text;
    try {
        text = value.dump();
    } catch (const OrderedJson::exception&) {
        return std::nullopt;
    }
    QByteArray result(text.data(), qsizetype(text.size()));
    if (carriageReturn)
        result.append('\r');
    return result;
}

} // namespace

std::optional<qsizetype> rewriteRollout(const QByteArray& content, const QString& targetProvider, QByteArray& head)
{
    const std::string target = targetProvider.toStdString();
    head.resize(0); // keeps its memory for the next file
    bool changed = false;
    qsizetype copiedUpTo = 0; // content before this offset is already in head
    CandidateLines candidates(content);
    qsizetype from = 0;
    qsizetype start = 0;
    qsizetype end = 0;
    for (; candidates.next(from, start, end); from = end + 1) {
        const QByteArrayView line(content.constData() + start, end - start);
        if (std::optional<QByteArray> replacement = rewrittenMetadataLine(line, target)) {
            changed = true;
            head.append(content.constData() + copiedUpTo, start - copiedUpTo);
            head.append(*replacement);
            copiedUpTo = end;
        }
    }
    return changed ? std::optional<qsizetype>(copiedUpTo) : std::nullopt;
}
