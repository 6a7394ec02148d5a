#include "gui/app_delegate.h"

#include "core/constants.h"
#include "gui/main_window.h"
#include "gui/palette.h"
#include "gui/window_texts.h"
#include "wording/workflow_wording.h"
#include "workflows/codex_monitor.h"

#include <QApplication>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>

AppDelegate::AppDelegate(CodexHome home, RelayEndpoint relay, Workspace& workspace, QObject* parent)
    : QObject(parent), m_workspace(workspace), m_engine(std::move(home), std::move(relay), workspace),
      m_monitor(new CodexMonitor(workspace, this)), m_alertSound([] { QApplication::beep(); })
{
    connect(&m_work, &QFutureWatcher<Finished>::finished, this, [this] { showResult(m_work.result()); });
    connect(m_monitor, &CodexMonitor::runningChanged, this, &AppDelegate::showCodexGate);
    connect(m_monitor, &CodexMonitor::quitStarted, this, [this] {
        m_window->setStatus(QStringLiteral("正在退出 Codex..."), StatusTone::Busy);
    });
}

AppDelegate::~AppDelegate()
{
    shutDown();
    delete m_window;
}

void AppDelegate::launch()
{
    // The window is drawn for the light appearance only.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(palette::light());
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::shutDown);

    m_window = new MainWindow;
    // A Codex home elsewhere than ~/.codex is named, so that the user knows which Codex this is.
    if (m_engine.home().isElsewhere())
        m_window->setWindowTitle(m_window->windowTitle() + QStringLiteral(" — ") + m_engine.home().codexHomePath());
    connect(&m_engine, &Workflows::progress, m_window, [this](WorkflowTask task, qint64 done, qint64 total) {
        m_window->showProgress(taskText(task), done, total);
    });
    connect(m_window, &MainWindow::modeChosen, this, &AppDelegate::chooseMode);
    connect(m_window, &MainWindow::actionRequested, this, &AppDelegate::runPrimaryAction);
    connect(m_window, &MainWindow::checkKeyRequested, this, &AppDelegate::checkApiKey);
    connect(m_window, &MainWindow::repairRequested, this, &AppDelegate::repairConfig);
    connect(m_window, &MainWindow::restoreRequested, this, &AppDelegate::listRestorePoints);
    connect(m_window, &MainWindow::restorePointChosen, this, [this](const QString& id) {
        if (!m_working)
            runWorkflow([id](Workflows& engine) { return engine.restoreBackup(id); });
    });
    connect(m_window, &MainWindow::moveConversationsRequested, this, [this] {
        if (!m_working)
            runWorkflow([](Workflows& engine) { return engine.moveVisibleConversations(); });
    });
    connect(m_window, &MainWindow::keyPageRequested, this,
            [this] { m_workspace.openURL(QUrl(morvane::relayHomePageURL)); });
    connect(m_window, &MainWindow::savedKeysRequested, this, [this] {
        offThread<std::vector<HistoryItem>>([this] { return m_engine.savedKeys(); },
                                            [this](const std::vector<HistoryItem>& keys) { m_window->showSavedKeys(keys); });
    });
    connect(m_window, &MainWindow::forgetKeyRequested, this, &AppDelegate::forgetKey);
    connect(m_window, &MainWindow::quitRequested, this, &AppDelegate::requestQuit);

    offThread<StartUp>([this] { return StartUp{m_engine.startUpState(), m_engine.hasCutOffWork(), m_engine.hasAccountLogin()}; },
                       [this](const StartUp& startUp) { openWindow(startUp); });
}

template <typename T>
void AppDelegate::offThread(std::function<T()> work, std::function<void(const T&)> show)
{
    auto* watcher = new QFutureWatcher<T>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [watcher, show = std::move(show)] {
        watcher->deleteLater();
        show(watcher->result());
    });
    const QFuture<T> future = QtConcurrent::run(std::move(work));
    m_background.addFuture(QFuture<void>(future));
    watcher->setFuture(future);
}

void AppDelegate::openWindow(const StartUp& startUp)
{
    const InitialState& state = startUp.state;
    m_accountLogin = startUp.accountLogin;
    if (state.fieldKey)
        m_window->setKeyText(*state.fieldKey);
    selectMode(state.selectedMode);
    m_window->showPill(state.pillMode);
    m_monitor->start();
    const QString problem = conversationsElsewhereText(state.conversationsElsewhere);
    const bool offerMove = state.conversationsElsewhere > 0 && !m_codexRunning;
    if (offerMove)
        m_window->setStatus(problem, StatusTone::Failure);
    // A workflow cut off last time is put back before anything else can be asked for.
    const bool recovering = startUp.cutOff;
    if (recovering)
        runWorkflow([](Workflows& engine) { return engine.putBackCutOffWork(); });

    m_window->show();
    if (const QScreen* screen = m_window->screen())
        m_window->move(screen->availableGeometry().center() - m_window->rect().center());
    bringToFront();
    // Asked on the window once it is in front, and not while a cut-off workflow is put back.
    if (offerMove && !recovering)
        m_window->offerConversationMove(problem);
    QTimer::singleShot(200, this, &AppDelegate::refreshCodexGate);
}

void AppDelegate::bringToFront()
{
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void AppDelegate::shutDown()
{
    m_monitor->stop();
    m_work.waitForFinished();
    m_background.waitForFinished();
}

void AppDelegate::requestQuit()
{
    if (m_working)
        m_quitWhenDone = true;
    else
        QCoreApplication::quit();
}

void AppDelegate::selectMode(SwitchMode mode)
{
    m_selectedMode = mode;
    m_window->showMode(mode);
    m_window->setActionTitle(actionTitle());
    refreshCodexGate();
    if (!m_codexRunning && !m_working)
        m_window->setStatus(readyStatus(), StatusTone::Ready);
}

// A choice made while Codex runs or work is under way does not count.
void AppDelegate::chooseMode(SwitchMode mode)
{
    if (m_codexRunning || m_working) {
        m_window->showMode(m_selectedMode);
        return refreshCodexGate();
    }
    selectMode(mode);
    if (mode == ModeApi)
        m_window->focusKey();
}

QString AppDelegate::readyStatus() const
{
    return m_selectedMode == ModeAccount ? QStringLiteral("设置 GPT 账号 登陆前会自动保留可恢复状态。")
                                         : QStringLiteral("切换到 TEVRUN API 前会自动保留可恢复状态。");
}

QString AppDelegate::actionTitle() const
{
    if (m_selectedMode != ModeAccount)
        return QStringLiteral("切到 TEVRUN API 并打开 Codex");
    return m_accountLogin ? QStringLiteral("切到 GPT 账号 登陆并打开 Codex") : QStringLiteral("设置 GPT 账号 登陆并打开 Codex");
}

void AppDelegate::runPrimaryAction()
{
    if (m_working)
        return;
    if (m_codexRunning)
        return m_monitor->quitCodex();
    if (m_selectedMode == ModeAccount)
        return runWorkflow([](Workflows& engine) { return engine.switchToAccount(); });
    runWorkflow([key = m_window->keyText()](Workflows& engine) { return engine.switchToApi(key); });
}

void AppDelegate::repairConfig()
{
    if (!m_working)
        runWorkflow([mode = m_selectedMode, key = m_window->keyText()](Workflows& engine) { return engine.repair(mode, key); });
}

void AppDelegate::checkApiKey()
{
    if (!m_working)
        runWorkflow([key = m_window->keyText()](Workflows& engine) { return engine.checkKey(key); });
}

void AppDelegate::listRestorePoints()
{
    if (m_working)
        return;
    offThread<std::vector<RestorePoint>>([this] { return m_engine.listBackups(); },
                                         [this](const std::vector<RestorePoint>& points) { m_window->showRestorePoints(points); });
}

void AppDelegate::forgetKey(const HistoryItem& item)
{
    offThread<WorkflowResult>([this, id = item.id] { return m_engine.forgetKey(id); },
                              [this](const WorkflowResult& result) { m_window->setStatus(statusText(result), toneOf(result)); });
}

// The inputs stay disabled until the result is shown; what the user does meanwhile is
// dropped by the disabled controls, never replayed.
void AppDelegate::runWorkflow(std::function<WorkflowResult(Workflows&)> work)
{
    m_working = true;
    m_window->setBusy(true);
    m_work.setFuture(QtConcurrent::run([this, work = std::move(work)] {
        WorkflowResult result = work(m_engine);
        return Finished{std::move(result), m_engine.hasAccountLogin()};
    }));
}

void AppDelegate::showResult(const Finished& finished)
{
    const WorkflowResult& result = finished.result;
    m_working = false;
    m_accountLogin = finished.accountLogin;
    if (result.keyInUse)
        m_window->setKeyText(*result.keyInUse);
    if (result.modeNow)
        m_window->showPill(*result.modeNow);
    m_window->setActionTitle(actionTitle());
    m_window->setBusy(false);
    // Recovery with nothing to tell leaves the window as it opened.
    const QString text = statusText(result);
    m_window->setStatus(text.isEmpty() ? readyStatus() : text, toneOf(result));
    switch (result.outcome) {
    case WorkflowResult::Outcome::Done:
        // A Codex that started meanwhile shows at once.
        refreshCodexGate();
        break;
    case WorkflowResult::Outcome::CodexRunning:
        refreshCodexGate();
        // A Codex known only by the conversations it holds is no process the button waits
        // for: the status line says it, with no alert promising the button back.
        if (m_monitor->running().empty())
            m_alertSound();
        else
            m_window->showCodexRunningAlert(codexRunningExplanation(m_monitor->running()));
        break;
    case WorkflowResult::Outcome::Refused:
    case WorkflowResult::Outcome::Failed:
        m_alertSound();
        break;
    }
    if (result.openCodex)
        m_background.addFuture(QtConcurrent::run([this] { m_engine.openCodex(); }));
    if (m_quitWhenDone)
        QCoreApplication::quit();
}

void AppDelegate::refreshCodexGate()
{
    m_monitor->poll();
    showCodexGate();
}

void AppDelegate::showCodexGate()
{
    // The workflow under way checks for Codex itself, and its result is shown next.
    if (m_working)
        return;
    const std::vector<CodexProcess>& running = m_monitor->running();
    const bool wasRunning = m_codexRunning;
    m_codexRunning = !running.empty();
    m_window->setCodexRunning(m_codexRunning);
    if (m_codexRunning)
        m_window->setStatus(codexRunningMessage(running), StatusTone::Failure);
    else if (wasRunning)
        m_window->setStatus(readyStatus(), StatusTone::Ready);
}
