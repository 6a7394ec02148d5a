#include "codexapp/codex_processes.h"

#include <gtest/gtest.h>

namespace {

RunningApplication app(qint32 pid, const char* name, const char* bundleId, const char* bundlePath, const char* executable)
{
    return {pid, QString::fromUtf8(name), QString::fromUtf8(bundleId), QString::fromUtf8(bundlePath),
            QString::fromUtf8(executable)};
}

QList<qint32> matches(const RunningApplication& application, qint32 ownPid = 1)
{
    return runningCodexPIDs({application}, ownPid);
}

} // namespace

TEST(CodexProcesses, RecognisesCodexByEachRule)
{
    EXPECT_EQ(matches(app(10, "x", "COM.OpenAI.Codex", "", "")), QList<qint32>{10});
    EXPECT_EQ(matches(app(11, "x", "", "/Applications/Codex.app", "")), QList<qint32>{11});
    EXPECT_EQ(matches(app(12, "x", "", "", "/Applications/Codex.app/Contents/MacOS/Codex")), QList<qint32>{12});
    EXPECT_EQ(matches(app(13, "CODEX", "org.other", "/Users/me/Applications/Codex.app", "")), QList<qint32>{13});
}

TEST(CodexProcesses, PathsAreCaseSensitiveAndNamesMustBeExact)
{
    EXPECT_TRUE(matches(app(20, "x", "", "/applications/codex.app", "")).isEmpty());
    EXPECT_TRUE(matches(app(21, "x", "", "", "/Applications/Codex.app/Contents/MacOS/codex")).isEmpty());
    EXPECT_EQ(matches(app(22, "Codex", "", "/applications/Codex.app", "")), QList<qint32>{22});
    EXPECT_TRUE(matches(app(23, "Codex Helper", "", "/Users/me/Codex.app", "")).isEmpty());
    EXPECT_TRUE(matches(app(24, "codex", "", "/Users/me/codex.app", "")).isEmpty());
    EXPECT_TRUE(matches(app(25, "codex", "", "", "/usr/bin/codex")).isEmpty());
    EXPECT_TRUE(matches(RunningApplication{26, {}, {}, {}, {}}).isEmpty());
}

TEST(CodexProcesses, NeverCountsMorvaneItself)
{
    const RunningApplication disguised = app(30, "Codex", "com.openai.codex", "/Applications/Codex.app",
                                             "/Applications/Codex.app/Contents/MacOS/Codex");
    EXPECT_TRUE(matches(disguised, 30).isEmpty());
    const RunningApplication copy = app(31, "Codex", "Cloud.Tevrun.Morvane", "/Applications/Codex.app", "");
    EXPECT_TRUE(matches(copy).isEmpty());
}

TEST(CodexProcesses, ListsEveryMatchInPlatformOrder)
{
    const std::vector<RunningApplication> applications = {
        app(5, "bash", "", "", "/bin/bash"),
        app(9, "Codex", "com.openai.codex", "", ""),
        app(7, "Codex", "", "/Applications/Codex.app", ""),
    };
    EXPECT_EQ(runningCodexPIDs(applications, 1), (QList<qint32>{9, 7}));
}
