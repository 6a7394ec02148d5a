#include "cli/status_report.h"

#include "cli/command_line.h"
#include "core/json.h"
#include "wording/health_wording.h"

#include <QLocale>

namespace {

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

// The one Codex uses now is the first index; none at all counts nothing.
HomeStatus::Index currentIndex(const HomeStatus& status)
{
    return status.indexes.empty() ? HomeStatus::Index{QString(), std::map<QString, qint64>()} : status.indexes[0];
}

Json statusJson(const HomeStatus& status)
{
    Json json = Json::object();
    json["codex_home"] = toUtf8(status.codexHome);
    json["mode"] = modeName(status.mode);
    json["key"] = status.shortenedKey ? Json(toUtf8(*status.shortenedKey)) : Json();
    json["config_provider"] = status.configProvider ? Json(toUtf8(*status.configProvider)) : Json();
    json["login_store"] = status.loginStore ? Json(toUtf8(*status.loginStore)) : Json();
    if (!status.loginStore)
        json["login_store_error"] = toUtf8(status.loginStore.error().message);
    if (const HomeStatus::Index current = currentIndex(status); current.conversations) {
        Json counts = Json::object();
        for (const auto& [provider, count] : *current.conversations)
            counts[toUtf8(provider)] = count;
        json["conversations"] = counts;
    } else {
        json["conversations"] = Json();
        json["conversations_error"] = toUtf8(current.conversations.error().message);
    }
    json["thread_indexes"] = Json::array();
    for (const HomeStatus::Index& index : status.indexes) {
        Json counts = index.conversations ? Json::object() : Json();
        for (const auto& [provider, count] : index.conversations.value_or(std::map<QString, qint64>()))
            counts[toUtf8(provider)] = count;
        json["thread_indexes"].push_back({{"path", toUtf8(index.path)}, {"conversations", counts}});
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
        json["open_conversations_error"] = toUtf8(status.openConversations.error().message);
    }
    json["backups"] = {{"count", status.backups.count}, {"size_bytes", status.backups.sizeBytes}};
    return json;
}

// Where Codex keeps its login, in the user's words.
QString loginStoreText(const Expected<QString>& store)
{
    if (!store)
        return QStringLiteral("无法确定：") + store.error().message;
    if (*store == QLatin1String("keyring"))
        return QStringLiteral("系统钥匙串");
    if (*store == QLatin1String("secrets"))
        return QStringLiteral("secrets/codex_auth.age（密码在系统钥匙串里）");
    return QStringLiteral("auth.json");
}

QString conversationsText(const Expected<std::map<QString, qint64>>& conversations)
{
    if (!conversations)
        return QStringLiteral("无法读取：") + conversations.error().message;
    QStringList parts;
    for (const auto& [provider, count] : *conversations)
        parts << QStringLiteral("%1 %2 条").arg(provider.isEmpty() ? QStringLiteral("（无）") : provider).arg(count);
    return parts.isEmpty() ? QStringLiteral("没有") : parts.join(QStringLiteral("，"));
}

} // namespace

int printStatus(Workflows& engine, QTextStream& out, QTextStream& err, bool asJson)
{
    const HomeStatus status = engine.status();
    if (status.unreadable) {
        err << *status.unreadable << '\n';
        return StatusFailed;
    }
    if (asJson) {
        out << QString::fromStdString(statusJson(status).dump()) << '\n';
        return StatusDone;
    }
    QStringList running;
    for (const CodexProcess& codex : status.codex)
        running << QStringLiteral("pid %1 %2").arg(codex.pid).arg(codex.kind == CodexKind::App ? QStringLiteral("应用")
                                                                                               : QStringLiteral("终端或编辑器"));
    if (status.codexHomeElsewhere)
        out << QStringLiteral("Codex 主目录：") << status.codexHome << '\n';
    out << QStringLiteral("模式：") << modeText(status.mode) << '\n'
        << QStringLiteral("TEVRUN API：") << status.shortenedKey.value_or(QStringLiteral("没有")) << '\n'
        << QStringLiteral("config.toml 的 provider：") << status.configProvider.value_or(QStringLiteral("未设置")) << '\n'
        << QStringLiteral("登录保存在：") << loginStoreText(status.loginStore) << '\n'
        << QStringLiteral("可见对话：") << conversationsText(currentIndex(status).conversations) << '\n';
    // Beside the one Codex uses, the other thread indexes it has left.
    for (size_t i = 1; i < status.indexes.size(); ++i)
        out << QStringLiteral("另一个对话索引“%1”：").arg(status.indexes[i].path)
            << conversationsText(status.indexes[i].conversations) << '\n';
    out << QStringLiteral("Codex：")
        << (running.isEmpty() ? QStringLiteral("未运行") : QStringLiteral("正在运行（%1）").arg(running.join(QStringLiteral("，"))))
        << '\n'
        << QStringLiteral("Codex 开着的对话：")
        << (!status.openConversations ? QStringLiteral("无法读取：") + status.openConversations.error().message
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
