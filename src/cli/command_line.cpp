#include "cli/command_line.h"

#include "cli/command.h"
#include "cli/command_docs.h"
#include "cli/command_run.h"
#include "core/api_key.h"
#include "core/constants.h"

#include <QCommandLineParser>

#include <optional>
#include <vector>

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

// The parser's option for each of the table's, in its order.
std::vector<QCommandLineOption> parserOptions()
{
    std::vector<QCommandLineOption> options;
    for (const CommandOption& option : commandOptions()) {
        QStringList names{option.name.mid(2)};
        if (!option.shortName.isEmpty())
            names.prepend(option.shortName);
        options.emplace_back(names, QString(), option.argument);
    }
    return options;
}

// The first option given that the command does not take, by the name it was given.
std::optional<QString> optionNotTaken(const QCommandLineParser& parser, const Command& command)
{
    for (const QString& given : parser.optionNames()) {
        for (const CommandOption& option : commandOptions()) {
            const bool named = option.name.mid(2) == given || option.shortName == given;
            if (named && !command.takes(option.id) && option.id != Option::Help && option.id != Option::Version)
                return given;
        }
    }
    return std::nullopt;
}

int run(const QStringList& arguments, Workflows& engine, CommandLineIo& io)
{
    const auto refuse = [&io](const QString& message) {
        io.err << message << '\n';
        return int(StatusRefused);
    };
    const std::vector<QCommandLineOption> options = parserOptions();
    const auto given = [&options](const QCommandLineParser& parser, Option id) { return parser.isSet(options[size_t(id)]); };
    QCommandLineParser any;
    any.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    for (const QCommandLineOption& option : options)
        any.addOption(option);
    if (!any.parse(QStringList{QStringLiteral("morvane-cli")} + arguments)) {
        // The parser's own message is English and may quote a key: say it plainly.
        return refuse(usageHint(QStringLiteral("无法识别的选项或缺少选项的值。")));
    }
    if (given(any, Option::Help)) {
        io.out << helpText();
        return StatusDone;
    }
    if (given(any, Option::Version)) {
        io.out << QStringLiteral("morvane-cli ") << morvane::version << '\n';
        return StatusDone;
    }
    if (given(any, Option::Key))
        return refuse(keyArgumentRefusal);

    const QStringList words = any.positionalArguments();
    const Command* command = commandFor(words);
    // No id begins like a key: a key there is refused before it can be echoed back.
    for (qsizetype extra = 1; extra < words.size(); ++extra) {
        if (beginsLikeApiKey(words[extra]))
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
    const QString target = command->targets.isEmpty() ? QString() : words.value(1);
    if (const std::optional<QString> notTaken = optionNotTaken(any, *command)) {
        const QString called = target.isEmpty() ? command->first : command->first + QLatin1Char(' ') + target;
        return refuse(usageHint(QStringLiteral("%1 不接受选项 --%2。").arg(called, *notTaken)));
    }
    bool keepIsNumber = false;
    const qint64 keep = any.value(options[size_t(Option::Keep)]).toLongLong(&keepIsNumber);
    if (command->takes(Option::Keep) && (!keepIsNumber || keep < 0))
        return refuse(QStringLiteral("请用 --keep N 指定要保留的备份个数（0 或更大的整数）。"));

    CommandRun commandRun(engine, io,
                          {given(any, Option::Json), given(any, Option::QuitCodex), any.value(options[size_t(Option::KeyFile)]), keep});
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
