#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class CommandRun;

// The options of morvane-cli.
enum class Option { KeyFile, Json, QuitCodex, Keep, Help, Version, Key };

// One command of morvane-cli as data: the words that call it, what may follow them, the
// options it takes, its line of help and its run. Each command's parser, --help, the shell
// completions and the manual page are all made from the list of them.
struct Command {
    QString first;       // "backups"
    QStringList targets; // the word that must follow the first, one of these; none for a command of one word
    enum class Id { None, Needed, Optional };
    Id id = Id::None;    // the ID after them: a saved key's or a restore point's
    // The options it takes besides --help and --version; those in required must be given.
    std::vector<Option> options;
    std::vector<Option> required;
    QString summary;
    // Whether it reads a TEVRUN API: always, or only with the target "api".
    enum class Key { None, Always, WithApi };
    Key key = Key::None;
    // Given the word after the first (empty when it takes none) and the ID (empty when none).
    std::function<int(CommandRun& run, const QString& target, const QString& id)> run;

    // As --help writes it: "backups verify [ID]", "repair api|account", "backups prune --keep N".
    QString usage() const;
    bool readsKey(const QString& target) const { return key == Key::Always || (key == Key::WithApi && target == QLatin1String("api")); }
    bool takes(Option option) const;
};

// An option of morvane-cli: "--key-file", with its argument's name ("文件") or none.
struct CommandOption {
    Option id;
    QString name;      // "--help"
    QString shortName; // "h", or none
    QString argument;
    QString summary;
    // Known only to be refused: a key written as an argument is never used, nor echoed.
    bool refused = false;
};

// Every command, in the order --help lists them; every option, refused ones too.
const std::vector<Command>& commands();
const std::vector<CommandOption>& commandOptions();
const CommandOption& commandOption(Option id);
// What the commands a first word begins do together ("backups"), for the completions.
QString commandGroupSummary(const QString& first);
