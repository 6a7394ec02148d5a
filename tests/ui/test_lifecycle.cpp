#include "support/window_fixture.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

TEST_F(WindowTest, ClosingTheWindowQuitsAndStopsTheMonitor)
{
    launch();
    bool quitByClosing = true;
    QTimer::singleShot(0, app->window(), [this] { app->window()->close(); });
    QTimer::singleShot(5000, qApp, [&quitByClosing] {
        quitByClosing = false;
        QApplication::quit();
    });
    QApplication::exec();
    EXPECT_TRUE(quitByClosing);

    // The monitor no longer looks: a Codex that starts after the one check made 0.2 s
    // after launch goes unnoticed.
    QTest::qWait(300);
    workspace.startCodex(99);
    QTest::qWait(1300);
    EXPECT_FALSE(app->isCodexRunningBlocked());
}
