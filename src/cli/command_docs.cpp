#include "cli/command_docs.h"

#include "cli/command.h"

#include <QMap>
#include <QStringList>

#include <algorithm>

namespace {

const QString description = QStringLiteral("在 GPT 账号 登陆和 TEVRUN API 之间切换 Codex，和 Morvane 窗口做的完全一样。");
const QString keySources = QStringLiteral("TEVRUN API 依次取自 --key-file、标准输入（不是终端时）、环境变量 TEVRUN_API_KEY。");
const QString noKeyArguments = QStringLiteral("不接受写在命令行参数里的密钥：本机的所有用户都能看到进程的参数。");
const QString exitStatuses =
    QStringLiteral("退出状态：0 完成，1 失败（doctor：发现了问题），2 拒绝（输入或用法有误），3 Codex 正在运行。");

// Columns as a terminal shows them: a Chinese character takes two.
int displayWidth(const QString& text)
{
    int width = 0;
    for (const QChar c : text)
        width += c.unicode() >= 0x1100 ? 2 : 1;
    return width;
}

QString helpLine(const QString& words, const QString& summary)
{
    return QStringLiteral("  ") + words + QString(std::max(2, 21 - displayWidth(words)), QLatin1Char(' ')) + summary
        + QLatin1Char('\n');
}

// The first words and, for each, the words that may follow it, in the table's order.
QStringList firstWords()
{
    QStringList words;
    for (const Command& command : commands()) {
        if (!words.contains(command.first))
            words << command.first;
    }
    return words;
}

QStringList wordsAfter(const QString& first)
{
    QStringList words;
    for (const Command& command : commands()) {
        if (command.first != first)
            continue;
        for (const QString& word : command.targets) {
            if (!words.contains(word))
                words << word;
        }
    }
    return words;
}

// The options the completions and the manual page offer: every one not there only to be refused.
std::vector<CommandOption> offeredOptions()
{
    std::vector<CommandOption> offered;
    for (const CommandOption& option : commandOptions()) {
        if (!option.refused)
            offered.push_back(option);
    }
    return offered;
}

// "-h, --help"
QString shownName(const CommandOption& option)
{
    return option.shortName.isEmpty() ? option.name : QStringLiteral("-%1, %2").arg(option.shortName, option.name);
}

// An option a command needs is shown with it, not among the options.
bool neededByACommand(const CommandOption& option)
{
    return std::any_of(commands().begin(), commands().end(), [&option](const Command& command) {
        return std::find(command.required.begin(), command.required.end(), option.id) != command.required.end();
    });
}

// What a first word does: its command's summary, or the summary of the group of commands it
// begins.
QString summaryOf(const QString& first)
{
    QStringList summaries;
    for (const Command& command : commands()) {
        if (command.first == first)
            summaries << command.summary;
    }
    return summaries.size() == 1 ? summaries[0] : commandGroupSummary(first);
}

// What a word after the first does: the summary of the command it calls.
QString summaryOf(const QString& first, const QString& next)
{
    for (const Command& command : commands()) {
        if (command.first == first && command.targets.contains(next))
            return command.summary;
    }
    return QString();
}

QStringList optionNames()
{
    QStringList names;
    for (const CommandOption& option : offeredOptions())
        names << option.name;
    return names;
}

QString bashScript()
{
    QString script = QStringLiteral("# bash completion for morvane-cli\n_morvane_cli()\n{\n"
                                    "    local current=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD-1]}\n"
                                    "    case $previous in\n        --key-file) COMPREPLY=($(compgen -f -- \"$current\")); return ;;\n");
    for (const QString& first : firstWords()) {
        const QStringList next = wordsAfter(first);
        if (!next.isEmpty())
            script += QStringLiteral("        %1) COMPREPLY=($(compgen -W \"%2\" -- \"$current\")); return ;;\n").arg(first, next.join(' '));
    }
    script += QStringLiteral("    esac\n    if [[ $current == -* ]]; then\n        COMPREPLY=($(compgen -W \"%1\" -- \"$current\"))\n"
                             "    elif (( COMP_CWORD == 1 )); then\n        COMPREPLY=($(compgen -W \"%2\" -- \"$current\"))\n    fi\n}\n"
                             "complete -F _morvane_cli morvane-cli\n")
                  .arg(optionNames().join(' '), firstWords().join(' '));
    return script;
}

QString zshScript()
{
    QString script = QStringLiteral("#compdef morvane-cli\n# zsh completion for morvane-cli\n_morvane_cli() {\n"
                                    "    local -a commands\n    commands=(\n");
    for (const QString& first : firstWords())
        script += QStringLiteral("        '%1:%2'\n").arg(first, summaryOf(first));
    script += QStringLiteral("    )\n    _arguments \\\n");
    for (const CommandOption& option : offeredOptions()) {
        const QString& name = option.name;
        script += option.argument.isEmpty() ? QStringLiteral("        '%1[%2]' \\\n").arg(name, option.summary)
                                            : QStringLiteral("        '%1=[%2]:%3:%4' \\\n")
                                                  .arg(name, option.summary, option.argument,
                                                       name == QLatin1String("--key-file") ? QStringLiteral("_files") : QString());
    }
    script += QStringLiteral("        '1:命令:->command' \\\n        '2:参数:->argument'\n    case $state in\n"
                             "        command) _describe 命令 commands ;;\n        argument)\n            case $words[2] in\n");
    for (const QString& first : firstWords()) {
        QStringList described;
        for (const QString& next : wordsAfter(first))
            described << QStringLiteral("'%1:%2'").arg(next, summaryOf(first, next));
        if (!described.isEmpty())
            script += QStringLiteral("                %1) local -a words=(%2); _describe %1 words ;;\n").arg(first, described.join(' '));
    }
    script += QStringLiteral("            esac ;;\n    esac\n}\n_morvane_cli \"$@\"\n");
    return script;
}

QString fishScript()
{
    QString script = QStringLiteral("# fish completion for morvane-cli\ncomplete -c morvane-cli -f\n");
    for (const QString& first : firstWords()) {
        script += QStringLiteral("complete -c morvane-cli -n __fish_use_subcommand -a %1 -d '%2'\n").arg(first, summaryOf(first));
        for (const QString& next : wordsAfter(first)) {
            script += QStringLiteral("complete -c morvane-cli -n '__fish_seen_subcommand_from %1' -a %2 -d '%3'\n")
                          .arg(first, next, summaryOf(first, next));
        }
    }
    for (const CommandOption& option : offeredOptions()) {
        const QString name = option.name.mid(2);
        script += QStringLiteral("complete -c morvane-cli -l %1%2 -d '%3'\n")
                      .arg(name, option.argument.isEmpty() ? QString() : QStringLiteral(" -r -F"), option.summary);
    }
    return script;
}

// Roff takes a backslash for an escape and a plain hyphen for a break point. (No command's
// or option's text starts a line with a dot.)
QString roff(const QString& text)
{
    return QString(text).replace(QLatin1Char('\\'), QLatin1String("\\e")).replace(QLatin1Char('-'), QLatin1String("\\-"));
}

} // namespace

QString helpText()
{
    QString text = QStringLiteral("用法：morvane-cli <命令> [选项]\n\n") + description + QStringLiteral("\n\n命令：\n");
    for (const Command& command : commands())
        text += helpLine(command.usage(), command.summary);
    text += QStringLiteral("\n选项：\n");
    for (const CommandOption& option : offeredOptions()) {
        if (!neededByACommand(option))
            text += helpLine(option.argument.isEmpty() ? shownName(option) : shownName(option) + QLatin1Char(' ') + option.argument, option.summary);
    }
    return text + QStringLiteral("\n") + keySources + QStringLiteral("\n") + noKeyArguments + QStringLiteral("\n\n") + exitStatuses
        + QStringLiteral("\n");
}

QString completionScript(const QString& shell)
{
    if (shell == QLatin1String("bash"))
        return bashScript();
    if (shell == QLatin1String("zsh"))
        return zshScript();
    if (shell == QLatin1String("fish"))
        return fishScript();
    return QString();
}

QString manualPage(const QString& version)
{
    QString page = QStringLiteral(".TH MORVANE-CLI 1 \"\" \"Morvane %1\" \"用户命令\"\n.SH 名称\nmorvane\\-cli \\- %2\n"
                                  ".SH 用法\n.B morvane\\-cli\n.I 命令\n[\\fI选项\\fR]\n.SH 命令\n")
                       .arg(roff(version), roff(description));
    for (const Command& command : commands())
        page += QStringLiteral(".TP\n.B %1\n%2\n").arg(roff(command.usage()), roff(command.summary));
    page += QStringLiteral(".SH 选项\n");
    for (const CommandOption& option : offeredOptions()) {
        page += QStringLiteral(".TP\n.B %1%2\n%3\n")
                    .arg(roff(shownName(option)), option.argument.isEmpty() ? QString() : QStringLiteral(" \\fI%1\\fR").arg(roff(option.argument)),
                         roff(option.summary));
    }
    return page + QStringLiteral(".SH 密钥\n%1\n.PP\n%2\n.SH 退出状态\n%3\n").arg(roff(keySources), roff(noKeyArguments), roff(exitStatuses));
}
