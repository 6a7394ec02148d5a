// The commands of morvane-cli, each on the engine through the run it is given.

#include "cli/backup_commands.h"
#include "cli/command.h"
#include "cli/command_run.h"
#include "cli/health_report.h"
#include "cli/saved_keys.h"
#include "cli/status_report.h"

#include <algorithm>
#include <map>

QString Command::usage() const
{
    QStringList words{first};
    if (!targets.isEmpty())
        words << targets.join(QLatin1Char('|'));
    if (id != Id::None)
        words << (id == Id::Needed ? QStringLiteral("ID") : QStringLiteral("[ID]"));
    for (const Option option : required)
        words << commandOption(option).name + QLatin1Char(' ') + commandOption(option).argument;
    return words.join(QLatin1Char(' '));
}

bool Command::takes(Option option) const
{
    return std::find(options.begin(), options.end(), option) != options.end();
}

const std::vector<Command>& commands()
{
    static const std::vector<Command> all = {
        {"status", {}, Command::Id::None, {Option::Json}, {}, "当前模式、密钥、provider、各 provider 的对话数、Codex 是否运行、备份", Command::Key::None,
         [](CommandRun& run, const QString&, const QString&) { return printStatus(run.engine(), run.out(), run.err(), run.asJson()); }},
        {"doctor", {}, Command::Id::None, {Option::Json}, {}, "检查 Codex 的配置和对话，列出每个问题和修复它的命令", Command::Key::None,
         [](CommandRun& run, const QString&, const QString&) { return printHealth(run.engine(), run.out(), run.asJson()); }},
        {"check-key", {}, Command::Id::None, {Option::KeyFile, Option::QuitCodex}, {}, "向 TEVRUN 检查密钥，通过后记住它", Command::Key::Always,
         [](CommandRun& run, const QString&, const QString&) {
             return run.workflow([&run] { return run.engine().checkKey(run.key()); });
         }},
        {"switch", {"api"}, Command::Id::None, {Option::KeyFile, Option::QuitCodex}, {}, "切到 TEVRUN API", Command::Key::Always,
         [](CommandRun& run, const QString&, const QString&) {
             return run.workflow([&run] { return run.engine().switchToApi(run.key()); });
         }},
        {"switch", {"account"}, Command::Id::None, {Option::QuitCodex}, {}, "切回 GPT 账号 登陆", Command::Key::None,
         [](CommandRun& run, const QString&, const QString&) { return run.workflow([&run] { return run.engine().switchToAccount(); }); }},
        {"repair", {"api", "account"}, Command::Id::None, {Option::KeyFile, Option::QuitCodex}, {}, "按标准模板修复配置", Command::Key::WithApi,
         [](CommandRun& run, const QString& target, const QString&) {
             if (target == QLatin1String("account"))
                 return run.workflow([&run] { return run.engine().repair(ModeAccount, QString()); });
             return run.workflow([&run] { return run.engine().repair(ModeApi, run.key()); });
         }},
        {"move-conversations", {}, Command::Id::None, {Option::QuitCodex}, {}, "把对话都移到当前的 provider 上，配置和登陆不变", Command::Key::None,
         [](CommandRun& run, const QString&, const QString&) {
             return run.workflow([&run] { return run.engine().moveVisibleConversations(); });
         }},
        {"keys", {"list"}, Command::Id::None, {Option::Json}, {}, "列出保存过的 TEVRUN API（只显示开头和结尾）", Command::Key::None,
         [](CommandRun& run, const QString&, const QString&) { return listSavedKeys(run.engine(), run.out(), run.asJson()); }},
        {"keys", {"forget"}, Command::Id::Needed, {}, {}, "删除一个保存的 TEVRUN API", Command::Key::None,
         [](CommandRun& run, const QString&, const QString& id) { return run.show(run.engine().forgetKey(id)); }},
        {"backups", {"list"}, Command::Id::None, {Option::Json}, {}, "列出备份（每次切换、修复或恢复前各一个），最新的在前", Command::Key::None,
         [](CommandRun& run, const QString&, const QString&) { return listBackups(run.engine(), run.out(), run.asJson()); }},
        {"backups", {"restore"}, Command::Id::Needed, {Option::QuitCodex}, {}, "恢复到一个备份；恢复前的状态也先备份", Command::Key::None,
         [](CommandRun& run, const QString&, const QString& id) {
             return run.workflow([&run, &id] { return run.engine().restoreBackup(id); });
         }},
        {"backups", {"verify"}, Command::Id::Optional, {}, {}, "检查备份是否完好（不写 ID 时检查全部），列出损坏的文件", Command::Key::None,
         [](CommandRun& run, const QString&, const QString& id) { return verifyBackups(run.engine(), id, run.out(), run.err()); }},
        {"backups", {"prune"}, Command::Id::None, {Option::Keep, Option::QuitCodex}, {Option::Keep}, "只保留最新的 N 个备份，删除其余的", Command::Key::None,
         [](CommandRun& run, const QString&, const QString&) {
             return run.workflow([&run] { return run.engine().pruneBackups(run.keep()); });
         }},
    };
    return all;
}

QString commandGroupSummary(const QString& first)
{
    static const std::map<QString, QString> groups = {
        {QStringLiteral("switch"), QStringLiteral("切到 TEVRUN API 或切回 GPT 账号 登陆")},
        {QStringLiteral("keys"), QStringLiteral("列出或删除保存过的 TEVRUN API")},
        {QStringLiteral("backups"), QStringLiteral("列出、恢复、检查或清理备份")},
    };
    const auto group = groups.find(first);
    return group == groups.end() ? QString() : group->second;
}

namespace {

// "status、doctor、keys list 和 backups list": the commands that take the option.
QString commandsTaking(Option option)
{
    QStringList names;
    for (const Command& command : commands()) {
        if (command.takes(option))
            names << QStringList{command.first, command.targets.join(QLatin1Char('|'))}.join(QLatin1Char(' ')).trimmed();
    }
    const QString last = names.isEmpty() ? QString() : names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral("、")) + QStringLiteral(" 和 ") + last;
}

} // namespace

const std::vector<CommandOption>& commandOptions()
{
    static const std::vector<CommandOption> options = {
        {Option::KeyFile, "--key-file", {}, "文件", "从文件读取 TEVRUN API"},
        {Option::Json, "--json", {}, {}, commandsTaking(Option::Json) + QStringLiteral(" 输出 JSON")},
        {Option::QuitCodex, "--quit-codex", {}, {}, "Codex 正在运行时先退出它，再继续"},
        {Option::Keep, "--keep", {}, "N", commandsTaking(Option::Keep) + QStringLiteral(" 保留的备份个数")},
        {Option::Help, "--help", "h", {}, "显示本帮助"},
        {Option::Version, "--version", {}, {}, "显示版本"},
        {Option::Key, "--key", {}, "key", {}, true},
    };
    return options;
}

const CommandOption& commandOption(Option id)
{
    // The table is in the order of the enumeration.
    return commandOptions()[size_t(id)];
}
