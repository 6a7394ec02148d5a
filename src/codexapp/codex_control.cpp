#include "codexapp/codex_control.h"

#include "core/constants.h"

#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>

#include <unistd.h>

namespace {

// Polls until no Codex runs or the time is up.
bool waitUntilCodexEnded(Workspace& workspace, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!runningCodex(workspace).empty()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

bool appRuns(const std::vector<CodexProcess>& running)
{
    return std::any_of(running.begin(), running.end(), [](const CodexProcess& codex) { return codex.kind == CodexKind::App; });
}

} // namespace

std::vector<CodexProcess> runningCodex(Workspace& workspace)
{
    return runningCodex(workspace.runningApplications(mayBeCodex), qint32(::getpid()));
}

std::vector<CodexProcess> polledCodex(Workspace& workspace)
{
    return runningCodex(workspace.polledApplications(mayBeCodex), qint32(::getpid()));
}

QString codexRunningMessage(const std::vector<CodexProcess>& running)
{
    return appRuns(running) ? QStringLiteral("已检测到 Dock 里的 Codex 正在运行，退出后会自动恢复按钮。")
                            : QStringLiteral("已检测到终端或编辑器里的 Codex 正在运行，退出后会自动恢复按钮。");
}

QString codexRunningExplanation(const std::vector<CodexProcess>& running)
{
    return appRuns(running)
        ? QStringLiteral("Dock 里的 Codex 正在运行，可能会缓存或覆盖配置。请先退出 Codex；退出后按钮会自动恢复。")
        : QStringLiteral("终端或编辑器里的 Codex 正在运行，可能会缓存或覆盖配置。请先退出 Codex；退出后按钮会自动恢复。");
}

void openCodex(Workspace& workspace)
{
    if (!workspace.openApplication(morvane::codexAppPath))
        workspace.openURL(QUrl::fromLocalFile(morvane::codexAppPath));
}

void quitCodexAndWait(Workspace& workspace)
{
    for (const CodexProcess& codex : runningCodex(workspace))
        workspace.terminate(codex.pid);
    if (waitUntilCodexEnded(workspace, quitGracePeriodMs))
        return;
    for (const CodexProcess& codex : runningCodex(workspace))
        workspace.forceTerminate(codex.pid);
    waitUntilCodexEnded(workspace, forceQuitSettleMs);
}
