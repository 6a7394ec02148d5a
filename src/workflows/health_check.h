#pragma once

#include "codexapp/workspace.h"
#include "core/codex_home.h"
#include "core/error.h"

#include <QString>

#include <optional>
#include <vector>

// What mends a problem, for the front end to say in its own words.
enum class HealthFix {
    None,
    RepairApi,
    RepairAccount,
    MoveConversations,
    ListBackups,         // a backup still holds what is gone
    PutBackInterrupted,  // any start puts a cut-off workflow back
    MakeFilePrivate,     // path: only its owner may read and write it
    MakeFolderPrivate,
};

// One thing wrong with a Codex home, with what mends it where something does.
struct HealthProblem {
    QString code;    // stable, for scripts
    QString message; // what the user reads
    HealthFix fix = HealthFix::None;
    QString path = {}; // the file or folder a fix is about
};

// Everything the health check finds, most important first; empty for a healthy home. Reads
// only: takes no lock and changes nothing.
std::vector<HealthProblem> checkHealth(const CodexHome& home, Workspace& workspace);

// A conversation that some Codex process has open, by Codex's lock on it, with its title from
// the thread index (empty when the index has none).
struct OpenConversation {
    QString id;
    QString title;
};
// Asked without changing anything; nothing, with the error, when Codex's locks cannot be asked.
std::optional<std::vector<OpenConversation>> openConversations(const CodexHome& home, Error* error = nullptr);
// “title”（id）, or the id alone, joined by “、”.
QString openConversationsText(const std::vector<OpenConversation>& conversations);

// Why the Codex home cannot be read (a file in its place, no permission); nothing when it
// can, or when there is none yet.
std::optional<QString> unreadableHome(const CodexHome& home);

// How many visible conversations sit on another provider than the active one: Codex does
// not list them. Nothing when the thread index cannot be read.
std::optional<qint64> conversationsElsewhere(const CodexHome& home);
