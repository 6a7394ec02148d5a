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

} // namespace

std::vector<CodexProcess> runningCodex(Workspace& workspace)
{
    return runningCodex(workspace.runningApplications(mayBeCodex), qint32(::getpid()));
}

std::vector<CodexProcess> polledCodex(Workspace& workspace)
{
    return runningCodex(workspace.polledApplications(mayBeCodex), qint32(::getpid()));
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
