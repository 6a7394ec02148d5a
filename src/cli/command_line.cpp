#include "cli/command_line.h"

#include "cli/command.h"
#include "cli/command_docs.h"
#include "cli/command_run.h"
#include "core/constants.h"

#include <QCommandLineParser>

namespace {

QString usageHint(const QString& text)
{
    return text + QStringLiteral("运行 morvane-cli --help 查看用法。");
}

// The command the words call, if any.
const Command* commandFor(const QStringList& words)
{
    for (const Command& command : commands()) {
        if (command.first != words.value(0))
            continue;
        if (!command.targets.isEmpty() && !command.targets.contains(words.value(1)))
            continue;
        if (command.id == Command::Id::Needed && words.size() < (command.targets.isEmpty() ? 2 : 3))
            continue;
        return &command;
    }
    return nullptr;
}

// How many words the command line may hold: the command's own, and its ID when it takes one.
qsizetype wordsAllowed(const QStringList& words, const Command* command)
{
    bool hasTargets = false;
    for (const Command& known : commands())
        hasTargets = hasTargets || (known.first == words.value(0) && !known.targets.isEmpty());
    const qsizetype own = hasTargets ? 2 : 1;
    const bool takesId = command && (command->id == Command::Id::Needed || (command->id == Command::Id::Optional && words.size() > own));
    return own + (takesId ? 1 : 0);
}

// "api 或 account": what may follow a first word, as --help writes it.
QString whatFollows(const QString& first)
{
    QStringList next;
    for (const Command& command : commands()) {
        if (command.first == first && !command.targets.isEmpty())
            next << command.usage().section(QLatin1Char(' '), 1);
    }
    next = next.join(QLatin1Char('|')).split(QLatin1Char('|'));
    if (next.size() < 2)
        return next.value(0);
    return QStringList(next.mid(0, next.size() - 1)).join(QStringLiteral("、")) + QStringLiteral(" 或 ") + next.last();
}

// Gives the parser the options named, with --help and --version and those there only to be
// refused.
void addOptions(QCommandLineParser& parser, const QStringList& taken)
{
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    for (const CommandOption& option : commandOptions()) {
        if (!option.refused && !taken.contains(option.name) && option.name != QLatin1String("--help")
            && option.name != QLatin1String("--version"))
            continue;
        QStringList names{option.name.mid(2)};
        if (!option.shortName.isEmpty())
            names.prepend(option.shortName);
        parser.addOption(QCommandLineOption(names, QString(), option.argument));
    }
}

QStringList allOptionNames()
{
    QStringList names;
    for (const CommandOption& option : commandOptions())
        names << option.name;
    return names;
}

int run(const QStringList& arguments, Workflows& engine, CommandLineIo& io)
{
    const auto refuse = [&io](const QString& message) {
        io.err << message << '\n';
        return int(StatusRefused);
    };
    const QStringList withProgram = QStringList{QStringLiteral("morvane-cli")} + arguments;
    // Every option first, to find the command; then the command's own.
    QCommandLineParser any;
    addOptions(any, allOptionNames());
    if (!any.parse(withProgram)) {
        // The parser's own message is English and may quote a key: say it plainly.
        return refuse(usageHint(QStringLiteral("无法识别的选项或缺少选项的值。")));
    }
    if (any.isSet(QStringLiteral("help"))) {
        io.out << helpText();
        return StatusDone;
    }
    if (any.isSet(QStringLiteral("version"))) {
        io.out << QStringLiteral("morvane-cli ") << morvane::version << '\n';
        return StatusDone;
    }
    if (any.isSet(QStringLiteral("key")))
        return refuse(keyArgumentRefusal);

    const QStringList words = any.positionalArguments();
    const Command* command = commandFor(words);
    // No id begins like a key: a key there is refused before it can be echoed back.
    for (qsizetype extra = 1; extra < words.size(); ++extra) {
        if (words[extra].trimmed().startsWith(QLatin1String("sk-")))
            return refuse(keyArgumentRefusal);
    }
    if (words.size() > wordsAllowed(words, command))
        return refuse(usageHint(QStringLiteral("参数过多。")));
    if (!command) {
        if (words.isEmpty())
            return refuse(usageHint(QStringLiteral("缺少命令。")));
        // A known command with a missing or unknown word after it: say which words it takes.
        if (const QString next = whatFollows(words[0]); !next.isEmpty())
            return refuse(usageHint(QStringLiteral("%1 后面要接 %2。").arg(words[0], next)));
        return refuse(usageHint(QStringLiteral("未知的命令。")));
    }
    QCommandLineParser parser;
    addOptions(parser, command->options);
    const QString target = command->targets.isEmpty() ? QString() : words.value(1);
    if (!parser.parse(withProgram)) {
        const QString called = target.isEmpty() ? command->first : command->first + QLatin1Char(' ') + target;
        return refuse(usageHint(QStringLiteral("%1 不接受选项 --%2。").arg(called, parser.unknownOptionNames().value(0))));
    }
    // Asked only of the options this command takes: the parser knows no others.
    const auto value = [&](const QString& name) {
        return command->options.contains(QStringLiteral("--") + name) ? parser.value(name) : QString();
    };
    const auto isSet = [&](const QString& name) { return command->options.contains(QStringLiteral("--") + name) && parser.isSet(name); };
    bool keepIsNumber = false;
    const qint64 keep = value(QStringLiteral("keep")).toLongLong(&keepIsNumber);
    if (command->required.contains(QStringLiteral("--keep")) && (!keepIsNumber || keep < 0))
        return refuse(QStringLiteral("请用 --keep N 指定要保留的备份个数（0 或更大的整数）。"));

    CommandRun commandRun(engine, io,
                          {isSet(QStringLiteral("json")), isSet(QStringLiteral("quit-codex")), value(QStringLiteral("key-file")), keep});
    // Input that is refused is refused before anything is written, recovery included.
    if (command->readsKey(target) && !commandRun.readKey())
        return StatusRefused;
    // A workflow cut off is put right before anything else looks at the home.
    if (const QString recovered = resultText(engine.putBackCutOffWork()); !recovered.isEmpty())
        io.err << recovered << '\n';
    return command->run(commandRun, target, words.value(command->targets.isEmpty() ? 1 : 2));
}

} // namespace

int runCommandLine(const QStringList& arguments, Workflows& engine, CommandLineIo& io)
{
    const int status = run(arguments, engine, io);
    io.out.flush();
    io.err.flush();
    return status;
}
