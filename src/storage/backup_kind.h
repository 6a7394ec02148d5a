#pragma once

#include <QString>

#include <vector>

// The workflows that back up the home before they change it.
enum class BackupKind { SwitchApi, SwitchAccount, FreshAccount, RepairConfig, Restore, MoveConversations };

// A kind as its backups record it and as a list of them names it: one row per kind, so that
// a new workflow is one row here.
struct BackupKindNames {
    BackupKind kind;
    QString name;         // in the login-file backup's info file and the journal: "switch-api"
    QString providerName; // in the provider backup's: "switch-api-provider"
    QString label;        // "切到 TEVRUN API"
};
const BackupKindNames& namesOf(BackupKind kind);
// The row of a recorded name; nothing for a name this version does not know.
const BackupKindNames* namesRecordedAs(const QString& name);
