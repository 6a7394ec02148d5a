#include "core/mode_detection.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

// Detection reads config.toml and auth.json; the first rule that matches decides.
TEST(ModeDetection, FollowsTheRulesInOrder)
{
    const struct {
        const char* config;  // nullptr: no file
        const char* auth;    // nullptr: no file
        SwitchMode expected;
    } cases[] = {
        {nullptr, nullptr, ModeUnconfigured},
        {nullptr, "not json at all", ModeAccount}, // only the existence of auth.json counts
        {nullptr, "", ModeAccount},
        {nullptr, R"({"OPENAI_API_KEY": null})", ModeAccount},
        {nullptr, R"({"OPENAI_API_KEY": 5})", ModeAccount},
        {nullptr, R"({"OPENAI_API_KEY": "  sk-with-spaces  "})", ModeApi},
        {"[model_providers.tevrun]\nname = \"tevrun\"\n", nullptr, ModeApi},
        {"# model_provider = \"tevrun\"\r\nmodel = \"o3\"\r\n", nullptr, ModeApi}, // in a comment too
        {"model_provider=\"tevrun\"\n", nullptr, ModeUnconfigured},               // other spellings are not
        {"model_provider = \"tevrun\"\n\xff\xfe", "{}", ModeAccount},               // not UTF-8 reads as empty
    };
    for (const auto& c : cases) {
        TempHome temp;
        if (c.config)
            temp.write("config.toml", c.config);
        if (c.auth)
            temp.write("auth.json", c.auth);
        EXPECT_EQ(detectCurrentMode(temp.home()), c.expected) << (c.config ? c.config : "") << " / " << (c.auth ? c.auth : "");
    }
}
