#pragma once

#include "codexapp/workspace.h"
#include "core/codex_home.h"
#include "core/error.h"

#include <QString>

#include <expected>
#include <optional>
#include <vector>

// What mends a problem, for the front end to say in its own words.
enum class HealthFix {
    None,
    RepairApi,
    RepairAccount,
    MoveConversations,
    ListBackups,         // a backup still holds what is gone
    PutBackCutOff,  // any start puts a cut-off workflow back
    MakeFilePrivate,     // path: only its owner may read and write it
    MakeFolderPrivate,
};

// A conversation that some Codex process has open, by Codex's lock on it, with its title from
// the thread index (empty when the index has none).
struct OpenConversation {
    QString id;
    QString title;
};

// One thing wrong with a Codex home, with what mends it where something does. The code says
// what it is; the members after fix hold what it is about, as far as the code needs them.
struct HealthProblem {
    QString code; // stable, for scripts
    HealthFix fix = HealthFix::None;
    QString path = {};          // the file or folder a fix is about
    qint64 count = 0;           // conversations or files
    QString provider = {};      // the active provider
    QString otherProvider = {}; // the provider conversations sit on instead
    QString threadIndex = {};   // the folder of a thread index outside the Codex home
    QString name = {};          // a backup's id, a key file's name in the Codex home
    QStringList names = {};     // the damaged files of a backup
    std::vector<OpenConversation> open = {};
    QString reason = {};        // why the home or a thread index cannot be read
};

// Everything the health check finds, most important first; empty for a healthy home. Reads
// only: takes no lock and changes nothing.
std::vector<HealthProblem> checkHealth(const CodexHome& home, Workspace& workspace);

// Asked without changing anything; the error when Codex's locks cannot be asked.
Expected<std::vector<OpenConversation>> openConversations(const CodexHome& home);

// Why the Codex home cannot be read (a file in its place, no permission); nothing when it
// can, or when there is none yet.
std::optional<QString> unreadableHome(const CodexHome& home);

// How many visible conversations sit on another provider than the active one: Codex does
// not list them. Nothing when the thread index cannot be read.
std::optional<qint64> conversationsElsewhere(const CodexHome& home);
