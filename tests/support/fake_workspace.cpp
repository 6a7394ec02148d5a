#include "support/fake_workspace.h"

#include <algorithm>

RunningApplication FakeWorkspace::codex(qint32 pid)
{
    return {pid, QStringLiteral("Codex"), QStringLiteral("com.openai.codex"), QStringLiteral("/Applications/Codex.app"),
            QStringLiteral("/Applications/Codex.app/Contents/MacOS/Codex")};
}

void FakeWorkspace::terminate(qint32 pid)
{
    terminated.append(pid);
    if (quitEndsProcesses)
        remove(pid);
}

void FakeWorkspace::forceTerminate(qint32 pid)
{
    forceTerminated.append(pid);
    remove(pid);
}

bool FakeWorkspace::openApplication(const QString& bundlePath)
{
    openedApplications.append(bundlePath);
    return true;
}

bool FakeWorkspace::openURL(const QUrl& url)
{
    openedURLs.append(url);
    return true;
}

void FakeWorkspace::remove(qint32 pid)
{
    applications.erase(std::remove_if(applications.begin(), applications.end(),
                                      [pid](const RunningApplication& application) { return application.pid == pid; }),
                       applications.end());
}

void FakeWorkspace::notifyWhenEnded(qint32 pid, std::function<void()> ended)
{
    m_endWatches.try_emplace(pid, std::move(ended));
}

void FakeWorkspace::endProcess(qint32 pid)
{
    remove(pid);
    const auto watch = m_endWatches.find(pid);
    if (watch == m_endWatches.end())
        return;
    const std::function<void()> ended = std::move(watch->second);
    m_endWatches.erase(watch);
    ended();
}
