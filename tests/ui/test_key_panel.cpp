#include "support/window_fixture.h"

#include <QAction>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

namespace {

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

TEST_F(WindowTest, RevealSwapsTheFieldsCopyingTheText)
{
    launch();
    QTest::keyClicks(secureField(), QStringLiteral("sk-typed"));
    QTest::mouseClick(widget<QPushButton>("revealButton"), Qt::LeftButton);
    EXPECT_TRUE(app->isRevealingKey());
    EXPECT_TRUE(plainField()->isVisible());
    EXPECT_FALSE(secureField()->isVisible());
    EXPECT_EQ(plainField()->text(), QStringLiteral("sk-typed"));
    EXPECT_TRUE(plainField()->hasFocus());
    EXPECT_EQ(widget<QPushButton>("revealButton")->text(), QStringLiteral("隐藏"));

    QTest::keyClicks(plainField(), QStringLiteral("-more"));
    EXPECT_EQ(app->currentApiKeyInput(), QStringLiteral("sk-typed-more"));
    QTest::mouseClick(widget<QPushButton>("revealButton"), Qt::LeftButton);
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-typed-more"));
    EXPECT_TRUE(secureField()->hasFocus());
    EXPECT_EQ(widget<QPushButton>("revealButton")->text(), QStringLiteral("显示"));
    EXPECT_EQ(secureField()->echoMode(), QLineEdit::Password);
}

TEST_F(WindowTest, SettingTheKeyFillsBothFieldsWhateverIsShown)
{
    launch();
    app->toggleReveal();
    app->setApiFieldText(QStringLiteral("sk-set"));
    EXPECT_EQ(plainField()->text(), QStringLiteral("sk-set"));
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-set"));
    EXPECT_TRUE(app->isRevealingKey());
    app->setApiFieldText(QString());
    EXPECT_TRUE(app->currentApiKeyInput().isEmpty());
}

TEST_F(WindowTest, EditCommandsActOnTheFocusedKeyField)
{
    launch();
    app->toggleReveal();
    QTest::keyClicks(plainField(), QStringLiteral("sk-abc"));
    menuAction(app->window(), QStringLiteral("全选"))->trigger();
    EXPECT_EQ(plainField()->selectedText(), QStringLiteral("sk-abc"));
    menuAction(app->window(), QStringLiteral("剪切"))->trigger();
    EXPECT_TRUE(plainField()->text().isEmpty());
    menuAction(app->window(), QStringLiteral("粘贴"))->trigger();
    menuAction(app->window(), QStringLiteral("粘贴"))->trigger();
    EXPECT_EQ(plainField()->text(), QStringLiteral("sk-abcsk-abc"));
    menuAction(app->window(), QStringLiteral("撤销"))->trigger();
    EXPECT_EQ(plainField()->text(), QStringLiteral("sk-abc"));
    menuAction(app->window(), QStringLiteral("重做"))->trigger();
    EXPECT_EQ(plainField()->text(), QStringLiteral("sk-abcsk-abc"));
    EXPECT_EQ(menuAction(app->window(), QStringLiteral("退出 Morvane"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(menuAction(app->window(), QStringLiteral("重做"))->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
}

TEST_F(WindowTest, TheKeyPageLinkOpensTheRelaySite)
{
    launch();
    const QString before = status();
    QTest::mouseClick(widget<QPushButton>("keyPageButton"), Qt::LeftButton);
    EXPECT_EQ(workspace.openedURLs, QList<QUrl>{QUrl(QStringLiteral("https://tevrun.cloud/"))});
    EXPECT_EQ(status(), before);
}

TEST_F(WindowTest, CheckingAGoodKeyRemembersItTrimmed)
{
    launch();
    secureField()->setText(QStringLiteral("  sk-good.key \n"));
    QTest::mouseClick(widget<QPushButton>("checkApiButton"), Qt::LeftButton);
    EXPECT_EQ(status(), QStringLiteral("TEVRUN API 可用，可以切换或修复配置。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-good.key"));
    ASSERT_EQ(relay.requests().size(), 1u);
    EXPECT_EQ(relay.requests()[0].headers.value("authorization"), "Bearer sk-good.key");
    EXPECT_EQ(historyFiles().size(), 1);
    EXPECT_FALSE(app->isSwitching());
    EXPECT_FALSE(temp.exists("auth.json"));
}

TEST_F(WindowTest, ARefusedKeyShowsTheRelaysMessageAndIsNotRemembered)
{
    LocalRelay::Reply refusal;
    refusal.status = 401;
    refusal.body = R"({"error":{"code":"invalid_api_key","message":"令牌无效"}})";
    relay.enqueue(refusal);
    launch();
    secureField()->setText(QStringLiteral(" sk-bad "));
    QTest::mouseClick(widget<QPushButton>("checkApiButton"), Qt::LeftButton);
    EXPECT_EQ(status(), QStringLiteral("TEVRUN API 校验失败：invalid_api_key，令牌无效"));
    EXPECT_EQ(statusColour(), red);
    EXPECT_EQ(workspace.beeps, 1);
    EXPECT_EQ(secureField()->text(), QStringLiteral(" sk-bad "));
    EXPECT_TRUE(historyFiles().isEmpty());
}

TEST_F(WindowTest, AMalformedKeyIsNeverSent)
{
    launch();
    secureField()->setText(QStringLiteral("pk-not-a-key"));
    QTest::mouseClick(widget<QPushButton>("checkApiButton"), Qt::LeftButton);
    EXPECT_EQ(status(), QStringLiteral("请先输入以 sk- 开头的 TEVRUN API。"));
    EXPECT_EQ(statusColour(), red);
    EXPECT_EQ(workspace.beeps, 1);
    EXPECT_TRUE(relay.requests().empty());
    EXPECT_FALSE(app->isSwitching());
}

TEST_F(WindowTest, TheCheckRepaintsWhileWaitingAndDropsClicksMadeMeanwhile)
{
    LocalRelay::Reply slow;
    slow.delayMs = 500;
    relay.enqueue(slow);
    launch();
    secureField()->setText(QStringLiteral("sk-slow"));
    PaintCounter painting;
    widget("statusLabel")->installEventFilter(&painting);
    QString statusDuringWait;
    bool buttonEnabledDuringWait = true;
    int paintsBeforeClick = 0;
    QTimer::singleShot(150, [&] {
        statusDuringWait = status();
        paintsBeforeClick = painting.paints;
        buttonEnabledDuringWait = actionButton()->isEnabled();
        // The user clicks the check button again and presses Return while waiting.
        widget<QPushButton>("checkApiButton")->setEnabled(true);
        QTest::mouseClick(widget<QPushButton>("checkApiButton"), Qt::LeftButton);
        QTest::keyClick(app->window(), Qt::Key_Return);
    });
    QTest::mouseClick(widget<QPushButton>("checkApiButton"), Qt::LeftButton);
    EXPECT_EQ(statusDuringWait, QStringLiteral("正在检查 TEVRUN API..."));
    EXPECT_FALSE(buttonEnabledDuringWait);
    EXPECT_GT(paintsBeforeClick, 0); // the busy message was painted while the relay was silent
    QTest::qWait(300);
    EXPECT_EQ(relay.requests().size(), 1u);
    EXPECT_EQ(status(), QStringLiteral("TEVRUN API 可用，可以切换或修复配置。"));
}

TEST_F(WindowTest, WhileCodexRunsTheCheckSendsNothing)
{
    launch();
    secureField()->setText(QStringLiteral("sk-key"));
    workspace.startCodex(77);
    app->checkApiKey();
    EXPECT_TRUE(relay.requests().empty());
    EXPECT_NE(app->window()->findChild<QMessageBox*>(QStringLiteral("codexRunningAlert")), nullptr);
    EXPECT_TRUE(app->isCodexRunningBlocked());
}

TEST_F(WindowTest, ALongKeyIsShortenedInTheMiddleWhenNotEdited)
{
    launch();
    app->toggleReveal();
    const QString key = QStringLiteral("sk-start") + QString(200, QLatin1Char('x')) + QStringLiteral("end9");
    app->setApiFieldText(key);
    auto* field = widget<KeyField>("plainField");
    EXPECT_EQ(field->displayedText(), key); // being edited: the whole key
    widget<QPushButton>("checkApiButton")->setFocus();
    const QString shown = field->displayedText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("sk-start"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("end9")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_EQ(field->text(), key);
}
