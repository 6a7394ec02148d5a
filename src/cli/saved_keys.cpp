#include "cli/saved_keys.h"

#include "cli/command_line.h"
#include "core/api_key.h"
#include "core/json.h"

int listSavedKeys(const Workflows& engine, QTextStream& out, bool asJson)
{
    const std::vector<HistoryItem> keys = engine.savedKeys();
    if (asJson) {
        Json list = Json::array();
        for (const HistoryItem& item : keys) {
            list.push_back({{"id", toUtf8(item.id)},
                            {"key", toUtf8(shortenedKey(item.apiKey))},
                            {"saved_at", toUtf8(item.date.toString(Qt::ISODate))}});
        }
        out << QString::fromStdString(list.dump()) << '\n';
        return StatusDone;
    }
    if (keys.empty())
        out << QStringLiteral("还没有保存的 TEVRUN API。") << '\n';
    for (const HistoryItem& item : keys)
        out << item.id << "  " << shortenedKey(item.apiKey) << "  " << item.date.toString(QStringLiteral("yyyy-MM-dd HH:mm")) << '\n';
    return StatusDone;
}
