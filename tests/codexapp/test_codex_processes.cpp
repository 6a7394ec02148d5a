#include "codexapp/codex_processes.h"

#include <gtest/gtest.h>

#include <optional>

TEST(CodexProcesses, RecognisesTheAppAndCodexInATerminalByEachRule)
{
    const std::optional<CodexKind> none;
    const struct {
        const char* name;
        const char* bundleIdentifier;
        const char* bundlePath;
        const char* executable;
        std::optional<CodexKind> kind;
    } cases[] = {
        {"x", "COM.OpenAI.Codex", "", "", CodexKind::App},
        {"x", "", "/Applications/Codex.app", "", CodexKind::App},
        {"x", "", "", "/Applications/Codex.app/Contents/MacOS/Codex", CodexKind::App},
        {"CODEX", "org.other", "/Users/me/Applications/Codex.app", "", CodexKind::App},
        {"Codex", "", "/applications/Codex.app", "", CodexKind::App},
        {"x", "", "/applications/codex.app", "", none}, // paths compare case-sensitively
        {"x", "", "", "/Applications/Codex.app/Contents/MacOS/CODEX", none},
        {"Codex Helper", "", "/Users/me/Codex.app", "", none},
        {"codex", "", "/Users/me/codex.app", "", none},
        {"codex", "", "", "/usr/local/bin/codex", CodexKind::Terminal},
        {"codex", "", "", "", CodexKind::Terminal}, // the executable could not be read
        {"node", "", "", "/usr/bin/node", none},
        {"codex-helper", "", "", "/opt/codex-helper", none},
        {"Codex", "", "", "/opt/Codex", none},
        {"", "", "", "", none},
        {"Codex", "Cloud.Tevrun.Morvane", "/Applications/Codex.app", "", none}, // a copy of Morvane
        {"codex", "cloud.tevrun.morvane", "", "/usr/bin/codex", none},
    };
    for (const auto& c : cases) {
        const RunningApplication application{7, c.name, c.bundleIdentifier, c.bundlePath, c.executable};
        const std::vector<CodexProcess> found = runningCodex({application}, 1);
        EXPECT_EQ(found.empty() ? none : std::optional(found[0].kind), c.kind)
            << c.name << " " << c.bundleIdentifier << " " << c.bundlePath << " " << c.executable;
    }
    // Never Morvane's own process; the app's words win when the app runs too.
    EXPECT_TRUE(runningCodex({{7, "codex", "", "", "/usr/local/bin/codex"}}, 7).empty());
    EXPECT_TRUE(codexAppRuns({{8, CodexKind::Terminal}, {9, CodexKind::App}}));
    EXPECT_FALSE(codexAppRuns({{8, CodexKind::Terminal}}));
}
