#include "migration/rollout_rewrite.h"

#include "core/file_ops.h"

#include <nlohmann/json.hpp>

#include <QByteArrayView>

namespace {

using OrderedJson = nlohmann::ordered_json;

// A metadata line names its type, either plainly or through a \u escape; any other line
// cannot be one and is not parsed.
bool mayBeMetadataLine(QByteArrayView line)
{
    return line.contains(QByteArrayView("session_meta")) || line.contains(QByteArrayView("\\u"));
}

// The line with its provider set, or nothing when the line stays as it is.
std::optional<QByteArray> rewrittenMetadataLine(QByteArrayView line, const std::string& target)
{
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

std::optional<QByteArray> rewrittenRollout(const QByteArray& content, const QString& targetProvider)
{
    const std::string target = targetProvider.toStdString();
    QByteArray output;
    qsizetype copiedUpTo = 0; // content before this offset is already in output
    qsizetype start = 0;
    while (start <= content.size()) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        const QByteArrayView line(content.constData() + start, end - start);
        if (!line.isEmpty() && mayBeMetadataLine(line)) {
            if (std::optional<QByteArray> replacement = rewrittenMetadataLine(line, target)) {
                if (output.isNull())
                    output.reserve(content.size() + 64);
                output.append(content.constData() + copiedUpTo, start - copiedUpTo);
                output.append(*replacement);
                copiedUpTo = end;
            }
        }
        start = end + 1;
    }
    if (output.isNull())
        return std::nullopt;
    output.append(content.constData() + copiedUpTo, content.size() - copiedUpTo);
    return output;
}

qint64 rewriteSessionMetaForThreads(const ThreadRecords& threads, const QString& targetProvider,
                                    const QString& /*backupDir*/, Error* error)
{
    qint64 rewritten = 0;
    for (const ThreadRecord& thread : threads) {
        const QString& path = thread.rolloutPath;
        if (path.isEmpty() || !files::itemExists(path))
            continue;
        std::optional<QByteArray> content = files::readWhole(path, error);
        if (!content)
            return -1;
        if (!QByteArrayView(*content).isValidUtf8()) {
            if (error)
                *error = files::fileErrorWithReason(QStringLiteral("读取"), path,
                                                    QStringLiteral("内容不是有效的 UTF-8 文本"));
            return -1;
        }
        const std::optional<QByteArray> updated = rewrittenRollout(*content, targetProvider);
        content.reset(); // keep only one copy of a large file in memory
        if (!updated)
            continue;
        if (!files::writeAtomically(path, *updated, error))
            return -1;
        ++rewritten;
    }
    return rewritten;
}
