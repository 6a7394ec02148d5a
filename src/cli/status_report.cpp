#include "cli/status_report.h"

#include "cli/command_line.h"
#include "codexapp/codex_control.h"
#include "config/active_provider.h"
#include "core/api_key.h"
#include "core/files/file_io.h"
#include "core/json.h"
#include "migration/thread_index_folders.h"
#include "migration/thread_migration.h"
#include "storage/backups.h"
#include "workflows/health_check.h"

#include <QLocale>

namespace {

struct Status {
    SwitchMode mode = ModeUnconfigured;
    std::optional<QString> key;
    std::optional<QString> configProvider;
    std::optional<std::map<QString, qint64>> conversations;
    Error conversationsError;
    // Each thread index of Codex's, the one Codex uses now first.
    struct Index {
        QString folder;
        std::optional<std::map<QString, qint64>> conversations;
        Error error;
    };
    std::vector<Index> indexes;
    std::vector<CodexProcess> codex;
    std::optional<std::vector<OpenConversation>> openConversations;
    Error openConversationsError;
    BackupSummary backups;
};

Status readStatus(Workflows& engine)
{
    const CodexHome& home = engine.home();
    Status status;
    status.mode = detectCurrentMode(home);
    if (const std::optional<QString> key = jsonString(readCurrentApiKey(home)); key && isLikelyApiKey(*key))
        status.key = shortenedKey(*key);
    status.configProvider = configuredProvider(home.file(codexfile::config));
    for (const QString& folder : threadIndexFolders(home)) {
        Status::Index index{folder, std::nullopt, Error()};
        index.conversations = visibleThreadCountsIn(folder, &index.error);
        status.indexes.push_back(index);
    }
    // The one Codex uses now is the first; none at all counts nothing.
    status.conversations = status.indexes.empty() ? std::map<QString, qint64>() : status.indexes[0].conversations;
    if (!status.indexes.empty())
        status.conversationsError = status.indexes[0].error;
    status.codex = runningCodex(engine.workspace());
    status.openConversations = openConversations(home, &status.openConversationsError);
    status.backups = summarizeBackups(home);
    return status;
}

const char* modeName(SwitchMode mode)
{
    switch (mode) {
    case ModeAccount:
        return "account";
    case ModeApi:
        return "api";
    case ModeUnconfigured:
        break;
    }
    return "unconfigured";
}

QString modeText(SwitchMode mode)
{
    switch (mode) {
    case ModeAccount:
        return QStringLiteral("GPT 账号 登陆");
    case ModeApi:
        return QStringLiteral("TEVRUN API");
    case ModeUnconfigured:
        break;
    }
    return QStringLiteral("未配置");
}

Json statusJson(const Status& status)
{
    Json json = Json::object();
    json["mode"] = modeName(status.mode);
    json["key"] = status.key ? Json(toUtf8(*status.key)) : Json();
    json["config_provider"] = status.configProvider ? Json(toUtf8(*status.configProvider)) : Json();
    if (status.conversations) {
        Json counts = Json::object();
        for (const auto& [provider, count] : *status.conversations)
            counts[toUtf8(provider)] = count;
        json["conversations"] = counts;
    } else {
        json["conversations"] = Json();
        json["conversations_error"] = toUtf8(status.conversationsError.message);
    }
    json["thread_indexes"] = Json::array();
    for (const Status::Index& index : status.indexes) {
        Json counts = index.conversations ? Json::object() : Json();
        for (const auto& [provider, count] : index.conversations.value_or(std::map<QString, qint64>()))
            counts[toUtf8(provider)] = count;
        json["thread_indexes"].push_back({{"path", toUtf8(index.folder + QLatin1Char('/') + codexfile::threadIndex)}, {"conversations", counts}});
    }
    json["codex_running"] = !status.codex.empty();
    json["codex"] = Json::array();
    for (const CodexProcess& codex : status.codex)
        json["codex"].push_back({{"pid", codex.pid}, {"kind", codex.kind == CodexKind::App ? "app" : "terminal"}});
    if (status.openConversations) {
        json["open_conversations"] = Json::array();
        for (const OpenConversation& open : *status.openConversations)
            json["open_conversations"].push_back({{"id", toUtf8(open.id)}, {"title", toUtf8(open.title)}});
    } else {
        json["open_conversations"] = Json();
        json["open_conversations_error"] = toUtf8(status.openConversationsError.message);
    }
    json["backups"] = {{"count", status.backups.count}, {"size_bytes", status.backups.sizeBytes}};
    return json;
}

QString conversationsText(const std::optional<std::map<QString, qint64>>& conversations, const Error& error)
{
    if (!conversations)
        return QStringLiteral("无法读取：") + error.message;
    QStringList parts;
    for (const auto& [provider, count] : *conversations)
        parts << QStringLiteral("%1 %2 条").arg(provider.isEmpty() ? QStringLiteral("（无）") : provider).arg(count);
    return parts.isEmpty() ? QStringLiteral("没有") : parts.join(QStringLiteral("，"));
}

} // namespace

int printStatus(Workflows& engine, QTextStream& out, QTextStream& err, bool asJson)
{
    if (const std::optional<QString> unreadable = unreadableHome(engine.home())) {
        err << *unreadable << '\n';
        return StatusFailed;
    }
    const Status status = readStatus(engine);
    if (asJson) {
        out << QString::fromStdString(statusJson(status).dump()) << '\n';
        return StatusDone;
    }
    QStringList running;
    for (const CodexProcess& codex : status.codex)
        running << QStringLiteral("pid %1 %2").arg(codex.pid).arg(codex.kind == CodexKind::App ? QStringLiteral("应用")
                                                                                               : QStringLiteral("终端或编辑器"));
    out << QStringLiteral("模式：") << modeText(status.mode) << '\n'
        << QStringLiteral("TEVRUN API：") << status.key.value_or(QStringLiteral("没有")) << '\n'
        << QStringLiteral("config.toml 的 provider：") << status.configProvider.value_or(QStringLiteral("未设置")) << '\n'
        << QStringLiteral("可见对话：") << conversationsText(status.conversations, status.conversationsError) << '\n';
    // Beside the one Codex uses, the other thread indexes it has left.
    for (size_t i = 1; i < status.indexes.size(); ++i)
        out << QStringLiteral("另一个对话索引“%1/state_5.sqlite”：").arg(status.indexes[i].folder)
            << conversationsText(status.indexes[i].conversations, status.indexes[i].error) << '\n';
    out << QStringLiteral("Codex：")
        << (running.isEmpty() ? QStringLiteral("未运行") : QStringLiteral("正在运行（%1）").arg(running.join(QStringLiteral("，"))))
        << '\n'
        << QStringLiteral("Codex 开着的对话：")
        << (!status.openConversations ? QStringLiteral("无法读取：") + status.openConversationsError.message
            : status.openConversations->empty() ? QStringLiteral("没有")
                                                : openConversationsText(*status.openConversations))
        << '\n'
        << QStringLiteral("备份：")
        << (status.backups.count == 0 ? QStringLiteral("没有")
                                      : QStringLiteral("%1 个，共 %2")
                                            .arg(status.backups.count)
                                            .arg(QLocale::c().formattedDataSize(status.backups.sizeBytes)))
        << '\n';
    return StatusDone;
}
