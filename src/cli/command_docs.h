#pragma once

#include <QString>

// What morvane-cli tells of its commands and options, made from their list.
QString helpText();
// The completion script for "bash", "zsh" or "fish"; empty for any other shell.
QString completionScript(const QString& shell);
// The manual page morvane-cli.1, in roff.
QString manualPage(const QString& version);
