#pragma once

#include "codexapp/workspace.h"

#include <vector>

// The desktop app, or Codex in a terminal or an editor (the command line, or the server an
// editor's extension starts).
enum class CodexKind { App, Terminal };

struct CodexProcess {
    qint32 pid = 0;
    CodexKind kind = CodexKind::App;
    bool operator==(const CodexProcess&) const = default;
};

// The running Codex processes among the running applications, in their order. Morvane
// itself, and any copy of it, never counts, wherever it lives and whatever it is called.
std::vector<CodexProcess> runningCodex(const std::vector<RunningApplication>& applications, qint32 ownPid);

// Whether the desktop app is among them: it is what the user sees first.
bool codexAppRuns(const std::vector<CodexProcess>& running);
// False only for an application that can never be Codex, whatever else is known of it:
// the filter for listings, on the executable path or, when that is unknown, the short name.
bool mayBeCodex(const QString& executablePath, const QString& shortName);
