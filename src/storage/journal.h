#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QString>
#include <QStringList>

#include <optional>

// morvane/journal.json: the workflow under way, written once its backup is complete and
// before its first change, removed when it is done or put back. Found at a start, it tells
// that a workflow was cut off and which restore point puts the home back.
struct Journal {
    QString workflow;        // switch-api, repair-config, restore, ...
    QString restorePoint;    // the id of the point taken before the first change
    QStringList createdFiles; // files the workflow makes where none were: removed on putting back
};

Expected<> writeJournal(const CodexHome& home, const Journal& journal);
bool hasJournal(const CodexHome& home);
// The error when it cannot be read or is not a journal of this program.
Expected<Journal> readJournal(const CodexHome& home);
Expected<> removeJournal(const CodexHome& home);
