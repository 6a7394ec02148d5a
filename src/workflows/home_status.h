#pragma once

#include "codexapp/codex_processes.h"
#include "codexapp/workspace.h"
#include "core/codex_home.h"
#include "core/error.h"
#include "core/switch_mode.h"
#include "storage/restore_point.h"
#include "workflows/health_check.h"

#include <QString>

#include <map>
#include <optional>
#include <vector>

// What a Codex home is set to, read without changing anything.
struct HomeStatus {
    // Why the home cannot be read; then nothing else was read.
    std::optional<QString> unreadable;
    QString codexHome;               // the folder read
    bool codexHomeElsewhere = false; // not ~/.codex: both front ends say which
    SwitchMode mode = ModeUnconfigured;
    std::optional<QString> shortenedKey;
    std::optional<QString> configProvider; // config.toml's model_provider, when it sets one
    // Where Codex keeps its login ("file", "keyring" or "secrets"), or why that cannot be known.
    Expected<QString> loginStore = QString();
    // Each thread index of Codex's, the one Codex uses now first, with its visible
    // conversations per provider, or why they cannot be read.
    struct Index {
        QString path;
        Expected<std::map<QString, qint64>> conversations;
    };
    std::vector<Index> indexes;
    std::vector<CodexProcess> codex;
    Expected<std::vector<OpenConversation>> openConversations;
    BackupSummary backups;
};

HomeStatus readHomeStatus(const CodexHome& home, Workspace& workspace);
