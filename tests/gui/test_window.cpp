#include "core/json.h"
#include "history/key_history.h"
#include "bench/codex_home_builder.h"
#include "support/queued_calls.h"
#include "support/window_fixture.h"
#include "gui/single_window.h"
#include "storage/backups.h"
#include "storage/journal.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

namespace {

const QString runningMessage = QStringLiteral("已检测到 Dock 里的 Codex 正在运行，退出后会自动恢复按钮。");
const QByteArray accountLogin = R"({"OPENAI_API_KEY": null, "tokens": {"access_token": "t"}})";

QAction* menuAction(QMainWindow* window, const QString& title)
{
    for (QAction* action : window->menuBar()->findChildren<QAction*>()) {
        if (action->text() == title)
            return action;
    }
    ADD_FAILURE() << "no menu item " << title.toStdString();
    return nullptr;
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

TEST_F(WindowTest, StartUpShowsThePlaceholdersThenTheDetectedModeAndTheRememberedKey)
{
    app = std::make_unique<AppDelegate>(temp.userHome(), relay.endpoint(), workspace);
    app->buildWindow();
    EXPECT_EQ(pill(), QStringLiteral("检测中"));
    EXPECT_EQ(pillColour(), green);
    EXPECT_EQ(headline(), QStringLiteral("在 GPT 账号 登陆和 TEVRUN API 之间切换。"));
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 TEVRUN API 并打开 Codex"));
    EXPECT_EQ(status(), QStringLiteral("切换前会自动保留可恢复状态。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(modeControl()->selectedSegment(), -1);
    EXPECT_EQ(secureField()->placeholderText(), QStringLiteral("sk-..."));
    EXPECT_EQ(widget<QPushButton>("repairButton")->text(), QStringLiteral("修复配置"));
    EXPECT_EQ(widget<QPushButton>("keyPageButton")->text(), QStringLiteral("获取 TEVRUN API"));
    EXPECT_EQ(app->selectedMode(), ModeUnconfigured);

    app.reset();
    launch();
    EXPECT_EQ(modeControl()->selectedSegment(), 1);
    EXPECT_TRUE(secureField()->text().isEmpty());
    EXPECT_EQ(pill(), QStringLiteral("未配置"));
    EXPECT_EQ(pillColour(), orange);
    EXPECT_EQ(headline(), QStringLiteral("输入 TEVRUN API，自动更新当前用户的 Codex 设置。"));
    EXPECT_EQ(status(), QStringLiteral("切换到 TEVRUN API 前会自动保留可恢复状态。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_FALSE(secureField()->hasFocus()); // a selection made at start-up takes no focus

    // Choosing a mode updates the window but not the pill.
    clickSegment(0);
    EXPECT_EQ(app->selectedMode(), ModeAccount);
    EXPECT_FALSE(apiPanelShown());
    EXPECT_EQ(status(), QStringLiteral("设置 GPT 账号 登陆前会自动保留可恢复状态。"));
    EXPECT_EQ(pill(), QStringLiteral("未配置"));
    // A saved account profile changes the title the next time it is computed.
    writeFileAt(temp.home().profileURL("account") + "/auth.json", "{}");
    clickSegment(1);
    clickSegment(0);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 GPT 账号 登陆并打开 Codex"));
    clickSegment(1);
    EXPECT_TRUE(apiPanelShown());
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 TEVRUN API 并打开 Codex"));
    EXPECT_TRUE(secureField()->hasFocus());

    app.reset();
    QDir(temp.home().profileURL("account")).removeRecursively();
    temp.write("auth.json", accountLogin);
    temp.write("auth_tevrun_last.json", R"({"OPENAI_API_KEY": "sk-last"})");
    launch();
    EXPECT_EQ(modeControl()->selectedSegment(), 0);
    EXPECT_FALSE(apiPanelShown());
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-last"));
    EXPECT_EQ(plainField()->text(), QStringLiteral("sk-last"));
    EXPECT_EQ(pill(), QStringLiteral("GPT 账号 登陆"));
    EXPECT_EQ(pillColour(), blue);
    EXPECT_EQ(headline(), QStringLiteral("准备使用 GPT 账号 登陆，没有账号记录也可以重新登陆。"));
    EXPECT_EQ(status(), QStringLiteral("设置 GPT 账号 登陆前会自动保留可恢复状态。"));
    EXPECT_EQ(actionButton()->text(), QStringLiteral("设置 GPT 账号 登陆并打开 Codex"));
}

TEST_F(WindowTest, TheKeyPanelRevealsEditsAndOpensTheKeyPage)
{
    launch();
    QTest::keyClicks(secureField(), QStringLiteral("sk-typed"));
    click("revealButton");
    EXPECT_TRUE(plainField()->isVisible());
    EXPECT_FALSE(secureField()->isVisible());
    EXPECT_TRUE(plainField()->hasFocus());
    EXPECT_EQ(widget<QPushButton>("revealButton")->text(), QStringLiteral("隐藏"));

    menuAction(app->window(), QStringLiteral("全选"))->trigger();
    menuAction(app->window(), QStringLiteral("剪切"))->trigger();
    EXPECT_TRUE(plainField()->text().isEmpty());
    menuAction(app->window(), QStringLiteral("粘贴"))->trigger();
    menuAction(app->window(), QStringLiteral("粘贴"))->trigger();
    menuAction(app->window(), QStringLiteral("撤销"))->trigger();
    EXPECT_EQ(plainField()->text(), QStringLiteral("sk-typed"));
    menuAction(app->window(), QStringLiteral("重做"))->trigger();
    EXPECT_EQ(app->currentApiKeyInput(), QStringLiteral("sk-typedsk-typed"));

    click("revealButton");
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-typedsk-typed"));
    EXPECT_EQ(secureField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(widget<QPushButton>("revealButton")->text(), QStringLiteral("显示"));

    // A long key shows its start and end while it is not being edited.
    const QString key = QStringLiteral("sk-start") + QString(200, QLatin1Char('x')) + QStringLiteral("end9");
    app->setApiFieldText(key);
    click("revealButton");
    widget<QPushButton>("checkApiButton")->setFocus();
    const QString shown = widget<KeyField>("plainField")->displayedText();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("end9")) && shown.contains(QChar(0x2026))) << shown.toStdString();
    plainField()->setFocus();
    EXPECT_EQ(widget<KeyField>("plainField")->displayedText(), key); // whole while it is edited

    click("keyPageButton");
    EXPECT_EQ(workspace.openedURLs, QList<QUrl>{QUrl(QStringLiteral("https://tevrun.cloud/"))});
}

TEST_F(WindowTest, ASavedKeyCanBeChosenAndForgotten)
{
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-older.key.0000001"));
    setModificationTime(*historyPathForKey(temp.home(), QStringLiteral("sk-older.key.0000001")),
                        QDateTime(QDate(2026, 11, 2), QTime(9, 30)));
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-newer.key.0000002"));
    launch();
    const auto openMenu = [this] {
        secureField()->findChild<QAction*>(QStringLiteral("savedKeysAction"))->trigger();
        auto* menu = app->window()->findChild<QMenu*>(QStringLiteral("savedKeysMenu"));
        EXPECT_NE(menu, nullptr);
        return menu;
    };
    QMenu* menu = openMenu();
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> entries = menu->actions();
    ASSERT_EQ(entries.size(), 4); // newest first, a separator, the removal submenu
    EXPECT_TRUE(entries[0]->text().startsWith(QStringLiteral("sk-newe…0002　")));
    EXPECT_EQ(entries[1]->text(), QStringLiteral("sk-olde…0001　2026-11-02 09:30"));
    entries[1]->trigger();
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-older.key.0000001"));
    menu->close();

    // Removing asks first, then deletes that key's file alone.
    entries[3]->menu()->actions().value(1)->trigger();
    auto* confirmation = app->window()->findChild<QMessageBox*>(QStringLiteral("forgetKeyConfirmation"));
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(confirmation->text(), QStringLiteral("删除保存的 TEVRUN API sk-olde…0001？"));
    EXPECT_EQ(historyItems(temp.home()).size(), 2u);
    const QList<QAbstractButton*> buttons = confirmation->buttons();
    const auto remove = std::find_if(buttons.begin(), buttons.end(), [](auto* b) { return b->text() == QStringLiteral("删除"); });
    ASSERT_NE(remove, buttons.end());
    QTest::mouseClick(*remove, Qt::LeftButton);
    EXPECT_EQ(status(), QStringLiteral("已删除保存的 TEVRUN API sk-olde…0001。"));
    ASSERT_EQ(historyItems(temp.home()).size(), 1u);
    EXPECT_EQ(historyItems(temp.home())[0].apiKey, QStringLiteral("sk-newer.key.0000002"));
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-older.key.0000001")); // the field keeps what it shows
}

// Each control runs its workflow on the engine and shows what came back.
TEST_F(WindowTest, EachControlRunsItsWorkflowAndShowsTheResult)
{
    temp.write("auth.json", accountLogin);
    relay.enqueue({401, R"({"error":{"code":"invalid_api_key","message":"令牌无效"}})"});
    launch();

    // Recording the account login: green, no Codex opened, the title follows the profile.
    QTest::keyClick(app->window(), Qt::Key_Return);
    settle();
    EXPECT_EQ(status(), QStringLiteral("当前已经是 GPT 账号 登陆，已自动记录好后续切换需要的状态。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 GPT 账号 登陆并打开 Codex"));

    // A refused key: the relay's message in red with one beep.
    clickSegment(1);
    secureField()->setText(QStringLiteral(" sk-bad "));
    click("checkApiButton");
    settle();
    EXPECT_EQ(status(), QStringLiteral("TEVRUN API 校验失败：invalid_api_key，令牌无效"));
    EXPECT_EQ(statusColour(), red);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(secureField()->text(), QStringLiteral(" sk-bad "));

    // A malformed key is refused at once, with a beep.
    secureField()->setText(QStringLiteral("pk-not-a-key"));
    click("actionButton");
    settle();
    EXPECT_EQ(status(), QStringLiteral("TEVRUN API 必须以 sk- 开头。"));
    EXPECT_EQ(beeps, 2);

    secureField()->setText(QStringLiteral("  sk-good.key \n"));
    click("checkApiButton");
    settle();
    EXPECT_EQ(status(), QStringLiteral("TEVRUN API 可用，可以切换或修复配置。"));
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-good.key"));

    click("actionButton");
    settle();
    EXPECT_EQ(status(), QStringLiteral("已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。正在打开 Codex。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(pill(), QStringLiteral("TEVRUN API"));
    EXPECT_EQ(pillColour(), green);
    EXPECT_EQ(workspace.openedApplications, QStringList{QStringLiteral("/Applications/Codex.app")});

    click("repairButton");
    settle();
    EXPECT_EQ(status(), QStringLiteral("AI 诊断：ok 已按标准模板修复。"));
    EXPECT_EQ(workspace.openedApplications.size(), 1); // repair does not reopen Codex

    clickSegment(0);
    click("actionButton");
    settle();
    EXPECT_EQ(status(), QStringLiteral("已切回 GPT 账号 登陆。正在打开 Codex。"));
    EXPECT_EQ(pill(), QStringLiteral("GPT 账号 登陆"));
    EXPECT_EQ(temp.read("auth.json"), accountLogin);
    EXPECT_EQ(beeps, 2);
}

TEST_F(WindowTest, TheRestoreDialogListsThePointsAndRestoresAfterAConfirmation)
{
    temp.write("auth.json", accountLogin);
    launch();
    clickSegment(1);
    secureField()->setText(QStringLiteral("sk-good.key"));
    click("actionButton");
    settle();
    ASSERT_EQ(pill(), QStringLiteral("TEVRUN API"));

    menuAction(app->window(), QStringLiteral("恢复备份…"))->trigger();
    QDialog* dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = app->window()->findChild<QDialog*>(QStringLiteral("restoreDialog"))); }));
    auto* list = dialog->findChild<QListWidget*>(QStringLiteral("restorePointList"));
    ASSERT_EQ(list->count(), 1);
    EXPECT_TRUE(list->item(0)->text().contains(QStringLiteral("  切到 TEVRUN API  登陆与配置文件  "))) << list->item(0)->text().toStdString();
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("restoreButton")), Qt::LeftButton);
    auto* confirmation = dialog->findChild<QMessageBox*>(QStringLiteral("restoreConfirmation"));
    ASSERT_NE(confirmation, nullptr);
    const QString id = QDir(app->home().backupsURL()).entryList({"switch-api-*"}).value(0);
    EXPECT_EQ(confirmation->text(), QStringLiteral("恢复到备份“%1”？").arg(id));
    const QList<QAbstractButton*> buttons = confirmation->buttons();
    const auto restore = std::find_if(buttons.begin(), buttons.end(), [](auto* b) { return b->text() == QStringLiteral("恢复"); });
    ASSERT_NE(restore, buttons.end());
    QTest::mouseClick(*restore, Qt::LeftButton);
    settle();

    EXPECT_TRUE(status().startsWith(QStringLiteral("已恢复备份“%1”：登陆与配置文件。").arg(id))) << status().toStdString();
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(pill(), QStringLiteral("GPT 账号 登陆"));
    EXPECT_EQ(temp.read("auth.json"), accountLogin);
    EXPECT_TRUE(app->window()->findChildren<QDialog*>(QStringLiteral("restoreDialog")).isEmpty());
}

TEST_F(WindowTest, TheGateBlocksTheWindowWhileCodexRunsAndQuitsIt)
{
    // A Codex running at start-up blocks the window from its first paint.
    workspace.startCodex(300);
    launch();
    EXPECT_TRUE(app->isCodexRunningBlocked());
    EXPECT_EQ(status(), runningMessage);
    EXPECT_EQ(statusColour(), red);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("退出 Codex"));
    EXPECT_TRUE(actionButton()->isEnabled());
    for (const char* name : {"modeControl", "revealButton", "checkApiButton", "secureField", "plainField", "repairButton"})
        EXPECT_FALSE(widget(name)->isEnabled()) << name;

    workspace.startCodex(301);
    click("actionButton");
    EXPECT_EQ(workspace.terminated, (QList<qint32>{300, 301}));
    EXPECT_EQ(status(), QStringLiteral("正在退出 Codex..."));
    EXPECT_EQ(statusColour(), blue);
    QTest::qWait(1500);
    EXPECT_TRUE(workspace.forceTerminated.isEmpty());
    EXPECT_TRUE(waitUntil([this] { return !workspace.forceTerminated.isEmpty(); }));
    EXPECT_EQ(workspace.forceTerminated, (QList<qint32>{300, 301}));
    EXPECT_TRUE(waitUntil([this] { return !app->isCodexRunningBlocked(); }));
    EXPECT_EQ(status(), QStringLiteral("切换到 TEVRUN API 前会自动保留可恢复状态。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_TRUE(widget("secureField")->isEnabled());

    // The one-second monitor notices a Codex without any user action; one that ends is
    // noticed at once, not at the next tick.
    workspace.startCodex(340);
    EXPECT_TRUE(waitUntil([this] { return app->isCodexRunningBlocked(); }));
    workspace.endProcess(340);
    EXPECT_FALSE(app->isCodexRunningBlocked());
}

// A Codex started since the last check stops the work before anything, with an alert in
// the words of the kind of Codex that runs.
TEST_F(WindowTest, ACodexStartedSinceTheLastCheckIsReportedWithAnAlert)
{
    launch();
    secureField()->setText(QStringLiteral("sk-key"));
    workspace.applications.push_back({77, "codex", "", "", "/usr/local/bin/codex"});
    click("checkApiButton");
    settle();
    EXPECT_EQ(status(), QStringLiteral("已检测到终端或编辑器里的 Codex 正在运行，退出后会自动恢复按钮。"));
    auto* alert = app->window()->findChild<QMessageBox*>(QStringLiteral("codexRunningAlert"));
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->informativeText(),
              QStringLiteral("终端或编辑器里的 Codex 正在运行，可能会缓存或覆盖配置。请先退出 Codex；退出后按钮会自动恢复。"));
    delete alert;

    workspace.stopAll();
    app->refreshCodexRunningGate();
    workspace.startCodex(302);
    click("actionButton");
    settle();
    alert = app->window()->findChild<QMessageBox*>(QStringLiteral("codexRunningAlert"));
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), QStringLiteral("请先退出 Codex"));
    EXPECT_EQ(alert->informativeText(),
              QStringLiteral("Dock 里的 Codex 正在运行，可能会缓存或覆盖配置。请先退出 Codex；退出后按钮会自动恢复。"));
    EXPECT_EQ(alert->buttons().value(0)->text(), QStringLiteral("好"));
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_TRUE(app->isCodexRunningBlocked());
    EXPECT_EQ(actionButton()->text(), QStringLiteral("退出 Codex"));
    EXPECT_EQ(status(), runningMessage);
    EXPECT_EQ(beeps, 0);
    EXPECT_TRUE(entriesOf(temp.codexHome()).isEmpty());
    EXPECT_TRUE(relay.requests().empty());
}

// The work runs off the window's thread: the window paints, its timers fire, and input
// made meanwhile is dropped, not replayed.
TEST_F(WindowTest, TheWindowStaysLiveWhileWorkRunsAndDropsInput)
{
    relay.enqueue(LocalRelay::Reply{.delayMs = 1500});
    launch();
    secureField()->setText(QStringLiteral("sk-patient"));
    PaintCounter painting;
    widget("statusLabel")->installEventFilter(&painting);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        widget("statusLabel")->update();
    });
    ticker.start(50);

    click("actionButton");
    EXPECT_TRUE(app->isSwitching());
    QTest::qWait(150);
    // The monitor leaves the status and the gate alone while the work runs.
    workspace.startCodex(900);
    QTest::qWait(1150);
    EXPECT_EQ(status(), QStringLiteral("正在切到 TEVRUN API..."));
    EXPECT_EQ(statusColour(), blue);
    EXPECT_FALSE(app->isCodexRunningBlocked());
    EXPECT_FALSE(actionButton()->isEnabled());
    EXPECT_FALSE(secureField()->isEnabled());
    EXPECT_GE(ticks, 10);
    EXPECT_GE(painting.paints, 5);
    workspace.stopAll();
    // Clicks and keys made meanwhile, even on a button that looks enabled.
    actionButton()->setEnabled(true);
    click("actionButton");
    click("checkApiButton");
    click("repairButton");
    QTest::keyClick(app->window(), Qt::Key_Return);
    clickSegment(0);

    settle();
    QTest::qWait(100);
    EXPECT_EQ(relay.requests().size(), 1u);
    EXPECT_EQ(app->selectedMode(), ModeApi);
    EXPECT_TRUE(temp.exists("auth.json"));
    EXPECT_EQ(status(), QStringLiteral("已切到 TEVRUN API。正在打开 Codex。"));
    EXPECT_EQ(workspace.openedApplications.size(), 1);
}

TEST_F(WindowTest, TheStatusRowCountsTheConversationsUp)
{
    const CodexHomeBuilder builder(temp.codexHome());
    builder.createThreadIndex();
    for (int i = 0; i < 40; ++i)
        builder.addThread(threadSpec(QStringLiteral("t-%1").arg(i), QStringLiteral("openai"), 1'780'000'000 + i));
    launch();
    secureField()->setText(QStringLiteral("sk-key"));
    // Every report reaches the window as an event of its own: look at the status between them.
    QStringList seen;
    {
        const QueuedCallWatcher watcher(app.get(), [&] { seen << status(); });
        click("actionButton");
        settle();
    }
    EXPECT_TRUE(seen.contains(QStringLiteral("正在切到 TEVRUN API... 20/40"))) << seen.join('|').toStdString();
    EXPECT_EQ(status(), QStringLiteral("已切到 TEVRUN API。 已同步 40 条对话记录。正在打开 Codex。"));
}

// A switch cut off before its last write is put back as the window opens, off the
// window's thread, and the window says so; a second start brings this window forward.
TEST_F(WindowTest, ACutOffSwitchIsPutBackAtLaunchAndASecondStartRaisesTheWindow)
{
    temp.write("auth.json", accountLogin);
    const std::optional<QString> point = createBackupWithKind(temp.home(), QStringLiteral("switch-api"));
    ASSERT_TRUE(point && writeJournal(temp.home(), {"switch-api", QFileInfo(*point).fileName(), {}}));
    temp.write("auth.json", R"({"OPENAI_API_KEY": "sk-half.switched"})");
    temp.write(".auth.json.morvane-0123456789ab", "staged");

    launch();
    settle();
    EXPECT_EQ(status(), QStringLiteral("上次的操作没有完成，已恢复到开始前的状态。"));
    EXPECT_EQ(pill(), QStringLiteral("GPT 账号 登陆"));
    EXPECT_EQ(temp.read("auth.json"), accountLogin);
    EXPECT_EQ(entriesOf(temp.codexHome()), (QStringList{"auth.json", "morvane"}));

    const QString name = QStringLiteral("morvane-test-%1").arg(QCoreApplication::applicationPid());
    SingleWindow open(name);
    ASSERT_TRUE(open.claim());
    QObject::connect(&open, &SingleWindow::raiseRequested, app.get(), &AppDelegate::bringToFront);
    app->window()->showMinimized();
    SingleWindow later(name);
    EXPECT_FALSE(later.claim());
    EXPECT_TRUE(waitUntil([this] { return !app->window()->isMinimized(); }));
}
