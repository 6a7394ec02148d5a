#include "core/mode_detection.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

TEST(ModeDetection, FollowsTheRulesInOrder)
{
    TempHome temp;
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeUnconfigured);

    // Only the existence of auth.json counts for the account login.
    temp.write(QStringLiteral("auth.json"), "not json at all");
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeAccount);
    temp.write(QStringLiteral("auth.json"), "");
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeAccount);
    temp.write(QStringLiteral("auth.json"), R"({"OPENAI_API_KEY": null})");
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeAccount);
    temp.write(QStringLiteral("auth.json"), R"({"OPENAI_API_KEY": 5})");
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeAccount);

    temp.write(QStringLiteral("auth.json"), R"({"OPENAI_API_KEY": "  sk-with-spaces  "})");
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeApi);
}

TEST(ModeDetection, ConfigurationSubstringsMeanTheApiMode)
{
    TempHome temp;
    temp.write(QStringLiteral("config.toml"), "[model_providers.tevrun]\nname = \"tevrun\"\n");
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeApi);

    temp.write(QStringLiteral("config.toml"), "# model_provider = \"tevrun\"\r\nmodel = \"o3\"\r\n");
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeApi);

    // Other spellings are not recognised, and with no auth.json nothing is configured.
    temp.write(QStringLiteral("config.toml"), "model_provider=\"tevrun\"\n");
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeUnconfigured);

    // A configuration that is not UTF-8 reads as empty.
    temp.write(QStringLiteral("config.toml"), "model_provider = \"tevrun\"\n\xff\xfe");
    temp.write(QStringLiteral("auth.json"), "{}");
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeAccount);
}

TEST(ModeDetection, ACodexHomeThatIsAFileIsUnconfigured)
{
    TempHome temp;
    writeFileAt(temp.codexHome(), "not a directory");
    EXPECT_EQ(detectCurrentMode(temp.home()), ModeUnconfigured);
    const InitialState state = initialStateFor(temp.home());
    EXPECT_EQ(state.selectedMode, ModeApi);
    EXPECT_FALSE(state.fieldKey);
}

// The window tests cover the other start-up cases through the real window.
TEST(StartupState, AMalformedRememberedKeyLeavesTheFieldsEmpty)
{
    TempHome temp;
    temp.write(QStringLiteral("auth_tevrun_last.json"), R"({"OPENAI_API_KEY": "sk-bad key"})");
    EXPECT_FALSE(initialStateFor(temp.home()).fieldKey);
}
