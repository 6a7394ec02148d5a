#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QString>
#include <QStringList>

#include <optional>

// A profile is a named snapshot of the files that make up one way of reaching a model
// ("account", "api"). It exists when it holds an auth.json, or records that the login stays
// in Codex's secret store (the store's own entry, never copied out of it).

// What each profile keeps of the Codex home: the account's also keeps the profile files,
// whose own lines come back on the way back.
QStringList accountProfileFiles(const CodexHome& home);
inline const QStringList apiProfileFiles = {codexfile::auth, codexfile::config, codexfile::lastKey};

// Copies the named Codex-home files into the profile, each replacing its earlier copy
// whole; loginStore names where Codex keeps the login when not in auth.json. Fails when
// there is neither an auth.json to copy nor a store.
Expected<> saveProfileNamed(const CodexHome& home, const QString& name, const QStringList& fileNames,
                            const std::optional<QString>& loginStore = std::nullopt);

// Copies every visible entry of the profile but those named back into the Codex home, each
// replacing the current file whole; auth.json is left readable by its owner alone, or
// removed when the login is the store's and none was kept. Fails when the profile does not
// exist.
Expected<> restoreProfileNamed(const CodexHome& home, const QString& name, const QStringList& except = {});

bool profileExists(const CodexHome& home, const QString& name);
