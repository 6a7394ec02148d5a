#pragma once

#include "core/switch_mode.h"
#include "workflows/engine_types.h"
#include "wording/workflow_wording.h"
#include "workflows/workflow_result.h"

#include <QMainWindow>
#include <QPointer>

#include <vector>

class ElidingLabel;
class KeyPanel;
class LinkButton;
class PrimaryButton;
class QAction;
class QLabel;
class QMessageBox;
class RoundedView;
class SegmentedControl;

// The window: a fixed 780 x 460 card of header, mode section and status line. It only shows
// what it is told and reports what the user asks for; it decides nothing.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow();

    QString keyText() const;
    void focusKey();

public Q_SLOTS:
    void showMode(SwitchMode mode);
    // The action button's title when neither Codex nor work is in the way.
    void setActionTitle(const QString& title);
    void setStatus(const QString& message, StatusTone tone);
    void showPill(SwitchMode installedMode);
    // While busy every input is disabled and the status row shows the progress.
    void setBusy(bool busy);
    void showProgress(const QString& busyText, qint64 done, qint64 total);
    // While Codex runs, the action button quits it and the other inputs are disabled.
    void setCodexRunning(bool running);
    void showCodexRunningAlert(const QString& explanation);
    // Asks whether to move the conversations Codex does not list; yes is
    // moveConversationsRequested().
    void offerConversationMove(const QString& problem);
    void setKeyText(const QString& text);
    void showSavedKeys(const std::vector<HistoryItem>& keys);
    void showRestorePoints(const std::vector<RestorePoint>& points);

Q_SIGNALS:
    void modeChosen(SwitchMode mode);
    void actionRequested();
    void checkKeyRequested();
    void repairRequested();
    void restoreRequested();
    void restorePointChosen(const QString& id);
    void moveConversationsRequested();
    void keyPageRequested();
    void savedKeysRequested();
    void forgetKeyRequested(const HistoryItem& item);
    void quitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildContent();
    void installMainMenu();
    void layoutContent();
    void updateControls();

    QString m_actionTitle;
    bool m_busy = false;
    bool m_codexRunning = false;

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
    KeyPanel* m_keyPanel = nullptr;
    int m_keyPanelHeight = 116;
    QAction* m_restoreAction = nullptr;
    QPointer<QMessageBox> m_codexRunningAlert;
};
