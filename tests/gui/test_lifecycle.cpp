#include "support/window_fixture.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

// Quits the application: in a binary of its own.
TEST_F(WindowTest, ClosingTheWindowDuringWorkQuitsOnceTheWorkIsDone)
{
    relay.enqueue(LocalRelay::Reply{.delayMs = 600});
    launch();
    secureField()->setText(QStringLiteral("sk-closing"));
    click("actionButton");
    bool stillOpenAfterClose = false;
    QTimer::singleShot(100, app->window(), [&] {
        app->window()->close();
        stillOpenAfterClose = app->window()->isVisible();
    });
    bool quitByClosing = true;
    QTimer::singleShot(5000, qApp, [&quitByClosing] {
        quitByClosing = false;
        QApplication::quit();
    });
    QApplication::exec();
    EXPECT_TRUE(quitByClosing);
    EXPECT_TRUE(stillOpenAfterClose);
    // The switch was finished, not cut short.
    EXPECT_TRUE(temp.exists("auth.json"));
    EXPECT_EQ(workspace.openedApplications.size(), 1);

    // The monitor no longer looks.
    workspace.startCodex(99);
    QTest::qWait(1300);
    EXPECT_FALSE(gateShown());
}
