#include "support/window_fixture.h"

#include <QTest>

void WindowTest::launch()
{
    app = std::make_unique<AppDelegate>(CodexHome(temp.userHome()), relay.endpoint(), workspace);
    app->setAlertSound([this] { ++beeps; });
    app->launch();
    // Shown once the start-up state has been read.
    ASSERT_TRUE(QTest::qWaitFor([this] { return app->window()->isVisible(); }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(app->window()));
}

void WindowTest::TearDown()
{
    app.reset();
}

void WindowTest::clickSegment(int segment) const
{
    QTest::mouseClick(modeControl()->segmentButton(segment), Qt::LeftButton);
}

void WindowTest::click(const char* name) const
{
    QTest::mouseClick(widget<QPushButton>(name), Qt::LeftButton);
}

void WindowTest::settle() const
{
    EXPECT_TRUE(QTest::qWaitFor([this] { return !app->isWorking(); }, 8000));
}
