// Watching the Codex app: the running gate, quitting it and opening it after a switch.

#include "codexapp/codex_control.h"
#include "gui/app_delegate.h"
#include "gui/palette.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace {

constexpr int monitorIntervalMs = 1000;

} // namespace

void AppDelegate::startCodexMonitor()
{
    refreshCodexRunningGate();
    m_codexMonitorTimer = new QTimer(this);
    connect(m_codexMonitorTimer, &QTimer::timeout, this, &AppDelegate::refreshCodexRunningGate);
    m_codexMonitorTimer->start(monitorIntervalMs);
}

void AppDelegate::refreshCodexRunningGate()
{
    // The workflow under way checks for Codex itself, and its result is shown next.
    if (m_switching)
        return;
    m_runningCodex = polledCodex(m_workspace);
    // A Codex that ends is noticed at once, not at the next tick.
    for (const CodexProcess& codex : m_runningCodex) {
        m_workspace.notifyWhenEnded(codex.pid, [self = QPointer<AppDelegate>(this)] {
            if (self)
                self->refreshCodexRunningGate();
        });
    }
    const bool running = !m_runningCodex.empty();
    const bool wasBlocked = m_codexRunningBlocked;
    m_codexRunningBlocked = running;
    updateActionAvailability();
    if (running)
        setStatus(codexRunningMessage(m_runningCodex), palette::systemRed());
    else if (wasBlocked)
        setStatus(readyStatus(), palette::systemGreen());
}

// A sheet on the window that returns at once; one is enough while it is open.
void AppDelegate::showCodexRunningAlert()
{
    if (m_codexRunningAlert && m_codexRunningAlert->isVisible())
        return;
    auto* alert = new QMessageBox(m_window);
    alert->setObjectName(QStringLiteral("codexRunningAlert"));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setWindowModality(Qt::WindowModal);
    alert->setIcon(QMessageBox::Information);
    alert->setText(QStringLiteral("请先退出 Codex"));
    alert->setInformativeText(codexRunningExplanation(m_runningCodex));
    alert->addButton(QStringLiteral("好"), QMessageBox::AcceptRole);
    alert->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 320px; }"));
    m_codexRunningAlert = alert;
    alert->open();
}

void AppDelegate::quitRunningCodex()
{
    const std::vector<CodexProcess> running = runningCodex(m_workspace);
    if (running.empty()) {
        refreshCodexRunningGate();
        return;
    }
    setStatus(QStringLiteral("正在退出 Codex..."), palette::systemBlue());
    for (const CodexProcess& codex : running)
        m_workspace.terminate(codex.pid);
    QTimer::singleShot(quitGracePeriodMs, this, &AppDelegate::forceQuitCodexIfNeeded);
}

void AppDelegate::forceQuitCodexIfNeeded()
{
    const std::vector<CodexProcess> running = runningCodex(m_workspace);
    if (running.empty()) {
        refreshCodexRunningGate();
        return;
    }
    for (const CodexProcess& codex : running)
        m_workspace.forceTerminate(codex.pid);
    QTimer::singleShot(forceQuitSettleMs, this, &AppDelegate::refreshCodexRunningGate);
}
