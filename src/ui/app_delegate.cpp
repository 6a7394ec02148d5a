#include "ui/app_delegate.h"

#include "core/mode_detection.h"
#include "storage/profiles.h"
#include "ui/messages.h"
#include "ui/palette.h"
#include "ui/views.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>

#include <functional>

AppDelegate::AppDelegate(const QString& userHome, RelayEndpoint relay, Workspace& workspace, QObject* parent)
    : QObject(parent), m_home(userHome), m_relay(std::move(relay)), m_workspace(workspace)
{
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
    installMainMenu();
    loadInitialState();
    startCodexMonitor();

    m_window->show();
    if (const QScreen* screen = m_window->screen())
        m_window->move(screen->availableGeometry().center() - m_window->rect().center());
    m_window->raise();
    m_window->activateWindow();
    QTimer::singleShot(200, this, &AppDelegate::refreshCodexRunningGate);
}

void AppDelegate::shutDown()
{
    delete m_codexMonitorTimer;
    m_codexMonitorTimer = nullptr;
}

void AppDelegate::installMainMenu()
{
    QMenuBar* bar = m_window->menuBar();
    QMenu* application = bar->addMenu(QStringLiteral("Morvane"));
    application->addAction(QStringLiteral("退出 Morvane"), QKeySequence(Qt::CTRL | Qt::Key_Q), qApp, &QApplication::quit);

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
    const InitialState state = initialStateFor(m_home);
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
    if (m_codexRunningBlocked) {
        quitRunningCodex();
        return;
    }
    if (!guardCodexNotRunning()) {
        refreshCodexRunningGate();
        return;
    }
    if (m_selectedMode == ModeAccount)
        switchToAccount();
    else
        switchToApi();
}

void AppDelegate::updateActionAvailability()
{
    if (!m_switching)
        m_actionButton->setText(m_codexRunningBlocked ? QStringLiteral("退出 Codex") : normalActionButtonTitle());
    m_actionButton->setEnabled(!m_switching);
    const bool inputsEnabled = !m_switching && !m_codexRunningBlocked;
    for (QWidget* control : std::initializer_list<QWidget*>{m_modeControl, m_revealButton, m_checkApiButton,
                                                           m_secureField, m_plainField, m_repairButton})
        control->setEnabled(inputsEnabled);
}

QString AppDelegate::normalActionButtonTitle() const
{
    if (m_selectedMode != ModeAccount)
        return QStringLiteral("切到 TEVRUN API 并打开 Codex");
    return profileExists(m_home, QStringLiteral("account")) ? QStringLiteral("切到 GPT 账号 登陆并打开 Codex")
                                                             : QStringLiteral("设置 GPT 账号 登陆并打开 Codex");
}

void AppDelegate::beginBusy(const QString& message)
{
    m_switching = true;
    updateActionAvailability();
    setStatus(message, palette::systemBlue());
}

void AppDelegate::endBusy(const QString& message, const QColor& colour, const QString& buttonTitle)
{
    m_switching = false;
    m_actionButton->setText(buttonTitle);
    updateActionAvailability();
    if (m_codexRunningBlocked)
        setStatus(codexRunningMessage(), palette::systemRed());
    else
        setStatus(message, colour);
}

void AppDelegate::finishBusyWithError(const QString& message)
{
    m_switching = false;
    m_actionButton->setText(normalActionButtonTitle());
    updateActionAvailability();
    setStatus(message, palette::systemRed());
    m_workspace.beep();
}

void AppDelegate::failWorkflow(const Error& error, const QString& fallback)
{
    finishBusyWithError(error.message.isEmpty() ? fallback : error.message);
}

void AppDelegate::refuse(const QString& message)
{
    setStatus(message, palette::systemRed());
    m_workspace.beep();
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
