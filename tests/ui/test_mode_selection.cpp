#include "history/key_history.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QTest>

TEST_F(WindowTest, EmptyHomeStartsInApiModeUnconfigured)
{
    launch();
    EXPECT_EQ(app->selectedMode(), ModeApi);
    EXPECT_EQ(modeControl()->selectedSegment(), 1);
    EXPECT_TRUE(secureField()->text().isEmpty());
    EXPECT_EQ(pill(), QStringLiteral("未配置"));
    EXPECT_EQ(pillColour(), orange);
    EXPECT_EQ(widget<RoundedView>("pillDot")->fillColor(), orange);
    EXPECT_EQ(headline(), QStringLiteral("输入 TEVRUN API，自动更新当前用户的 Codex 设置。"));
    EXPECT_EQ(status(), QStringLiteral("切换到 TEVRUN API 前会自动保留可恢复状态。"));
    EXPECT_EQ(statusColour(), green);
    EXPECT_TRUE(apiPanelShown());
    // A selection made at start-up does not take the keyboard focus.
    EXPECT_FALSE(secureField()->hasFocus());
}

TEST_F(WindowTest, TheNewestHistoryKeyFillsBothFields)
{
    temp.write("auth.json", R"({"OPENAI_API_KEY": "sk-active"})");
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-history"));
    launch();
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-history"));
    EXPECT_EQ(plainField()->text(), QStringLiteral("sk-history"));
    EXPECT_EQ(pill(), QStringLiteral("TEVRUN API"));
    EXPECT_EQ(pillColour(), green);
}

TEST_F(WindowTest, AnActiveKeyWithSpacesIsShownAsItIs)
{
    temp.write("auth.json", R"({"OPENAI_API_KEY": "  sk-spaced  "})");
    launch();
    EXPECT_EQ(secureField()->text(), QStringLiteral("  sk-spaced  "));
    EXPECT_EQ(app->selectedMode(), ModeApi);
}

TEST_F(WindowTest, AnAccountLoginSelectsTheAccountAndKeepsTheLastKey)
{
    temp.write("auth.json", R"({"OPENAI_API_KEY": null, "tokens": {"access_token": "t"}})");
    temp.write("auth_tevrun_last.json", R"({"OPENAI_API_KEY": "sk-last"})");
    launch();
    EXPECT_EQ(app->selectedMode(), ModeAccount);
    EXPECT_EQ(modeControl()->selectedSegment(), 0);
    EXPECT_EQ(secureField()->text(), QStringLiteral("sk-last"));
    EXPECT_EQ(pill(), QStringLiteral("GPT 账号 登陆"));
    EXPECT_EQ(pillColour(), blue);
    EXPECT_EQ(headline(), QStringLiteral("准备使用 GPT 账号 登陆，没有账号记录也可以重新登陆。"));
    EXPECT_EQ(status(), QStringLiteral("设置 GPT 账号 登陆前会自动保留可恢复状态。"));
    EXPECT_EQ(actionButton()->text(), QStringLiteral("设置 GPT 账号 登陆并打开 Codex"));
}

TEST_F(WindowTest, ChoosingAModeUpdatesTheWindowButNotThePill)
{
    launch();
    clickSegment(0);
    EXPECT_EQ(app->selectedMode(), ModeAccount);
    EXPECT_FALSE(apiPanelShown());
    EXPECT_EQ(actionButton()->text(), QStringLiteral("设置 GPT 账号 登陆并打开 Codex"));
    EXPECT_EQ(status(), QStringLiteral("设置 GPT 账号 登陆前会自动保留可恢复状态。"));
    EXPECT_EQ(pill(), QStringLiteral("未配置"));

    // A saved account profile changes the title the next time it is computed.
    writeFileAt(temp.home().profileURL("account") + "/auth.json", "{}");
    clickSegment(1);
    clickSegment(0);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 GPT 账号 登陆并打开 Codex"));

    clickSegment(1);
    EXPECT_TRUE(apiPanelShown());
    EXPECT_EQ(placeOf("apiPanel").height(), 116);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("切到 TEVRUN API 并打开 Codex"));
    EXPECT_TRUE(secureField()->hasFocus());

    app->toggleReveal();
    clickSegment(0);
    clickSegment(1);
    EXPECT_TRUE(plainField()->hasFocus());
}

TEST_F(WindowTest, BusyDisablesEverythingAndKeepsTheTitle)
{
    launch();
    const QString title = actionButton()->text();
    app->beginBusy(QStringLiteral("正在工作..."));
    EXPECT_TRUE(app->isSwitching());
    EXPECT_EQ(status(), QStringLiteral("正在工作..."));
    EXPECT_EQ(statusColour(), blue);
    EXPECT_EQ(actionButton()->text(), title);
    EXPECT_FALSE(actionButton()->isEnabled());
    EXPECT_EQ(static_cast<PrimaryButton*>(actionButton())->backgroundColor(), QColor::fromRgbF(0.62f, 0.63f, 0.66f));
    for (const char* name : {"modeControl", "revealButton", "checkApiButton", "secureField", "plainField", "repairButton"})
        EXPECT_FALSE(widget(name)->isEnabled()) << name;

    // The choice cannot change while busy.
    clickSegment(0);
    EXPECT_EQ(app->selectedMode(), ModeApi);
    EXPECT_EQ(modeControl()->selectedSegment(), 1);

    app->endBusy(QStringLiteral("完成。"), green, app->normalActionButtonTitle());
    EXPECT_FALSE(app->isSwitching());
    EXPECT_TRUE(actionButton()->isEnabled());
    EXPECT_EQ(static_cast<PrimaryButton*>(actionButton())->backgroundColor(), blue);
    EXPECT_EQ(status(), QStringLiteral("完成。"));
    EXPECT_EQ(statusColour(), green);
    for (const char* name : {"modeControl", "revealButton", "checkApiButton", "secureField", "plainField", "repairButton"})
        EXPECT_TRUE(widget(name)->isEnabled()) << name;
    EXPECT_EQ(workspace.beeps, 0);
}

TEST_F(WindowTest, EndingBusyWhileCodexRunsShowsTheRunningMessage)
{
    launch();
    app->beginBusy(QStringLiteral("正在工作..."));
    workspace.startCodex(501);
    app->refreshCodexRunningGate();
    app->endBusy(QStringLiteral("完成。"), green, app->normalActionButtonTitle());
    EXPECT_EQ(status(), QStringLiteral("已检测到 Dock 里的 Codex 正在运行，退出后会自动恢复按钮。"));
    EXPECT_EQ(statusColour(), red);
    EXPECT_EQ(actionButton()->text(), QStringLiteral("退出 Codex"));
    EXPECT_TRUE(actionButton()->isEnabled());
    EXPECT_FALSE(secureField()->isEnabled());

    app->beginBusy(QStringLiteral("再来"));
    app->finishBusyWithError(QStringLiteral("出错了。"));
    EXPECT_EQ(status(), QStringLiteral("出错了。"));
    EXPECT_EQ(statusColour(), red);
    EXPECT_EQ(workspace.beeps, 1);
}

TEST_F(WindowTest, StatusWithoutTextStillRecoloursTheDot)
{
    launch();
    app->setStatus(QString(), orange);
    EXPECT_TRUE(status().isEmpty());
    EXPECT_EQ(statusColour(), orange);
}
