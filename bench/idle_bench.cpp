// Measures what the window's Codex monitor costs while nothing happens: it starts many
// processes of the current user, then runs the monitor's poll (is Codex running?) as the
// window does once a second, and reports the processor time that takes.
//
//   bench_idle [--processes N] [--scans S]

#include "codexapp/codex_control.h"
#include "codexapp/system_workspace.h"

#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

double processorSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int processes = 500;
    int scans = 30;
    const QStringList arguments = app.arguments();
    for (qsizetype i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments[i] == QLatin1String("--processes"))
            processes = arguments[i + 1].toInt();
        else if (arguments[i] == QLatin1String("--scans"))
            scans = arguments[i + 1].toInt();
    }
    if (processes < 0 || scans <= 0) {
        std::fprintf(stderr, "usage: bench_idle [--processes N] [--scans S]\n");
        return 2;
    }

    std::vector<pid_t> children;
    char sleep[] = "sleep";
    char duration[] = "600";
    char* childArguments[] = {sleep, duration, nullptr};
    for (int i = 0; i < processes; ++i) {
        pid_t pid = 0;
        if (posix_spawnp(&pid, "sleep", nullptr, nullptr, childArguments, environ) != 0) {
            std::fprintf(stderr, "bench_idle: cannot start process %d\n", i + 1);
            break;
        }
        children.push_back(pid);
    }

    const std::unique_ptr<Workspace> workspace = makeSystemWorkspace();
    runningCodex(*workspace); // the first scan pays for loading what the others reuse
    constexpr int fullScans = 20;
    double start = processorSeconds();
    for (int i = 0; i < fullScans; ++i)
        runningCodex(*workspace);
    const double perFullScan = (processorSeconds() - start) / fullScans;
    // A second apart, as in the window: a poll after a sleep finds the caches cold.
    double polling = 0;
    for (int i = 0; i < scans; ++i) {
        ::sleep(1);
        start = processorSeconds();
        polledCodex(*workspace);
        polling += processorSeconds() - start;
    }
    const double perPoll = polling / scans;

    for (const pid_t child : children)
        ::kill(child, SIGKILL);
    for (const pid_t child : children)
        ::waitpid(child, nullptr, 0);

    std::printf("one full scan: %.1f us of processor time, one poll a second on average: %.1f us\n",
                perFullScan * 1e6, perPoll * 1e6);
    std::printf("idle: %.3f%% of a core with %zu processes\n", perPoll * 100.0, children.size());
    return 0;
}
