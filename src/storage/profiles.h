#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QString>
#include <QStringList>

// A profile is a named snapshot of the files that make up one way of reaching a model
// ("account", "api"). It exists when it holds an auth.json.

// What each profile keeps of the Codex home.
inline const QStringList accountProfileFiles = {codexfile::auth, codexfile::config};
inline const QStringList apiProfileFiles = {codexfile::auth, codexfile::config, codexfile::lastKey};

// Copies the named Codex-home files into the profile, each replacing its earlier copy
// whole. Fails when no auth.json was copied.
Expected<> saveProfileNamed(const CodexHome& home, const QString& name, const QStringList& fileNames);

// Copies every visible entry of the profile but those named back into the Codex home, each
// replacing the current file whole; auth.json is left readable by its owner alone. Fails
// when the profile does not exist.
Expected<> restoreProfileNamed(const CodexHome& home, const QString& name, const QStringList& except = {});

bool profileExists(const CodexHome& home, const QString& name);
