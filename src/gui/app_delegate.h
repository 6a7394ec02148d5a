#pragma once

#include "core/switch_mode.h"
#include "workflows/workflows.h"

#include <QFutureSynchronizer>
#include <QFutureWatcher>
#include <QObject>

#include <functional>

class CodexMonitor;
class MainWindow;

// Owns the engine, the Codex monitor and the window, and connects them: what the user
// asks for in the window runs on the engine on a thread of the pool, never the window's,
// and its result and the monitor's findings go back to the window.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate(CodexHome home, RelayEndpoint relay, Workspace& workspace, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Light palette and window; the window shows, in front, once the start-up state has
    // been read off the window's thread.
    void launch();
    // Stops the monitor and waits for work under way; runs when the application is about
    // to quit.
    void shutDown();
    // Shows the window in front of the others, restored if it was minimised.
    void bringToFront();
    // Replaces the system alert sound.
    void setAlertSound(std::function<void()> sound) { m_alertSound = std::move(sound); }

    MainWindow* window() const { return m_window; }
    bool isWorking() const { return m_working; }

private:
    // What the window opens with, read off the window's thread.
    struct StartUp {
        InitialState state;
        bool cutOff = false;
        bool accountLogin = false;
    };
    // A workflow's result with what the button's title depends on, read after it.
    struct Finished {
        WorkflowResult result;
        bool accountLogin = false;
    };
    void openWindow(const StartUp& startUp);
    // Runs the engine's work off the window's thread, then what shows it on the window's.
    template <typename T>
    void offThread(std::function<T()> work, std::function<void(const T&)> show);
    void selectMode(SwitchMode mode);
    void chooseMode(SwitchMode mode);
    void runPrimaryAction();
    void repairConfig();
    void checkApiKey();
    void listRestorePoints();
    void forgetKey(const HistoryItem& item);
    // Quits now, or once the work under way is done: nothing is left half-done.
    void requestQuit();

    void runWorkflow(std::function<WorkflowResult(Workflows&)> work);
    void showResult(const Finished& finished);
    QString actionTitle() const;
    QString readyStatus() const;
    // Looks for Codex now and shows what it found.
    void refreshCodexGate();
    void showCodexGate();

    Workspace& m_workspace;
    Workflows m_engine;
    QFutureWatcher<Finished> m_work;
    QFutureSynchronizer<void> m_background; // waited for at shut-down
    CodexMonitor* m_monitor = nullptr;
    MainWindow* m_window = nullptr;
    std::function<void()> m_alertSound;

    SwitchMode m_selectedMode = ModeUnconfigured;
    bool m_working = false;
    bool m_accountLogin = false;
    bool m_codexRunning = false;
    bool m_quitWhenDone = false;
};
