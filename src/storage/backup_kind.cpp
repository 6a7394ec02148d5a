#include "storage/backup_kind.h"

#include <algorithm>

namespace {

const std::vector<BackupKindNames>& backupKinds()
{
    static const std::vector<BackupKindNames> kinds = {
        {BackupKind::SwitchApi, QStringLiteral("switch-api"), QStringLiteral("switch-api-provider"), QStringLiteral("切到 TEVRUN API")},
        {BackupKind::SwitchAccount, QStringLiteral("switch-account"), QStringLiteral("switch-account-provider"),
         QStringLiteral("切回 GPT 账号 登陆")},
        {BackupKind::FreshAccount, QStringLiteral("fresh-account"), QStringLiteral("fresh-account-provider"),
         QStringLiteral("设置 GPT 账号 登陆")},
        {BackupKind::RepairConfig, QStringLiteral("repair-config"), QStringLiteral("repair-provider"), QStringLiteral("修复配置")},
        {BackupKind::Restore, QStringLiteral("restore"), QStringLiteral("restore-provider"), QStringLiteral("恢复备份")},
        {BackupKind::MoveConversations, QStringLiteral("move-conversations"), QStringLiteral("move-conversations-provider"),
         QStringLiteral("移动对话")},
    };
    return kinds;
}

} // namespace

const BackupKindNames& namesOf(BackupKind kind)
{
    return *std::find_if(backupKinds().begin(), backupKinds().end(), [kind](const BackupKindNames& row) { return row.kind == kind; });
}

const BackupKindNames* namesRecordedAs(const QString& name)
{
    const auto row = std::find_if(backupKinds().begin(), backupKinds().end(), [&name](const BackupKindNames& row) { return row.name == name; });
    return row == backupKinds().end() ? nullptr : &*row;
}
