#include "cli/command_run.h"

#include "cli/key_input.h"
#include "core/api_key.h"
#include "core/files/file_errors.h"
#include "wording/workflow_wording.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

const QString keyArgumentRefusal = QStringLiteral(
    "不接受写在命令行参数里的 TEVRUN API：本机的所有用户都能看到进程的参数。"
    "请用 --key-file 文件、标准输入或环境变量 TEVRUN_API_KEY 传入。");

namespace {

const QString standardInput = QStringLiteral("标准输入");

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

} // namespace

QString resultText(const WorkflowResult& result)
{
    QString text = outcomeText(result);
    if (!result.codex.empty()) {
        text.prepend(codexAppRuns(result.codex) ? QStringLiteral("已检测到 Dock 里的 Codex 正在运行，请先退出它，或加上 --quit-codex 再试。")
                                                : QStringLiteral("已检测到终端或编辑器里的 Codex 正在运行，请先退出它，或加上 --quit-codex 再试。"));
    }
    if (result.restoreByHand)
        text += QStringLiteral(" 请用 morvane-cli backups restore %1 恢复。").arg(*result.restoreByHand);
    if (result.repairWith)
        text += QStringLiteral(" 可以用 morvane-cli repair %1 按标准模板重写它。")
                    .arg(*result.repairWith == ModeApi ? QStringLiteral("api") : QStringLiteral("account"));
    return text;
}

bool CommandRun::readKey()
{
    if (!m_options.keyFile.isEmpty()) {
        // The file may be a pipe, as in --key-file <(pass show tevrun).
        const int fd = ::open(QFile::encodeName(m_options.keyFile).constData(), O_RDONLY | O_CLOEXEC);
        const std::optional<QByteArray> bytes = fd < 0 ? std::nullopt : readKeyInput(fd);
        const int readError = errno;
        if (fd >= 0)
            ::close(fd);
        // --key-file=sk-…: a key given where its file was meant must not be echoed back.
        if (fd < 0 && readError == ENOENT && beginsLikeApiKey(m_options.keyFile)) {
            m_io.err << keyArgumentRefusal << '\n';
            return false;
        }
        if (!bytes) {
            m_io.err << files::systemError(QStringLiteral("读取"), m_options.keyFile, readError).message << '\n';
            return false;
        }
        return takeKeyFrom(*bytes, [this](const QString& reason) {
            return files::fileErrorWithReason(QStringLiteral("读取"), m_options.keyFile, reason).message;
        });
    }
    if (!m_io.inputIsTerminal) {
        // A failed read is no empty input: the environment's key may not be the one meant.
        const std::optional<QByteArray> bytes = m_io.readInput();
        const int readError = errno;
        if (!bytes) {
            m_io.err << files::systemError(QStringLiteral("读取"), standardInput, readError).message << '\n';
            return false;
        }
        if (!bytes->trimmed().isEmpty())
            return takeKeyFrom(*bytes, [](const QString& reason) { return standardInput + reason + QStringLiteral("。"); });
    }
    if (!m_io.environmentKey.trimmed().isEmpty())
        return takeKeyFrom(m_io.environmentKey,
                           [](const QString& reason) { return QStringLiteral("环境变量 TEVRUN_API_KEY 的") + reason + QStringLiteral("。"); });
    m_io.err << QStringLiteral("没有拿到 TEVRUN API：请用 --key-file 文件、标准输入或环境变量 TEVRUN_API_KEY 传入。")
             << '\n';
    return false;
}

// A key is a short line of text: anything else is refused by what it is, named by its source.
bool CommandRun::takeKeyFrom(const QByteArray& bytes, const std::function<QString(const QString& reason)>& refusal)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    QString reason;
    if (bytes.size() > keyInputLimit)
        reason = QStringLiteral("内容超过 64 KiB，不是 TEVRUN API");
    else if (utf8.hasError() || bytes.contains('\0'))
        reason = QStringLiteral("内容不是文本，不是 TEVRUN API");
    else if (text.trimmed().isEmpty())
        reason = QStringLiteral("内容是空的，没有 TEVRUN API");
    if (!reason.isEmpty()) {
        m_io.err << refusal(reason) << '\n';
        return false;
    }
    m_key = text.trimmed();
    return true;
}

int CommandRun::workflow(const std::function<WorkflowResult()>& work)
{
    if (m_options.quitCodex && !m_engine.codexProcesses().empty()) {
        showProgress(QStringLiteral("正在退出 Codex..."), 0, 0);
        m_engine.quitCodexAndWait();
    }
    const QMetaObject::Connection reporting =
        QObject::connect(&m_engine, &Workflows::progress, &m_engine,
                         [this](WorkflowTask task, qint64 done, qint64 total) { showProgress(taskText(task), done, total); },
                         Qt::DirectConnection);
    const WorkflowResult result = work();
    QObject::disconnect(reporting);
    if (m_showingProgress)
        m_io.err << "\r\033[K" << Qt::flush;
    return show(result);
}

int CommandRun::show(const WorkflowResult& result)
{
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
void CommandRun::showProgress(const QString& text, qint64 done, qint64 total)
{
    if (!m_io.errorIsTerminal)
        return;
    m_io.err << "\r\033[K" << text;
    if (total > 0)
        m_io.err << ' ' << done << '/' << total;
    m_io.err << Qt::flush;
    m_showingProgress = true;
}
