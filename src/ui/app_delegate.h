#pragma once

#include "codexapp/workspace.h"
#include "core/codex_home.h"
#include "core/error.h"
#include "core/switch_mode.h"
#include "relay/relay_endpoint.h"

#include <QColor>
#include <QObject>
#include <QPointer>

class ElidingLabel;
class LinkButton;
class PrimaryButton;
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

// The one controller: it owns the window, the program's state and the Codex monitor, and
// runs the workflows. Stateless work lives in the subsystems' free functions.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate(const QString& userHome, RelayEndpoint relay, Workspace& workspace, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Light palette, menu, window, initial state, monitor, window in front.
    void launch();
    // Stops the monitor; runs when the application is about to quit.
    void shutDown();

    void buildWindow();
    void loadInitialState();

    // Mode selection and availability.
    void selectMode(SwitchMode mode, bool fromUser);
    void modeChanged();
    void runPrimaryAction();
    void updateActionAvailability();
    QString normalActionButtonTitle() const;

    // Busy state, status line and pill.
    void beginBusy(const QString& message);
    void endBusy(const QString& message, const QColor& colour, const QString& buttonTitle);
    void finishBusyWithError(const QString& message);
    void setStatus(const QString& message, const QColor& colour);
    void setPill(const QString& text, const QColor& colour);
    void updateCurrentModePill(SwitchMode mode);

    // The key panel.
    void toggleReveal();
    QString currentApiKeyInput() const;
    void setApiFieldText(const QString& text);
    void openKeyPage();
    void checkApiKey();

    // Watching, quitting and opening Codex.
    void startCodexMonitor();
    void refreshCodexRunningGate();
    bool guardCodexNotRunning();
    QList<qint32> runningCodexPIDs() const;
    void quitRunningCodex();
    void forceQuitCodexIfNeeded();
    void openCodexAfterSwitch();

    // The workflows.
    void switchToApi();
    void switchToAccount();
    void prepareFreshAccountLogin(Error* error);
    void repairConfig();

    SwitchMode selectedMode() const { return m_selectedMode; }
    bool isSwitching() const { return m_switching; }
    bool isCodexRunningBlocked() const { return m_codexRunningBlocked; }
    bool isRevealingKey() const { return m_revealingKey; }
    QMainWindow* window() const { return m_window; }
    const CodexHome& home() const { return m_home; }

private:
    void installMainMenu();
    QWidget* createApiPanel();
    void configureKeyField(QLineEdit* field);
    void layoutContent();
    void showCodexRunningAlert();
    QString readyStatus() const;
    void failWorkflow(const Error& error, const QString& fallback);
    // A refusal before any work starts: red text and the alert sound, no busy state.
    void refuse(const QString& message);

    CodexHome m_home;
    RelayEndpoint m_relay;
    Workspace& m_workspace;

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
    QTimer* m_codexMonitorTimer = nullptr;
    QPointer<QMessageBox> m_codexRunningAlert;
};
