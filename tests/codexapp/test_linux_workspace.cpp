#include "codexapp/codex_control.h"
#include "codexapp/codex_processes.h"
#include "codexapp/linux/linux_workspace.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// A Codex-named process that outlived a failed test would be seen by the next ones.
void endWithTheTest() { ::prctl(PR_SET_PDEATHSIG, SIGKILL); }

// A "codex" run from a folder too deep for the link to its executable to be read: it is
// known by its name.
pid_t startFromADeepFolder(const QString& userHome)
{
    int folder = ::open(QFile::encodeName(userHome).constData(), O_DIRECTORY | O_CLOEXEC);
    for (const QByteArray& name : QList<QByteArray>{"deep"} + QList<QByteArray>(17, QByteArray(250, 'd'))) {
        ::mkdirat(folder, name.constData(), 0700);
        ::close(std::exchange(folder, ::openat(folder, name.constData(), O_DIRECTORY | O_CLOEXEC)));
    }
    const QByteArray sleeper = readFileAt("/bin/sleep");
    const int copy = ::openat(folder, "codex", O_WRONLY | O_CREAT | O_CLOEXEC, 0700);
    EXPECT_EQ(::write(copy, sleeper.constData(), size_t(sleeper.size())), sleeper.size());
    ::close(copy);
    const pid_t started = ::fork();
    if (started == 0) {
        endWithTheTest();
        ::_exit(::fchdir(folder) == 0 ? ::execl("./codex", "codex", "30", nullptr) : 127);
    }
    ::close(folder);
    return started;
}

} // namespace

// The filtered scan finds what reading every process finds; quitting is polite, then forced;
// a watcher hears once that a process ended; opening an application starts its executable.
TEST(LinuxWorkspace, TheFilteredScanFindsWhatTheFullScanFindsAndQuittingEndsIt)
{
    TempHome temp;
    const QString bundle = temp.userHome() + QStringLiteral("/Apps/Codex.app/Contents/MacOS/");
    const QStringList executables = {bundle + "Codex", bundle + "Codex Helper", temp.userHome() + "/bin/codex",
                                     temp.userHome() + "/bin/Codex", temp.userHome() + "/bin/codex-helper",
                                     temp.userHome() + "/bin/node", temp.userHome() + "/gone/codex"};
    std::vector<std::unique_ptr<QProcess>> processes;
    OwnProcessesOnly workspace;
    workspace.polledApplications(mayBeCodex); // a full look, before any of them starts
    for (const QString& executable : executables) {
        QDir().mkpath(QFileInfo(executable).path());
        const bool app = executable == executables[0]; // ignores the polite request
        ASSERT_TRUE(QFile::copy(app ? QStringLiteral("/bin/sh") : QStringLiteral("/bin/sleep"), executable));
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->setChildProcessModifier(endWithTheTest);
        processes.back()->start(executable, app ? QStringList{"-c", "trap '' TERM; while :; do sleep 0.1; done"} : QStringList{"30"});
        ASSERT_TRUE(processes.back()->waitForStarted());
        workspace.pids.push_back(qint32(processes.back()->processId()));
    }
    ASSERT_TRUE(QFile::remove(executables.last())); // replaced while it runs
    workspace.pids.push_back(qint32(startFromADeepFolder(temp.userHome()))); // pid[7]
    QTest::qWait(200);

    const qint32 me = qint32(::getpid());
    const std::vector<RunningApplication> polled = workspace.polledApplications(mayBeCodex); // they started since
    EXPECT_TRUE(std::any_of(polled.begin(), polled.end(), [&](const RunningApplication& a) { return a.pid == workspace.pids[2]; }));
    const std::vector<CodexProcess> full = runningCodex(workspace.runningApplications({}), me);
    const std::vector<CodexProcess> filtered = runningCodex(workspace.runningApplications(mayBeCodex), me);
    EXPECT_EQ(filtered, full);
    const std::vector<qint32>& pid = workspace.pids;
    EXPECT_EQ(filtered, (std::vector<CodexProcess>{{pid[0], CodexKind::App}, {pid[2], CodexKind::Terminal},
                                                   {pid[6], CodexKind::Terminal}, {pid[7], CodexKind::Terminal}}));
    const std::vector<RunningApplication> listed = workspace.runningApplications(mayBeCodex);
    ASSERT_EQ(listed.empty() ? 0 : listed.front().pid, pid[0]);
    const RunningApplication& app = listed.front(); // the app's entry: no bundle identifier outside macOS
    EXPECT_EQ(QStringList({app.name, app.executablePath, app.bundlePath, app.bundleIdentifier}),
              QStringList({"Codex", executables[0], temp.userHome() + "/Apps/Codex.app", ""}));

    int ended = 0;
    workspace.notifyWhenEnded(pid[2], [&ended] { ++ended; });
    workspace.notifyWhenEnded(pid[2], [&ended] { ended += 100; });
    workspace.terminate(pid[2]);
    EXPECT_TRUE(QTest::qWaitFor([&ended] { return ended != 0; }, 2000));
    EXPECT_EQ(ended, 1);
    quitCodexAndWait(workspace);
    EXPECT_TRUE(runningCodex(workspace).empty());
    EXPECT_TRUE(processes[0]->waitForFinished(3000));
    for (const auto& process : processes) {
        process->kill();
        process->waitForFinished(3000);
    }
    ::kill(pid[7], SIGKILL);
    ::waitpid(pid[7], nullptr, 0);
    QProcess::execute("rm", {"-rf", temp.userHome() + "/deep"});

    const QString tool = temp.userHome() + QStringLiteral("/Apps/Tool.app");
    QDir().mkpath(tool + "/Contents/MacOS");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/true"), tool + "/Contents/MacOS/Tool"));
    EXPECT_TRUE(workspace.openApplication(tool));
    EXPECT_FALSE(workspace.openApplication(temp.userHome() + QStringLiteral("/Apps/Gone.app")));
}
