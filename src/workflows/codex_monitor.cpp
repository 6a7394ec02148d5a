#include "workflows/codex_monitor.h"

#include "codexapp/codex_control.h"

#include <QPointer>
#include <QTimer>

namespace {

constexpr int monitorIntervalMs = 1000;

} // namespace

CodexMonitor::CodexMonitor(Workspace& workspace, QObject* parent) : QObject(parent), m_workspace(workspace) {}

void CodexMonitor::start()
{
    poll();
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &CodexMonitor::poll);
    m_timer->start(monitorIntervalMs);
}

void CodexMonitor::stop()
{
    delete m_timer;
    m_timer = nullptr;
}

void CodexMonitor::poll()
{
    std::vector<CodexProcess> now = polledCodex(m_workspace);
    // A Codex that ends is noticed at once, not at the next tick.
    for (const CodexProcess& codex : now) {
        m_workspace.notifyWhenEnded(codex.pid, [self = QPointer<CodexMonitor>(this)] {
            if (self)
                self->poll();
        });
    }
    if (now == m_running)
        return;
    m_running = std::move(now);
    Q_EMIT runningChanged();
}

void CodexMonitor::quitCodex()
{
    const std::vector<CodexProcess> running = runningCodex(m_workspace);
    if (running.empty())
        return lookAfterQuit();
    Q_EMIT quitStarted();
    for (const CodexProcess& codex : running)
        m_workspace.terminate(codex.pid);
    QTimer::singleShot(quitGracePeriodMs, this, &CodexMonitor::forceQuitIfNeeded);
}

void CodexMonitor::forceQuitIfNeeded()
{
    const std::vector<CodexProcess> running = runningCodex(m_workspace);
    if (running.empty())
        return lookAfterQuit();
    for (const CodexProcess& codex : running)
        m_workspace.forceTerminate(codex.pid);
    QTimer::singleShot(forceQuitSettleMs, this, &CodexMonitor::lookAfterQuit);
}

void CodexMonitor::lookAfterQuit()
{
    const std::vector<CodexProcess> before = m_running;
    poll();
    // Reported even unchanged: a Codex that would not quit shows again in place of the quitting.
    if (m_running == before)
        Q_EMIT runningChanged();
}
