#pragma once

#include <QString>

#include <vector>

// What morvane-cli accepts, written once: --help, the shell completions and the manual page
// are all made from these tables.
struct CommandEntry {
    QString words;   // "switch api", "repair api|account", "keys forget ID"
    QString summary;
};
struct OptionEntry {
    QString name;     // "--key-file"
    QString argument; // "文件", or empty
    QString summary;
};

const std::vector<CommandEntry>& commandTable();
const std::vector<OptionEntry>& optionTable();

QString helpText();
// The completion script for "bash", "zsh" or "fish"; empty for any other shell.
QString completionScript(const QString& shell);
// The manual page morvane-cli.1, in roff.
QString manualPage(const QString& version);
