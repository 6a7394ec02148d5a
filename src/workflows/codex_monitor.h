#pragma once

#include "codexapp/codex_processes.h"
#include "codexapp/workspace.h"

#include <QObject>

#include <vector>

class QTimer;

// Watches for Codex without widgets: a look once a second, and at once when a Codex it saw
// ends. Reports when the set of running Codex processes changes.
class CodexMonitor : public QObject {
    Q_OBJECT
public:
    explicit CodexMonitor(Workspace& workspace, QObject* parent = nullptr);

    // Looks now, then once a second until stop().
    void start();
    void stop();
    // Looks now; reports a change.
    void poll();
    const std::vector<CodexProcess>& running() const { return m_running; }

    // Asks every running Codex to quit, force-quits what still runs after the grace period,
    // and looks again once that settled.
    void quitCodex();

Q_SIGNALS:
    // The running Codex changed, or a quit is over: whatever runs now is in running().
    void runningChanged();
    // Codex runs and has just been asked to quit.
    void quitStarted();

private:
    void forceQuitIfNeeded();
    void lookAfterQuit();

    Workspace& m_workspace;
    QTimer* m_timer = nullptr;
    std::vector<CodexProcess> m_running;
};
