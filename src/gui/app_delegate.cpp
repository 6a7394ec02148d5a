#include "gui/app_delegate.h"

#include "codexapp/codex_control.h"
#include "gui/palette.h"
#include "gui/restore_dialog.h"
#include "gui/views.h"
#include "storage/profiles.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>
#include <QtConcurrent>

namespace {

QColor colourOf(WorkflowResult::Tone tone)
{
    switch (tone) {
    case WorkflowResult::Tone::Busy:
        return palette::systemBlue();
    case WorkflowResult::Tone::Failure:
        return palette::systemRed();
    case WorkflowResult::Tone::Ready:
    case WorkflowResult::Tone::Success:
        break;
    }
    return palette::systemGreen();
}

} // namespace

AppDelegate::AppDelegate(const QString& userHome, RelayEndpoint relay, Workspace& workspace, QObject* parent)
    : QObject(parent), m_workspace(workspace), m_engine(CodexHome(userHome), std::move(relay), workspace),
      m_alertSound([] { QApplication::beep(); })
{
    connect(&m_engine, &Workflows::progress, this, &AppDelegate::showProgress);
    connect(&m_work, &QFutureWatcher<WorkflowResult>::finished, this, [this] { showResult(m_work.result()); });
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
    buildWindow();
    m_window->installEventFilter(this);
    installMainMenu();
    loadInitialState();
    startCodexMonitor();
    // A workflow cut off last time is put back before anything else can be asked for.
    if (m_engine.hasInterruptedWork())
        runWorkflow([](Workflows& engine) { return engine.recoverInterruptedWork(); });

    m_window->show();
    if (const QScreen* screen = m_window->screen())
        m_window->move(screen->availableGeometry().center() - m_window->rect().center());
    bringToFront();
    QTimer::singleShot(200, this, &AppDelegate::refreshCodexRunningGate);
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
    delete m_codexMonitorTimer;
    m_codexMonitorTimer = nullptr;
    m_work.waitForFinished();
}

void AppDelegate::requestQuit()
{
    if (m_switching)
        m_quitWhenDone = true;
    else
        QCoreApplication::quit();
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event)
{
    // Closing the window while work runs quits once the work is done.
    if (watched == m_window && event->type() == QEvent::Close && m_switching) {
        event->ignore();
        m_quitWhenDone = true;
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::installMainMenu()
{
    QMenuBar* bar = m_window->menuBar();
    QMenu* application = bar->addMenu(QStringLiteral("Morvane"));
    m_restoreAction = application->addAction(QStringLiteral("恢复备份…"), this, &AppDelegate::showRestoreDialog);
    application->addSeparator();
    application->addAction(QStringLiteral("退出 Morvane"), QKeySequence(Qt::CTRL | Qt::Key_Q), this, &AppDelegate::requestQuit);

    // Every edit command goes to the key field that has the focus.
    const auto onFocusedField = [](auto command) {
        return [command] {
            if (auto* field = qobject_cast<QLineEdit*>(QApplication::focusWidget()))
                std::invoke(command, field);
        };
    };
    QMenu* edit = bar->addMenu(QStringLiteral("编辑"));
    edit->addAction(QStringLiteral("撤销"), QKeySequence(Qt::CTRL | Qt::Key_Z), onFocusedField(&QLineEdit::undo));
    edit->addAction(QStringLiteral("重做"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), onFocusedField(&QLineEdit::redo));
    edit->addSeparator();
    edit->addAction(QStringLiteral("剪切"), QKeySequence(Qt::CTRL | Qt::Key_X), onFocusedField(&QLineEdit::cut));
    edit->addAction(QStringLiteral("复制"), QKeySequence(Qt::CTRL | Qt::Key_C), onFocusedField(&QLineEdit::copy));
    edit->addAction(QStringLiteral("粘贴"), QKeySequence(Qt::CTRL | Qt::Key_V), onFocusedField(&QLineEdit::paste));
    edit->addAction(QStringLiteral("全选"), QKeySequence(Qt::CTRL | Qt::Key_A), onFocusedField(&QLineEdit::selectAll));
}

void AppDelegate::loadInitialState()
{
    const InitialState state = m_engine.startUpState();
    if (state.fieldKey)
        setApiFieldText(*state.fieldKey);
    selectMode(state.selectedMode, false);
    updateCurrentModePill(state.pillMode);
}

void AppDelegate::selectMode(SwitchMode mode, bool fromUser)
{
    m_selectedMode = mode;
    const bool account = mode == ModeAccount;
    m_modeControl->setSelectedSegment(account ? 0 : 1);
    // The key panel collapses to nothing in the account mode; everything below moves up.
    m_apiPanel->setVisible(!account);
    m_apiPanelHeight = account ? 0 : 116;
    m_actionButton->setText(normalActionButtonTitle());
    m_headlineLabel->setText(account ? QStringLiteral("准备使用 GPT 账号 登陆，没有账号记录也可以重新登陆。")
                                     : QStringLiteral("输入 TEVRUN API，自动更新当前用户的 Codex 设置。"));
    layoutContent();
    refreshCodexRunningGate();
    if (!m_codexRunningBlocked && !m_switching)
        setStatus(readyStatus(), palette::systemGreen());
    if (fromUser && mode == ModeApi)
        (m_revealingKey ? m_plainField : m_secureField)->setFocus(Qt::OtherFocusReason);
}

QString AppDelegate::readyStatus() const
{
    return m_selectedMode == ModeAccount ? QStringLiteral("设置 GPT 账号 登陆前会自动保留可恢复状态。")
                                         : QStringLiteral("切换到 TEVRUN API 前会自动保留可恢复状态。");
}

void AppDelegate::modeChanged()
{
    if (!m_codexRunningBlocked && !m_switching) {
        selectMode(m_modeControl->selectedSegment() == 0 ? ModeAccount : ModeApi, true);
        return;
    }
    m_modeControl->setSelectedSegment(m_selectedMode == ModeAccount ? 0 : 1);
    refreshCodexRunningGate();
}

void AppDelegate::runPrimaryAction()
{
    if (m_switching)
        return;
    if (m_codexRunningBlocked) {
        quitRunningCodex();
        return;
    }
    if (m_selectedMode == ModeAccount)
        return runWorkflow([](Workflows& engine) { return engine.switchToAccount(); });
    runWorkflow([key = currentApiKeyInput()](Workflows& engine) { return engine.switchToApi(key); });
}

void AppDelegate::repairConfig()
{
    if (m_switching)
        return;
    runWorkflow([mode = m_selectedMode, key = currentApiKeyInput()](Workflows& engine) { return engine.repair(mode, key); });
}

void AppDelegate::updateActionAvailability()
{
    if (!m_switching)
        m_actionButton->setText(m_codexRunningBlocked ? QStringLiteral("退出 Codex") : normalActionButtonTitle());
    m_actionButton->setEnabled(!m_switching);
    m_restoreAction->setEnabled(!m_switching);
    const bool inputsEnabled = !m_switching && !m_codexRunningBlocked;
    for (QWidget* control : std::initializer_list<QWidget*>{m_modeControl, m_revealButton, m_checkApiButton,
                                                           m_secureField, m_plainField, m_repairButton})
        control->setEnabled(inputsEnabled);
}

QString AppDelegate::normalActionButtonTitle() const
{
    if (m_selectedMode != ModeAccount)
        return QStringLiteral("切到 TEVRUN API 并打开 Codex");
    return profileExists(m_engine.home(), QStringLiteral("account")) ? QStringLiteral("切到 GPT 账号 登陆并打开 Codex")
                                                             : QStringLiteral("设置 GPT 账号 登陆并打开 Codex");
}

// The inputs stay disabled until the result is shown; what the user does meanwhile is
// dropped by the disabled controls, never replayed.
void AppDelegate::runWorkflow(std::function<WorkflowResult(Workflows&)> work)
{
    m_switching = true;
    updateActionAvailability();
    m_work.setFuture(QtConcurrent::run([this, work = std::move(work)] { return work(m_engine); }));
}

void AppDelegate::showRestoreDialog()
{
    if (m_switching)
        return;
    // Sizing the points reads every backup folder: that is done off the window's thread.
    auto* listing = new QFutureWatcher<std::vector<RestorePoint>>(this);
    connect(listing, &QFutureWatcherBase::finished, this, [this, listing] {
        listing->deleteLater();
        auto* dialog = new RestoreDialog(listing->result(), m_window);
        connect(dialog, &RestoreDialog::restoreRequested, this, [this](const QString& id) {
            if (!m_switching)
                runWorkflow([id](Workflows& engine) { return engine.restoreBackup(id); });
        });
        dialog->open();
    });
    listing->setFuture(QtConcurrent::run([this] { return m_engine.listBackups(); }));
}

void AppDelegate::showProgress(const QString& busyText, qint64 done, qint64 total)
{
    if (!m_switching)
        return;
    setStatus(total > 0 ? QStringLiteral("%1 %2/%3").arg(busyText).arg(done).arg(total) : busyText,
              colourOf(WorkflowResult::Tone::Busy));
}

void AppDelegate::showResult(const WorkflowResult& result)
{
    m_switching = false;
    if (result.fieldKey)
        setApiFieldText(*result.fieldKey);
    if (result.pillMode)
        updateCurrentModePill(*result.pillMode);
    m_actionButton->setText(normalActionButtonTitle());
    updateActionAvailability();
    // Recovery with nothing to tell leaves the window as it opened.
    setStatus(result.message.isEmpty() ? readyStatus() : result.message, colourOf(result.tone));
    switch (result.outcome) {
    case WorkflowResult::Outcome::Done:
        // A Codex that started meanwhile shows at once.
        refreshCodexRunningGate();
        break;
    case WorkflowResult::Outcome::CodexRunning:
        refreshCodexRunningGate();
        showCodexRunningAlert();
        break;
    case WorkflowResult::Outcome::Refused:
    case WorkflowResult::Outcome::Failed:
        m_alertSound();
        break;
    }
    if (result.openCodex)
        openCodex(m_workspace);
    if (m_quitWhenDone)
        QCoreApplication::quit();
}

void AppDelegate::setStatus(const QString& message, const QColor& colour)
{
    m_statusLabel->setText(message);
    m_statusLabel->update();
    m_statusDot->setFillColor(colour);
}

void AppDelegate::setPill(const QString& text, const QColor& colour)
{
    m_pillLabel->setText(text);
    setTextColour(m_pillLabel, colour);
    m_pillLabel->adjustSize();
    m_pillDot->setFillColor(colour);
}

void AppDelegate::updateCurrentModePill(SwitchMode mode)
{
    switch (mode) {
    case ModeAccount:
        setPill(QStringLiteral("GPT 账号 登陆"), palette::systemBlue());
        break;
    case ModeApi:
        setPill(QStringLiteral("TEVRUN API"), palette::systemGreen());
        break;
    default:
        setPill(QStringLiteral("未配置"), palette::systemOrange());
        break;
    }
}
