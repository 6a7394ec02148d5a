#pragma once

#include "config/config_edit.h"

#include <QString>

#include <optional>

// Where config.toml cannot be edited line by line without risk, and why.
struct ConfigProblem {
    int line = 0; // 1-based, in the file as it is
    QString reason;
};

// Checks a line edit with a real TOML parser: the text before must parse, and the line model
// must read the changed keys and tables where the parser does; the text after must parse,
// hold each changed key as changed, and be equal to the text before in every other key.
// Nothing when the edit is sound.
std::optional<ConfigProblem> checkConfigEdit(const QString& before, const QString& after, const ConfigChanges& changes);
