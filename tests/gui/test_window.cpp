#include "bench/codex_home_builder.h"
#include "gui/single_window.h"
#include "history/key_history.h"
#include "wording/workflow_wording.h"
#include "support/queued_calls.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

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

void clickButton(QMessageBox* box, QMessageBox::ButtonRole role)
{
    for (QAbstractButton* button : box->buttons()) {
        if (box->buttonRole(button) == role)
            return QTest::mouseClick(button, Qt::LeftButton);
    }
    ADD_FAILURE() << "no button of that role";
}

// An account login with two conversations on the provider and two saved keys, the older one
// saved at a known time.
void arrangeAccountHome(const TempHome& temp, const QString& provider = QStringLiteral("openai"))
{
    temp.write("auth.json", accountLogin);
    const CodexHomeBuilder builder(temp.codexHome());
    builder.createThreadIndex();
    for (const char* id : {"t-1", "t-2"})
        builder.addThread(threadSpec(id, provider, 1'780'000'000));
    ASSERT_TRUE(saveApiKeyToHistory(temp.home(), QStringLiteral("sk-older.key.0000001")));
    setModificationTime(*historyPathForKey(temp.home(), QStringLiteral("sk-older.key.0000001")),
                        QDateTime(QDate(2026, 11, 2), QTime(9, 30)));
    ASSERT_TRUE(saveApiKeyToHistory(temp.home(), QStringLiteral("sk-newer.key.0000002")));
}

} // namespace

// The start-up state: the newest key in the field, the conversations Codex does not list
// named and moved when the user says yes; Return runs the action, the segment only shows.
TEST_F(WindowTest, ItOpensOnTheHomeAsItIsAndMovesHiddenConversationsWhenAsked)
{
    arrangeAccountHome(temp, QStringLiteral("tevrun"));
    launch();
    EXPECT_EQ(modeControl()->selectedSegment(), 0);
    EXPECT_FALSE(apiPanelShown());
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-newer.key.0000002"));
    EXPECT_EQ(status(), conversationsElsewhereText(2));
    auto* question = app->window()->findChild<QMessageBox*>(QStringLiteral("conversationMoveQuestion"));
    ASSERT_NE(question, nullptr);
    clickButton(question, QMessageBox::AcceptRole);
    settle();
    EXPECT_EQ(status(), QStringLiteral("已把 2 条对话移到 provider “openai”上，Codex 会列出它们。"));
    QTest::keyClick(app->window(), Qt::Key_Return);
    settle();
    EXPECT_TRUE(QFile::exists(temp.home().profilePath("account") + "/auth.json"));
    const QString accountPill = pill(), recorded = status();
    clickSegment(1); // the status line now speaks of the API mode
    EXPECT_TRUE(status() != recorded && status().contains(QStringLiteral("TEVRUN API"))) << status().toStdString();
    EXPECT_TRUE(apiPanelShown());
    EXPECT_TRUE(secureField()->hasFocus());
    EXPECT_EQ(pill(), accountPill);
}

// The saved keys, newest first and shortened: one is taken into the field, one forgotten
// only once the user confirms.
TEST_F(WindowTest, SavedKeysAreOfferedAndForgottenOnlyWhenConfirmed)
{
    arrangeAccountHome(temp);
    launch();
    clickSegment(1);
    secureField()->findChild<QAction*>(QStringLiteral("savedKeysAction"))->trigger();
    QMenu* menu = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (menu = app->window()->findChild<QMenu*>(QStringLiteral("savedKeysMenu"))); }));
    const QList<QAction*> entries = menu->actions();
    ASSERT_EQ(entries.size(), 4); // newest first, a separator, the removal submenu
    EXPECT_TRUE(entries[0]->text().startsWith(QStringLiteral("sk-newe…0002　")));
    EXPECT_EQ(entries[1]->text(), QStringLiteral("sk-olde…0001　2026-11-02 09:30"));
    entries[1]->trigger();
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-older.key.0000001"));
    menu->close();
    entries[3]->menu()->actions().value(1)->trigger();
    auto* forget = app->window()->findChild<QMessageBox*>(QStringLiteral("forgetKeyConfirmation"));
    ASSERT_NE(forget, nullptr);
    EXPECT_TRUE(forget->text().contains(QStringLiteral("sk-olde…0001")));
    EXPECT_EQ(historyItems(temp.home()).size(), 2u); // nothing before the answer
    clickButton(forget, QMessageBox::DestructiveRole);
    EXPECT_TRUE(QTest::qWaitFor([this] { return status().contains(QStringLiteral("sk-olde…0001")); })) << status().toStdString();
    ASSERT_EQ(historyItems(temp.home()).size(), 1u);
}

// The key fields and the edit menu, the key page, a refused key's beep, a configuration that
// stops the switch with a pointer to the repair, the switch and the repair themselves.
TEST_F(WindowTest, TheKeyFieldsAndEachButtonDoTheirPart)
{
    arrangeAccountHome(temp);
    relay.enqueue({401, R"({"error":{"code":"invalid_api_key","message":"令牌无效"}})"});
    launch();
    clickSegment(1);
    secureField()->clear();
    QTest::keyClicks(secureField(), QStringLiteral("sk-typed"));
    click("revealButton");
    EXPECT_TRUE(plainField()->isVisible() && !secureField()->isVisible() && plainField()->hasFocus());
    for (const char* item : {"全选", "复制", "粘贴", "粘贴"})
        menuAction(app->window(), QString::fromUtf8(item))->trigger();
    click("revealButton");
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-typedsk-typed"));
    click("keyPageButton");
    EXPECT_EQ(workspace.openedURLs, QList<QUrl>{QUrl(QStringLiteral("https://tevrun.cloud/"))});

    secureField()->setText(QStringLiteral(" sk-bad "));
    click("checkApiButton");
    settle();
    EXPECT_TRUE(status().contains(QStringLiteral("令牌无效"))) << status().toStdString();
    EXPECT_EQ(beeps, 1);
    temp.write("config.toml", "model_providers.tevrun.x = 1\n");
    click("actionButton");
    settle();
    EXPECT_TRUE(status().contains(QStringLiteral("第 1 行")) && status().contains(QStringLiteral("修复配置"))) << status().toStdString();
    QFile::remove(temp.path("config.toml"));
    secureField()->setText(QStringLiteral("  sk-good.key \n"));
    click("actionButton");
    settle();
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-good.key"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return workspace.openedApplications.size() == 1; }));
    temp.write("config.toml", "broken = [");
    click("repairButton");
    settle();
    EXPECT_TRUE(temp.read("config.toml").contains("tevrun"));
}

// Back to the account login through the switch's restore point, chosen in the dialog and
// confirmed.
TEST_F(WindowTest, TheRestoreDialogPutsAChosenPointBack)
{
    arrangeAccountHome(temp);
    launch();
    clickSegment(1);
    secureField()->setText(QStringLiteral("sk-good.key"));
    click("actionButton");
    settle();
    menuAction(app->window(), QStringLiteral("恢复备份…"))->trigger();
    QDialog* dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (dialog = app->window()->findChild<QDialog*>(QStringLiteral("restoreDialog"))); }));
    auto* points = dialog->findChild<QListWidget*>(QStringLiteral("restorePointList"));
    ASSERT_EQ(points->count(), 1);
    const QString id = QDir(temp.home().backupsPath()).entryList({"switch-api-*"}).value(0);
    EXPECT_TRUE(points->item(0)->text().contains(QStringLiteral("切到 TEVRUN API")));
    points->setCurrentRow(0);
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("restoreButton")), Qt::LeftButton);
    auto* confirmation = dialog->findChild<QMessageBox*>(QStringLiteral("restoreConfirmation"));
    ASSERT_NE(confirmation, nullptr);
    EXPECT_TRUE(confirmation->text().contains(id));
    clickButton(confirmation, QMessageBox::AcceptRole);
    settle();
    EXPECT_TRUE(status().contains(id)) << status().toStdString();
    EXPECT_EQ(temp.read("auth.json"), accountLogin);
    EXPECT_TRUE(app->window()->findChildren<QDialog*>(QStringLiteral("restoreDialog")).isEmpty());
}

TEST_F(WindowTest, TheGateBlocksTheWindowWhileCodexRunsAndQuitsIt)
{
    workspace.startCodex(300);
    launch();
    EXPECT_TRUE(gateShown());
    for (const char* name : {"revealButton", "checkApiButton", "secureField", "plainField", "repairButton"})
        EXPECT_FALSE(widget(name)->isEnabled()) << name;
    Q_EMIT modeControl()->changedByUser(0); // a choice that reached the window as Codex started
    EXPECT_TRUE(apiPanelShown());
    const QString gateTitle = actionButton()->text();

    // A polite quit first, a forced one after the grace period, then the window is free.
    workspace.startCodex(301);
    click("actionButton");
    EXPECT_EQ(workspace.terminated, (QList<qint32>{300, 301}));
    QTest::qWait(1500);
    EXPECT_TRUE(workspace.forceTerminated.isEmpty());
    EXPECT_TRUE(QTest::qWaitFor([this] { return !gateShown(); }));
    EXPECT_EQ(workspace.forceTerminated, (QList<qint32>{300, 301}));
    EXPECT_NE(actionButton()->text(), gateTitle);

    // The monitor notices a Codex without any user action, and one that ends at once.
    workspace.startCodex(340);
    EXPECT_TRUE(QTest::qWaitFor([this] { return gateShown(); }));
    workspace.endProcess(340);
    EXPECT_FALSE(gateShown());
}

// A Codex started since the last look stops the work before anything, with an alert in
// the words of the kind of Codex that runs.
TEST_F(WindowTest, ACodexStartedSinceTheLastLookIsReportedWithAnAlert)
{
    launch();
    EXPECT_EQ(app->window()->findChild<QMessageBox*>(QStringLiteral("conversationMoveQuestion")), nullptr); // none to move
    secureField()->setText(QStringLiteral("sk-key"));
    workspace.applications.push_back({77, "codex", "", "", "/usr/local/bin/codex"});
    click("checkApiButton");
    settle();
    auto* alert = app->window()->findChild<QMessageBox*>(QStringLiteral("codexRunningAlert"));
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(alert->isVisible());
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(alert->informativeText().contains(QStringLiteral("终端或编辑器")));
    EXPECT_TRUE(gateShown());
    EXPECT_EQ(beeps, 0);
    EXPECT_TRUE(entriesOf(temp.codexHome()).isEmpty());
    EXPECT_TRUE(relay.requests().empty());
}

// The work runs off the window's thread: its timers fire, input made meanwhile is dropped,
// and the status row counts the conversations up, each report an event of its own.
TEST_F(WindowTest, TheWindowStaysLiveWhileWorkRunsDropsInputAndCountsUp)
{
    const CodexHomeBuilder builder(temp.codexHome());
    builder.createThreadIndex();
    for (int i = 0; i < 40; ++i)
        builder.addThread(threadSpec(QStringLiteral("t-%1").arg(i), QStringLiteral("openai"), 1'780'000'000 + i));
    relay.enqueue(LocalRelay::Reply{.delayMs = 1500});
    launch();
    secureField()->setText(QStringLiteral("sk-patient"));
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(50);
    QStringList seen;
    const QueuedCallWatcher watcher(app->window(), [&] { seen << status(); });

    click("actionButton");
    EXPECT_TRUE(app->isWorking());
    QTest::qWait(150);
    const QString busyText = status();
    // The monitor leaves the status and the gate alone while the work runs.
    workspace.startCodex(900);
    QTest::qWait(1150);
    EXPECT_EQ(status(), busyText);
    EXPECT_FALSE(actionButton()->isEnabled() || secureField()->isEnabled() || modeControl()->isEnabled());
    EXPECT_GE(ticks, 10);
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
    EXPECT_TRUE(apiPanelShown());
    EXPECT_TRUE(temp.exists("auth.json"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return workspace.openedApplications.size() == 1; }));
    EXPECT_TRUE(seen.filter(QStringLiteral(" 20/40")).size() == 1) << seen.join('|').toStdString();
    EXPECT_EQ(seen.filter(QStringLiteral("/")), seen.filter(QStringLiteral("/40"))); // no count before there is one
    EXPECT_TRUE(status().contains(QStringLiteral(" 40 "))) << status().toStdString();
}

// One window per user: the first start opens it, a later one is turned away.
TEST(SingleWindowTest, OnlyTheFirstStartOpensTheWindow)
{
    SingleWindow first(QStringLiteral("morvane-test-window")), later(QStringLiteral("morvane-test-window"));
    EXPECT_TRUE(first.claim());
    EXPECT_FALSE(later.claim());
}
