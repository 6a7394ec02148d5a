#include "cli/command_line.h"

#include "cli/backup_commands.h"
#include "cli/command_table.h"
#include "cli/health_report.h"
#include "cli/key_input.h"
#include "cli/saved_keys.h"
#include "cli/status_report.h"
#include "core/api_key.h"
#include "core/constants.h"
#include "core/files/file_errors.h"

#include <QCommandLineParser>
#include <QFile>
#include <QMap>

#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString tooLongForAKey = QStringLiteral("内容超过 64 KiB，不是 TEVRUN API");
const QString standardInput = QStringLiteral("标准输入");

const QMap<QString, QString> whatFollows = {
    {QStringLiteral("switch"), QStringLiteral("api 或 account")},
    {QStringLiteral("repair"), QStringLiteral("api 或 account")},
    {QStringLiteral("keys"), QStringLiteral("list 或 forget ID")},
    {QStringLiteral("backups"), QStringLiteral("list、restore ID、verify [ID] 或 prune --keep N")},
};

const QString keyArgumentRefusal = QStringLiteral(
    "不接受写在命令行参数里的 TEVRUN API：本机的所有用户都能看到进程的参数。"
    "请用 --key-file 文件、标准输入或环境变量 TEVRUN_API_KEY 传入。");

// The workflow's message in this program's words: the running Codex named before it, and
// the command that puts a restore point back after it.
QString resultText(const WorkflowResult& result)
{
    QString text = result.message;
    if (!result.codex.empty()) {
        text.prepend(codexAppRuns(result.codex) ? QStringLiteral("已检测到 Dock 里的 Codex 正在运行，请先退出它，或加上 --quit-codex 再试。")
                                                : QStringLiteral("已检测到终端或编辑器里的 Codex 正在运行，请先退出它，或加上 --quit-codex 再试。"));
    }
    if (result.restoreByHand)
        text += QStringLiteral(" 请用 morvane-cli backups restore %1 恢复。").arg(*result.restoreByHand);
    return text;
}

int statusFor(WorkflowResult::Outcome outcome)
{
    switch (outcome) {
    case WorkflowResult::Outcome::Done:
        return StatusDone;
    case WorkflowResult::Outcome::Refused:
        return StatusRefused;
    case WorkflowResult::Outcome::CodexRunning:
        return StatusCodexRunning;
    case WorkflowResult::Outcome::Failed:
        break;
    }
    return StatusFailed;
}

class CommandLine {
public:
    CommandLine(Workflows& engine, CommandLineIo& io) : m_engine(engine), m_io(io) {}

    int run(const QStringList& arguments)
    {
        QCommandLineParser parser;
        parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
        const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
        const QCommandLineOption version(QStringLiteral("version"));
        const QCommandLineOption json(QStringLiteral("json"));
        const QCommandLineOption keyFile(QStringLiteral("key-file"), QString(), QStringLiteral("file"));
        const QCommandLineOption quitCodex(QStringLiteral("quit-codex"));
        const QCommandLineOption keep(QStringLiteral("keep"), QString(), QStringLiteral("count"));
        const QCommandLineOption key(QStringLiteral("key"), QString(), QStringLiteral("key")); // refused
        parser.addOptions({help, version, json, keyFile, quitCodex, keep, key});
        if (!parser.parse(QStringList{QStringLiteral("morvane-cli")} + arguments)) {
            // The parser's own message is English and may quote a key: say it plainly.
            return refuse(QStringLiteral("无法识别的选项或缺少选项的值。运行 morvane-cli --help 查看用法。"));
        }
        if (parser.isSet(help)) {
            m_io.out << helpText();
            return StatusDone;
        }
        if (parser.isSet(version)) {
            m_io.out << QStringLiteral("morvane-cli ") << morvane::version << '\n';
            return StatusDone;
        }
        if (parser.isSet(key))
            return refuse(keyArgumentRefusal);

        const QStringList words = parser.positionalArguments();
        const QString command = words.value(0);
        const QString target = words.value(1);
        qsizetype expected = command == QLatin1String("switch") || command == QLatin1String("repair") ? 2 : 1;
        if (command == QLatin1String("keys") || command == QLatin1String("backups")) {
            const bool takesId = target == QLatin1String("forget") || target == QLatin1String("restore")
                || (target == QLatin1String("verify") && words.size() > 2);
            expected = takesId ? 3 : 2;
        }
        // No id begins like a key: a key there is refused before it can be echoed back.
        for (qsizetype extra = 1; extra < words.size(); ++extra) {
            if (words[extra].trimmed().startsWith(QLatin1String("sk-")))
                return refuse(keyArgumentRefusal);
        }
        if (words.size() > expected)
            return refuse(QStringLiteral("参数过多。运行 morvane-cli --help 查看用法。"));

        m_keyFile = parser.value(keyFile);
        m_quitCodex = parser.isSet(quitCodex);
        // A workflow cut off is put right before anything else looks at the home.
        if (const QString recovered = resultText(m_engine.recoverInterruptedWork()); !recovered.isEmpty())
            m_io.err << recovered << '\n';
        if (command == QLatin1String("status"))
            return printStatus(m_engine, m_io.out, m_io.err, parser.isSet(json));
        if (command == QLatin1String("doctor"))
            return printHealth(m_engine, m_io.out, parser.isSet(json));
        if (command == QLatin1String("check-key"))
            return withKey([this](const QString& k) { return m_engine.checkKey(k); });
        if (command == QLatin1String("switch") && target == QLatin1String("api"))
            return withKey([this](const QString& k) { return m_engine.switchToApi(k); });
        if (command == QLatin1String("switch") && target == QLatin1String("account"))
            return runWorkflow([this] { return m_engine.switchToAccount(); });
        if (command == QLatin1String("repair") && target == QLatin1String("api"))
            return withKey([this](const QString& k) { return m_engine.repair(ModeApi, k); });
        if (command == QLatin1String("repair") && target == QLatin1String("account"))
            return runWorkflow([this] { return m_engine.repair(ModeAccount, QString()); });
        if (command == QLatin1String("move-conversations"))
            return runWorkflow([this] { return m_engine.moveVisibleConversations(); });
        if (command == QLatin1String("keys") && target == QLatin1String("list"))
            return listSavedKeys(m_engine, m_io.out, parser.isSet(json));
        if (command == QLatin1String("keys") && target == QLatin1String("forget") && words.size() == 3)
            return forgetSavedKey(m_engine, words[2], m_io.out, m_io.err);
        if (command == QLatin1String("backups") && target == QLatin1String("list"))
            return listBackups(m_engine, m_io.out, parser.isSet(json));
        if (command == QLatin1String("backups") && target == QLatin1String("restore") && words.size() == 3)
            return runWorkflow([this, &words] { return m_engine.restoreBackup(words[2]); });
        if (command == QLatin1String("backups") && target == QLatin1String("verify"))
            return verifyBackups(m_engine, words.value(2), m_io.out, m_io.err);
        if (command == QLatin1String("backups") && target == QLatin1String("prune"))
            return prune(parser.value(keep));
        if (command.isEmpty())
            return refuse(QStringLiteral("缺少命令。运行 morvane-cli --help 查看用法。"));
        // A known command with a missing or unknown word after it: say which words it takes.
        const QString next = whatFollows.value(command);
        if (!next.isEmpty())
            return refuse(QStringLiteral("%1 后面要接 %2。运行 morvane-cli --help 查看用法。").arg(command, next));
        return refuse(QStringLiteral("未知的命令。运行 morvane-cli --help 查看用法。"));
    }

private:
    int refuse(const QString& message)
    {
        m_io.err << message << '\n';
        return StatusRefused;
    }

    // Only when asked, and only with the number of points to keep.
    int prune(const QString& keep)
    {
        bool isNumber = false;
        const qint64 count = keep.toLongLong(&isNumber);
        if (!isNumber || count < 0)
            return refuse(QStringLiteral("请用 --keep N 指定要保留的备份个数（0 或更大的整数）。"));
        return runWorkflow([this, count] { return m_engine.pruneBackups(count); });
    }

    // From the key file, else standard input when it is not a terminal, else the
    // environment; nothing (after a message) when none gives a key.
    std::optional<QString> readKey()
    {
        if (!m_keyFile.isEmpty()) {
            // The file may be a pipe, as in --key-file <(pass show tevrun).
            const int fd = ::open(QFile::encodeName(m_keyFile).constData(), O_RDONLY | O_CLOEXEC);
            const std::optional<QByteArray> bytes = fd < 0 ? std::nullopt : readKeyInput(fd);
            const int readError = errno;
            if (fd >= 0)
                ::close(fd);
            // --key-file=sk-…: a key given where its file was meant must not be echoed back.
            if (fd < 0 && readError == ENOENT && m_keyFile.trimmed().startsWith(QLatin1String("sk-"))) {
                m_io.err << keyArgumentRefusal << '\n';
                return std::nullopt;
            }
            if (!bytes) {
                m_io.err << files::systemError(QStringLiteral("读取"), m_keyFile, readError).message << '\n';
                return std::nullopt;
            }
            if (bytes->size() > keyInputLimit) {
                m_io.err << files::fileErrorWithReason(QStringLiteral("读取"), m_keyFile, tooLongForAKey).message << '\n';
                return std::nullopt;
            }
            return QString::fromUtf8(*bytes);
        }
        if (!m_io.inputIsTerminal) {
            // A failed read is no empty input: the environment's key may not be the one meant.
            const std::optional<QByteArray> bytes = m_io.readInput();
            const int readError = errno;
            if (!bytes) {
                m_io.err << files::systemError(QStringLiteral("读取"), standardInput, readError).message << '\n';
                return std::nullopt;
            }
            if (bytes->size() > keyInputLimit) {
                m_io.err << standardInput << tooLongForAKey << QStringLiteral("。") << '\n';
                return std::nullopt;
            }
            const QString input = QString::fromUtf8(*bytes).trimmed();
            if (!input.isEmpty())
                return input;
        }
        if (!m_io.environmentKey.trimmed().isEmpty())
            return m_io.environmentKey;
        m_io.err << QStringLiteral("没有拿到 TEVRUN API：请用 --key-file 文件、标准输入或环境变量 TEVRUN_API_KEY 传入。")
                 << '\n';
        return std::nullopt;
    }

    int withKey(const std::function<WorkflowResult(const QString&)>& work)
    {
        const std::optional<QString> key = readKey();
        if (!key)
            return StatusRefused;
        return runWorkflow([&] { return work(*key); });
    }

    int runWorkflow(const std::function<WorkflowResult()>& work)
    {
        if (m_quitCodex && !m_engine.runningCodex().empty()) {
            showProgress(QStringLiteral("正在退出 Codex..."), 0, 0);
            m_engine.quitCodexAndWait();
        }
        const QMetaObject::Connection reporting =
            QObject::connect(&m_engine, &Workflows::progress, &m_engine,
                             [this](const QString& text, qint64 done, qint64 total) { showProgress(text, done, total); },
                             Qt::DirectConnection);
        const WorkflowResult result = work();
        QObject::disconnect(reporting);
        if (m_showingProgress)
            m_io.err << "\r\033[K" << Qt::flush;
        if (result.outcome == WorkflowResult::Outcome::Done) {
            m_io.out << resultText(result) << '\n';
            if (result.openCodex)
                m_engine.openCodex();
        } else {
            m_io.err << resultText(result) << '\n';
        }
        return statusFor(result.outcome);
    }

    // One line that updates in place, on a terminal only.
    void showProgress(const QString& text, qint64 done, qint64 total)
    {
        if (!m_io.errorIsTerminal)
            return;
        m_io.err << "\r\033[K" << text;
        if (total > 0)
            m_io.err << ' ' << done << '/' << total;
        m_io.err << Qt::flush;
        m_showingProgress = true;
    }

    Workflows& m_engine;
    CommandLineIo& m_io;
    QString m_keyFile;
    bool m_quitCodex = false;
    bool m_showingProgress = false;
};

} // namespace

int runCommandLine(const QStringList& arguments, Workflows& engine, CommandLineIo& io)
{
    CommandLine commandLine(engine, io);
    const int status = commandLine.run(arguments);
    io.out.flush();
    io.err.flush();
    return status;
}
