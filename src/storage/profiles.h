#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QString>
#include <QStringList>

// A profile is a named snapshot of the files that make up one way of reaching a model
// ("account", "api"). It exists when it holds an auth.json.

// Copies the named Codex-home files into the profile, each replacing its earlier copy
// whole. Fails with code 10 when no auth.json was copied and that is not allowed.
bool saveProfileNamed(const CodexHome& home, const QString& name, const QStringList& fileNames,
                      bool allowMissingAuth, Error* error = nullptr);

// Copies every visible entry of the profile back into the Codex home, each replacing the
// current file whole. Fails with code 11 when the profile does not exist.
bool restoreProfileNamed(const CodexHome& home, const QString& name, const QStringList& removeBefore,
                         Error* error = nullptr);

bool profileExists(const CodexHome& home, const QString& name);
