#pragma once

#include "codexapp/codex_processes.h"
#include "codexapp/workspace.h"
#include "core/codex_home.h"
#include "core/switch_mode.h"
#include "relay/relay_endpoint.h"
#include "workflows/workflows.h"

#include <QColor>
#include <QFutureWatcher>
#include <QObject>
#include <QPointer>

#include <functional>

class ElidingLabel;
class LinkButton;
class PrimaryButton;
class QAction;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMessageBox;
class QPushButton;
class QTimer;
class QWidget;
class RoundedView;
class SecondaryButton;
class SegmentedControl;

// The window's controller: it owns the window and the Codex monitor, collects what the
// user asks for, runs it on the engine off the window's thread and shows the result.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate(const QString& userHome, RelayEndpoint relay, Workspace& workspace, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Light palette, menu, window, initial state, monitor, window in front.
    void launch();
    // Stops the monitor and waits for work under way; runs when the application is about
    // to quit.
    void shutDown();
    // Quits now, or once the work under way is done: nothing is left half-done.
    void requestQuit();
    // Shows the window in front of the others, restored if it was minimised.
    void bringToFront();
    // Replaces the system alert sound.
    void setAlertSound(std::function<void()> sound) { m_alertSound = std::move(sound); }

    void buildWindow();
    void loadInitialState();

    // Mode selection and availability.
    void selectMode(SwitchMode mode, bool fromUser);
    void modeChanged();
    void runPrimaryAction();
    void updateActionAvailability();
    QString normalActionButtonTitle() const;

    // Work on the engine, the status line and the pill.
    void runWorkflow(std::function<WorkflowResult(Workflows&)> work);
    void showProgress(const QString& busyText, qint64 done, qint64 total);
    void showResult(const WorkflowResult& result);
    void setStatus(const QString& message, const QColor& colour);
    void setPill(const QString& text, const QColor& colour);
    void updateCurrentModePill(SwitchMode mode);

    // The key panel.
    void toggleReveal();
    QString currentApiKeyInput() const;
    void setApiFieldText(const QString& text);
    void openKeyPage();
    // The saved keys beside the key field: choose one, or forget one after a confirmation.
    void showSavedKeys();
    void confirmForgettingKey(const HistoryItem& item);
    void checkApiKey();

    // Watching and quitting Codex.
    void startCodexMonitor();
    void refreshCodexRunningGate();
    void quitRunningCodex();
    void forceQuitCodexIfNeeded();

    void repairConfig();
    // The restore points in a small dialog; the chosen one is restored after a confirmation.
    void showRestoreDialog();

    SwitchMode selectedMode() const { return m_selectedMode; }
    bool isSwitching() const { return m_switching; }
    bool isCodexRunningBlocked() const { return m_codexRunningBlocked; }
    bool isRevealingKey() const { return m_revealingKey; }
    QMainWindow* window() const { return m_window; }
    const CodexHome& home() const { return m_engine.home(); }

private:
    void installMainMenu();
    QWidget* createApiPanel();
    void configureKeyField(QLineEdit* field);
    void layoutContent();
    void showCodexRunningAlert();
    QString readyStatus() const;
    bool eventFilter(QObject* watched, QEvent* event) override;

    Workspace& m_workspace;
    Workflows m_engine;
    QFutureWatcher<WorkflowResult> m_work;
    bool m_quitWhenDone = false;
    std::vector<CodexProcess> m_runningCodex; // as the gate last saw them
    std::function<void()> m_alertSound;

    SwitchMode m_selectedMode = ModeUnconfigured;
    bool m_switching = false;
    bool m_codexRunningBlocked = false;
    bool m_revealingKey = false;

    QMainWindow* m_window = nullptr;
    QWidget* m_content = nullptr;
    QWidget* m_topHairline = nullptr;
    QWidget* m_logo = nullptr;
    QWidget* m_sectionSeparator = nullptr;
    SegmentedControl* m_modeControl = nullptr;
    QLabel* m_titleLabel = nullptr;
    QLabel* m_headlineLabel = nullptr;
    RoundedView* m_statusPill = nullptr;
    QLabel* m_pillLabel = nullptr;
    RoundedView* m_pillDot = nullptr;
    QLabel* m_sectionLabel = nullptr;
    RoundedView* m_statusDot = nullptr;
    ElidingLabel* m_statusLabel = nullptr;
    PrimaryButton* m_actionButton = nullptr;
    LinkButton* m_repairButton = nullptr;
    LinkButton* m_keyPageButton = nullptr;
    QWidget* m_apiPanel = nullptr;
    int m_apiPanelHeight = 116;
    QLineEdit* m_secureField = nullptr;
    QLineEdit* m_plainField = nullptr;
    SecondaryButton* m_revealButton = nullptr;
    SecondaryButton* m_checkApiButton = nullptr;
    QAction* m_restoreAction = nullptr;
    QTimer* m_codexMonitorTimer = nullptr;
    QPointer<QMessageBox> m_codexRunningAlert;
};
