#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class CommandRun;

// One command of morvane-cli: the words that call it, what follows them, its line of help
// and its run. Parsing, --help, the shell completions and the manual page are all made
// from the list of them.
struct Command {
    // The first word, then a word or alternatives ("api|account"), then "ID" (needed),
    // "[ID]" (may follow) or an option it needs ("--keep N"): "backups verify [ID]".
    QString words;
    QString summary;
    // Whether it reads a TEVRUN API: always, or only with the target "api".
    enum class Key { None, Always, WithApi };
    Key key = Key::None;
    // Given the word after the first (empty when it takes none) and the ID (empty when none).
    std::function<int(CommandRun& run, const QString& target, const QString& id)> run;

    QString first() const { return words.section(QLatin1Char(' '), 0, 0); }
    // The words that may follow the first, in order; none for a command of one word.
    QStringList targets() const;
    bool needsId() const { return words.endsWith(QLatin1String(" ID")); }
    bool mayTakeId() const { return words.endsWith(QLatin1String(" [ID]")); }
    bool needsKeep() const { return words.endsWith(QLatin1String(" --keep N")); }
    bool readsKey(const QString& target) const { return key == Key::Always || (key == Key::WithApi && target == QLatin1String("api")); }
};

// An option of morvane-cli: "--key-file", with its argument's name ("文件") or none.
struct CommandOption {
    QString name; // "-h, --help" for one with a short name
    QString argument;
    QString summary;
};

// Every command, in the order --help lists them; every option.
const std::vector<Command>& commands();
// What the commands a first word begins do together ("backups"), for the completions.
QString commandGroupSummary(const QString& first);
const std::vector<CommandOption>& commandOptions();
