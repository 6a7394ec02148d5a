#include "history/key_history.h"

#include "core/api_key.h"
#include "core/current_key.h"
#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/json_file.h"
#include "core/naming.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#include <unistd.h>

Expected<> saveApiKeyToHistory(const CodexHome& home, const QString& key)
{
    const std::optional<QString> path = historyPathForKey(home, key);
    if (!path)
        return {};
    const Json record = {{"api_key", toUtf8(key)}, {"saved_at", toUtf8(timestamp())}};
    if (Expected<> made = files::makeDirectory(home.historyRootPath()); !made)
        return made;
    return writeJsonAtomically(*path, record, files::Access::OwnerOnly);
}

std::vector<HistoryItem> historyItems(const CodexHome& home)
{
    const QString root = home.historyRootPath();
    std::vector<HistoryItem> items;
    for (const QString& name : files::visibleEntries(root)) {
        const QFileInfo info(root + QLatin1Char('/') + name);
        if (info.suffix() != QLatin1String("json"))
            continue;
        const std::optional<Json> record = readJsonObject(info.filePath());
        if (!record)
            continue;
        const auto member = record->find("api_key");
        if (member == record->end() || !isLikelyApiKey(std::optional<Json>(*member)))
            continue;
        QDateTime date = info.lastModified();
        if (!date.isValid())
            date = QDateTime::fromMSecsSinceEpoch(std::numeric_limits<qint64>::min() / 2);
        items.push_back({info.completeBaseName(), fromUtf8(member->get<std::string>()), date});
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const HistoryItem& a, const HistoryItem& b) { return a.date > b.date; });
    return items;
}

std::optional<QString> latestHistoricalApiKey(const CodexHome& home)
{
    const std::vector<HistoryItem> items = historyItems(home);
    if (items.empty())
        return std::nullopt;
    return items.front().apiKey;
}

Expected<HistoryItem> findHistoryItem(const CodexHome& home, const QString& id)
{
    for (HistoryItem& item : historyItems(home)) {
        if (item.id == id)
            return std::move(item);
    }
    return std::unexpected(Error{morvaneErrorDomain, 0, QStringLiteral("没有这个已保存的 TEVRUN API。")});
}

Expected<> forgetHistoryItem(const CodexHome& home, const HistoryItem& item)
{
    // Only an id the history lists: never a path of the caller's making.
    const QString path = home.historyRootPath() + QLatin1Char('/') + item.id + QStringLiteral(".json");
    if (::unlink(files::nativePath(path).constData()) != 0)
        return std::unexpected(files::systemError(QStringLiteral("删除"), path, errno));
    return {};
}

std::optional<QString> historyPathForKey(const CodexHome& home, const QString& key)
{
    if (!isLikelyApiKey(key))
        return std::nullopt;
    return home.historyRootPath() + QStringLiteral("/api-key-") + sha256(key).left(16) + QStringLiteral(".json");
}
