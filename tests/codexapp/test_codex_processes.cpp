#include "codexapp/codex_processes.h"

#include <gtest/gtest.h>

TEST(CodexProcesses, RecognisesCodexByEachRuleAndNothingElse)
{
    const struct {
        const char* name;
        const char* bundleIdentifier;
        const char* bundlePath;
        const char* executable;
        bool codex;
    } cases[] = {
        {"x", "COM.OpenAI.Codex", "", "", true},
        {"x", "", "/Applications/Codex.app", "", true},
        {"x", "", "", "/Applications/Codex.app/Contents/MacOS/Codex", true},
        {"CODEX", "org.other", "/Users/me/Applications/Codex.app", "", true},
        {"Codex", "", "/applications/Codex.app", "", true},
        {"x", "", "/applications/codex.app", "", false}, // paths compare case-sensitively
        {"x", "", "", "/Applications/Codex.app/Contents/MacOS/codex", false},
        {"Codex Helper", "", "/Users/me/Codex.app", "", false},
        {"codex", "", "/Users/me/codex.app", "", false},
        {"codex", "", "", "/usr/bin/codex", false},
        {"", "", "", "", false},
        {"Codex", "Cloud.Tevrun.Morvane", "/Applications/Codex.app", "", false}, // a copy of Morvane
    };
    for (const auto& c : cases) {
        const RunningApplication application{7, c.name, c.bundleIdentifier, c.bundlePath, c.executable};
        EXPECT_EQ(runningCodexPIDs({application}, 1), c.codex ? QList<qint32>{7} : QList<qint32>{})
            << c.name << " " << c.bundleIdentifier << " " << c.bundlePath << " " << c.executable;
    }
}

TEST(CodexProcesses, ListsEveryMatchInPlatformOrderButNeverMorvaneItself)
{
    const std::vector<RunningApplication> applications = {
        {5, "bash", "", "", "/bin/bash"},
        {9, "Codex", "com.openai.codex", "", ""},
        {7, "Codex", "", "/Applications/Codex.app", ""},
        {30, "Codex", "com.openai.codex", "/Applications/Codex.app", "/Applications/Codex.app/Contents/MacOS/Codex"},
    };
    EXPECT_EQ(runningCodexPIDs(applications, 30), (QList<qint32>{9, 7}));
}
