// Watching the Codex app: the running gate, quitting it and opening it after a switch.

#include "codexapp/codex_processes.h"
#include "core/constants.h"
#include "ui/app_delegate.h"
#include "ui/messages.h"
#include "ui/palette.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr int monitorIntervalMs = 1000;
constexpr int quitGracePeriodMs = 2000;
constexpr int forceQuitSettleMs = 500;

} // namespace

void AppDelegate::startCodexMonitor()
{
    refreshCodexRunningGate();
    m_codexMonitorTimer = new QTimer(this);
    connect(m_codexMonitorTimer, &QTimer::timeout, this, &AppDelegate::refreshCodexRunningGate);
    m_codexMonitorTimer->start(monitorIntervalMs);
}

QList<qint32> AppDelegate::runningCodexPIDs() const
{
    return ::runningCodexPIDs(m_workspace.runningApplications(), qint32(::getpid()));
}

void AppDelegate::refreshCodexRunningGate()
{
    const QList<qint32> pids = runningCodexPIDs();
    // A Codex that ends is noticed at once, not at the next tick.
    for (const qint32 pid : pids) {
        m_workspace.notifyWhenEnded(pid, [self = QPointer<AppDelegate>(this)] {
            if (self)
                self->refreshCodexRunningGate();
        });
    }
    const bool running = !pids.isEmpty();
    const bool wasBlocked = m_codexRunningBlocked;
    m_codexRunningBlocked = running;
    updateActionAvailability();
    if (running)
        setStatus(codexRunningMessage(), palette::systemRed());
    else if (wasBlocked && !m_switching)
        setStatus(readyStatus(), palette::systemGreen());
}

bool AppDelegate::guardCodexNotRunning()
{
    if (runningCodexPIDs().isEmpty())
        return true;
    setStatus(codexRunningMessage(), palette::systemRed());
    showCodexRunningAlert();
    return false;
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
    alert->setInformativeText(QStringLiteral("Dock 里的 Codex 正在运行，可能会缓存或覆盖配置。请先退出 Codex；退出后按钮会自动恢复。"));
    alert->addButton(QStringLiteral("好"), QMessageBox::AcceptRole);
    alert->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_informativelabel { min-width: 320px; }"));
    m_codexRunningAlert = alert;
    alert->open();
}

void AppDelegate::quitRunningCodex()
{
    const QList<qint32> pids = runningCodexPIDs();
    if (pids.isEmpty()) {
        refreshCodexRunningGate();
        return;
    }
    setStatus(QStringLiteral("正在退出 Codex..."), palette::systemBlue());
    for (const qint32 pid : pids)
        m_workspace.terminate(pid);
    QTimer::singleShot(quitGracePeriodMs, this, &AppDelegate::forceQuitCodexIfNeeded);
}

void AppDelegate::forceQuitCodexIfNeeded()
{
    const QList<qint32> pids = runningCodexPIDs();
    if (pids.isEmpty()) {
        refreshCodexRunningGate();
        return;
    }
    for (const qint32 pid : pids)
        m_workspace.forceTerminate(pid);
    QTimer::singleShot(forceQuitSettleMs, this, &AppDelegate::refreshCodexRunningGate);
}

void AppDelegate::openCodexAfterSwitch()
{
    if (!m_workspace.openApplication(morvane::codexAppPath))
        m_workspace.openURL(QUrl::fromLocalFile(morvane::codexAppPath));
}
