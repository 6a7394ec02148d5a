#include "support/window_fixture.h"

#include <QMessageBox>
#include <QTest>

namespace {

const QString runningMessage = QStringLiteral("已检测到 Dock 里的 Codex 正在运行，退出后会自动恢复按钮。");

} // namespace

TEST_F(WindowTest, TheMonitorBlocksTheWindowWhileCodexRuns)
{
    launch();
    workspace.startCodex(300);
    // The one-second monitor notices without any user action.
    EXPECT_TRUE(waitUntil([this] { return app->isCodexRunningBlocked(); }));
    EXPECT_EQ(status(), runningMessage);
    EXPECT_EQ(statusColour(), red);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("退出 Codex"));
    EXPECT_TRUE(actionButton()->isEnabled());
    for (const char* name : {"modeControl", "revealButton", "checkApiButton", "secureField", "plainField", "repairButton"})
        EXPECT_FALSE(widget(name)->isEnabled()) << name;

    workspace.stopAll();
    EXPECT_TRUE(waitUntil([this] { return !app->isCodexRunningBlocked(); }));
    EXPECT_EQ(status(), QStringLiteral("切换到 TEVRUN API 前会自动保留可恢复状态。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 TEVRUN API 并打开 Codex"));
    EXPECT_TRUE(widget("secureField")->isEnabled());
}

TEST_F(WindowTest, AModeChangeWhileCodexRunsIsUndone)
{
    launch();
    workspace.startCodex(301);
    app->refreshCodexRunningGate();
    // The control is disabled; a change that still arrives is refused.
    modeControl()->setSelectedSegment(0);
    app->modeChanged();
    EXPECT_EQ(app->selectedMode(), ModeApi);
    EXPECT_EQ(modeControl()->selectedSegment(), 1);
    EXPECT_EQ(status(), runningMessage);
}

TEST_F(WindowTest, TheGuardAlertsWhenCodexStartedSinceTheLastCheck)
{
    launch();
    workspace.startCodex(302);
    EXPECT_FALSE(app->isCodexRunningBlocked());
    QTest::mouseClick(actionButton(), Qt::LeftButton);

    auto* alert = app->window()->findChild<QMessageBox*>(QStringLiteral("codexRunningAlert"));
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), QStringLiteral("请先退出 Codex"));
    EXPECT_EQ(alert->informativeText(),
              QStringLiteral("Dock 里的 Codex 正在运行，可能会缓存或覆盖配置。请先退出 Codex；退出后按钮会自动恢复。"));
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(alert->buttons().first()->text(), QStringLiteral("好"));
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(alert->isVisible());

    EXPECT_TRUE(app->isCodexRunningBlocked());
    EXPECT_EQ(actionButton()->text(), QStringLiteral("退出 Codex"));
    EXPECT_EQ(status(), runningMessage);
    EXPECT_TRUE(entriesOf(temp.codexHome()).isEmpty());
    EXPECT_TRUE(relay.requests().empty());

    QTest::mouseClick(alert->buttons().first(), Qt::LeftButton);
    QTest::qWait(50);
    EXPECT_EQ(app->window()->findChild<QMessageBox*>(QStringLiteral("codexRunningAlert")), nullptr);
}

TEST_F(WindowTest, TheGuardIsQuietOnceCodexHasGone)
{
    launch();
    workspace.startCodex(303);
    app->refreshCodexRunningGate();
    workspace.stopAll();
    EXPECT_TRUE(app->guardCodexNotRunning());
    EXPECT_EQ(app->window()->findChild<QMessageBox*>(QStringLiteral("codexRunningAlert")), nullptr);
}

TEST_F(WindowTest, QuittingAsksPolitelyThenForcesTwoSecondsLater)
{
    launch();
    workspace.startCodex(310);
    workspace.startCodex(311);
    app->refreshCodexRunningGate();

    QTest::mouseClick(actionButton(), Qt::LeftButton);
    EXPECT_EQ(workspace.terminated, (QList<qint32>{310, 311}));
    EXPECT_EQ(status(), QStringLiteral("正在退出 Codex..."));
    EXPECT_EQ(statusColour(), blue);
    EXPECT_TRUE(actionButton()->isEnabled());

    QTest::qWait(1700);
    EXPECT_TRUE(workspace.forceTerminated.isEmpty());
    EXPECT_TRUE(waitUntil([this] { return !workspace.forceTerminated.isEmpty(); }));
    EXPECT_EQ(workspace.forceTerminated, (QList<qint32>{310, 311}));
    // The gate catches up half a second after the forced quit (or at the next tick).
    EXPECT_TRUE(waitUntil([this] { return !app->isCodexRunningBlocked(); }));
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 TEVRUN API 并打开 Codex"));
}

TEST_F(WindowTest, ACodexThatQuitsPolitelyIsNotForced)
{
    workspace.quitEndsProcesses = true;
    launch();
    workspace.startCodex(320);
    app->refreshCodexRunningGate();
    QTest::mouseClick(actionButton(), Qt::LeftButton);
    EXPECT_EQ(workspace.terminated, QList<qint32>{320});
    QTest::qWait(2300);
    EXPECT_TRUE(workspace.forceTerminated.isEmpty());
    EXPECT_FALSE(app->isCodexRunningBlocked());
}

TEST_F(WindowTest, QuittingWhenCodexHasAlreadyGoneOnlyRefreshes)
{
    launch();
    workspace.startCodex(330);
    app->refreshCodexRunningGate();
    workspace.stopAll();
    QTest::mouseClick(actionButton(), Qt::LeftButton);
    EXPECT_TRUE(workspace.terminated.isEmpty());
    EXPECT_FALSE(app->isCodexRunningBlocked());
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 TEVRUN API 并打开 Codex"));
}

TEST_F(WindowTest, OpeningCodexFallsBackToTheDefaultOpening)
{
    launch();
    app->openCodexAfterSwitch();
    EXPECT_EQ(workspace.openedApplications, QStringList{QStringLiteral("/Applications/Codex.app")});
    EXPECT_TRUE(workspace.openedURLs.isEmpty());

    workspace.openApplicationSucceeds = false;
    const QString before = status();
    app->openCodexAfterSwitch();
    EXPECT_EQ(workspace.openedURLs, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/Applications/Codex.app"))});
    EXPECT_EQ(status(), before);
}

TEST_F(WindowTest, ACodexThatEndsIsNoticedAtOnce)
{
    launch();
    workspace.startCodex(340);
    app->refreshCodexRunningGate();
    ASSERT_TRUE(app->isCodexRunningBlocked());
    workspace.endProcess(340);
    EXPECT_FALSE(app->isCodexRunningBlocked());
    EXPECT_EQ(status(), QStringLiteral("切换到 TEVRUN API 前会自动保留可恢复状态。"));
    EXPECT_EQ(statusColour(), green);
}
