#include "codexapp/codex_control.h"

#include "codexapp/codex_processes.h"
#include "core/constants.h"

#include <QDeadlineTimer>
#include <QThread>

#include <unistd.h>

namespace {

// Polls until no Codex runs or the time is up.
bool waitUntilCodexEnded(Workspace& workspace, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!runningCodexPIDs(workspace).isEmpty()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

} // namespace

QList<qint32> runningCodexPIDs(Workspace& workspace)
{
    return runningCodexPIDs(workspace.runningApplications(), qint32(::getpid()));
}

QString codexRunningMessage()
{
    return QStringLiteral("已检测到 Dock 里的 Codex 正在运行，退出后会自动恢复按钮。");
}

void openCodex(Workspace& workspace)
{
    if (!workspace.openApplication(morvane::codexAppPath))
        workspace.openURL(QUrl::fromLocalFile(morvane::codexAppPath));
}

bool quitCodexAndWait(Workspace& workspace)
{
    for (const qint32 pid : runningCodexPIDs(workspace))
        workspace.terminate(pid);
    if (waitUntilCodexEnded(workspace, quitGracePeriodMs))
        return true;
    for (const qint32 pid : runningCodexPIDs(workspace))
        workspace.forceTerminate(pid);
    return waitUntilCodexEnded(workspace, forceQuitSettleMs);
}
