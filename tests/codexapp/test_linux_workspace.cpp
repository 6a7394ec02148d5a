#include "codexapp/codex_control.h"
#include "codexapp/codex_processes.h"
#include "codexapp/linux/linux_workspace.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <unistd.h>

namespace {

// The real workspace, seeing only the processes a test started: a Codex the developer
// runs is neither counted nor quit.
class OwnProcessesOnly : public LinuxWorkspace {
public:
    std::vector<qint32> pids;

    std::vector<RunningApplication> runningApplications(const ApplicationFilter& mayBeWanted) override
    {
        std::vector<RunningApplication> all = LinuxWorkspace::runningApplications(mayBeWanted);
        std::erase_if(all, [this](const RunningApplication& a) { return std::find(pids.begin(), pids.end(), a.pid) == pids.end(); });
        return all;
    }
};

} // namespace

TEST(LinuxWorkspace, OpensABundleByItsExecutable)
{
    TempHome temp;
    const QString bundle = temp.userHome() + QStringLiteral("/Apps/Codex.app");
    const QString executable = bundle + QStringLiteral("/Contents/MacOS/Codex");
    writeFileAt(executable, "#!/bin/sh\ntouch \"$0.ran\"\n");
    QFile::setPermissions(executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    LinuxWorkspace workspace;
    EXPECT_TRUE(workspace.openApplication(bundle));
    for (int i = 0; i < 50 && !QFile::exists(executable + ".ran"); ++i)
        QTest::qWait(50);
    EXPECT_TRUE(QFile::exists(executable + ".ran"));

    EXPECT_FALSE(workspace.openApplication(temp.userHome() + QStringLiteral("/Apps/Missing.app")));
    QFile::setPermissions(executable, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_FALSE(workspace.openApplication(bundle));
}

// The monitor's scan skips what cannot be Codex before it reads a process's status: it
// finds exactly what reading every process finds. Quitting is polite first, then forced on
// a Codex that ignores it, and whoever watches a process hears once that it ended.
TEST(LinuxWorkspace, TheFilteredScanFindsWhatTheFullScanFindsAndQuittingEndsIt)
{
    TempHome temp;
    const QString bundle = temp.userHome() + QStringLiteral("/Apps/Codex.app/Contents/MacOS/");
    const QStringList executables = {bundle + "Codex", bundle + "Codex Helper", temp.userHome() + "/bin/codex",
                                     temp.userHome() + "/bin/Codex", temp.userHome() + "/bin/codex-helper",
                                     temp.userHome() + "/bin/node", temp.userHome() + "/gone/codex"};
    std::vector<std::unique_ptr<QProcess>> processes;
    OwnProcessesOnly workspace;
    for (const QString& executable : executables) {
        QDir().mkpath(QFileInfo(executable).path());
        const bool app = executable == executables[0]; // ignores the polite request
        ASSERT_TRUE(QFile::copy(app ? QStringLiteral("/bin/sh") : QStringLiteral("/bin/sleep"), executable));
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(executable, app ? QStringList{"-c", "trap '' TERM; while :; do sleep 0.1; done"} : QStringList{"30"});
        ASSERT_TRUE(processes.back()->waitForStarted());
        workspace.pids.push_back(qint32(processes.back()->processId()));
    }
    ASSERT_TRUE(QFile::remove(executables.last())); // replaced while it runs
    QTest::qWait(200);

    const qint32 me = qint32(::getpid());
    const std::vector<CodexProcess> full = runningCodex(workspace.runningApplications({}), me);
    const std::vector<CodexProcess> filtered = runningCodex(workspace.runningApplications(mayBeCodex), me);
    EXPECT_EQ(filtered, full);
    const std::vector<qint32>& pid = workspace.pids;
    EXPECT_EQ(filtered, (std::vector<CodexProcess>{{pid[0], CodexKind::App}, {pid[2], CodexKind::Terminal},
                                                   {pid[6], CodexKind::Terminal}}));
    // What the app's entry holds.
    const std::vector<RunningApplication> listed = workspace.runningApplications(mayBeCodex);
    ASSERT_EQ(listed.front().pid, pid[0]);
    EXPECT_EQ(listed.front().name, QStringLiteral("Codex"));
    EXPECT_EQ(listed.front().executablePath, executables[0]);
    EXPECT_EQ(listed.front().bundlePath, temp.userHome() + QStringLiteral("/Apps/Codex.app"));
    EXPECT_TRUE(listed.front().bundleIdentifier.isEmpty());

    int ended = 0;
    workspace.notifyWhenEnded(pid[2], [&ended] { ++ended; });
    workspace.notifyWhenEnded(pid[2], [&ended] { ended += 100; });
    workspace.terminate(pid[2]);
    for (int i = 0; i < 100 && ended == 0; ++i)
        QTest::qWait(20);
    EXPECT_EQ(ended, 1);
    quitCodexAndWait(workspace);
    EXPECT_TRUE(runningCodex(workspace).empty());
    EXPECT_TRUE(processes[0]->waitForFinished(3000));
    for (const auto& process : processes) {
        process->kill();
        process->waitForFinished(3000);
    }
}

// The window's poll trusts a process it has refused a few times, to cost next to nothing
// while idle. A process that turns into Codex in place is still found: at once while it is
// new, as a launcher does, and at the next full look, not before, when it is trusted.
TEST(LinuxWorkspace, ThePollFindsAProcessThatTurnsIntoCodexInPlace)
{
    TempHome temp;
    const QString codex = temp.userHome() + QStringLiteral("/bin/codex");
    QDir().mkpath(QFileInfo(codex).path());
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), codex));
    // Shells that become Codex when told to.
    QProcess launcher, late;
    for (QProcess* shell : {&launcher, &late}) {
        shell->start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("read line; exec \"$0\" 30"), codex});
        ASSERT_TRUE(shell->waitForStarted());
    }
    LinuxWorkspace workspace;
    int polls = 0;
    const auto poll = [&] {
        ++polls;
        return workspace.polledApplications(mayBeCodex);
    };
    const qint32 me = qint32(::getpid());
    const auto found = [me](const std::vector<RunningApplication>& applications, const QProcess& process) {
        const std::vector<CodexProcess> running = runningCodex(applications, me);
        return std::find(running.begin(), running.end(), CodexProcess {qint32(process.processId()), CodexKind::Terminal})
            != running.end();
    };
    const auto turnIntoCodex = [&](QProcess& shell) {
        shell.write("\n");
        for (int i = 0; i < 150 && !found(workspace.runningApplications(mayBeCodex), shell); ++i)
            QTest::qWait(20);
        ASSERT_TRUE(found(workspace.runningApplications(mayBeCodex), shell));
    };

    EXPECT_FALSE(found(poll(), launcher)); // the first poll is a full look
    turnIntoCodex(launcher);
    EXPECT_TRUE(found(poll(), launcher));

    for (int i = 0; i < LinuxWorkspace::refusalsBeforeTrust; ++i)
        EXPECT_FALSE(found(poll(), late));
    turnIntoCodex(late);
    // Trusted by now: seen by the next full look, the poll after the first thirty, and no earlier.
    bool seen = false;
    while (!seen && polls <= LinuxWorkspace::pollsPerFullLook)
        seen = found(poll(), late);
    EXPECT_TRUE(seen);
    EXPECT_EQ(polls, LinuxWorkspace::pollsPerFullLook + 1);

    // A Codex started meanwhile is found by the next poll.
    QProcess started;
    started.start(codex, {QStringLiteral("30")});
    ASSERT_TRUE(started.waitForStarted());
    EXPECT_TRUE(found(poll(), started));
    for (QProcess* process : {&launcher, &late, &started}) {
        process->kill();
        process->waitForFinished(3000);
    }
}
