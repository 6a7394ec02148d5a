#include "codexapp/linux/linux_workspace.h"

#include "codexapp/info_plist.h"
#include "codexapp/system_workspace.h"

#include <QGuiApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// A small file of /proc read whole into text, which ends in a NUL: its length, or nothing
// when it cannot be read or is empty.
std::optional<size_t> readProcFile(const char* path, char* text, size_t capacity)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const ssize_t got = ::read(fd, text, capacity - 1);
    ::close(fd);
    if (got <= 0)
        return std::nullopt;
    text[got] = '\0';
    return size_t(got);
}

// The real uid from /proc/PID/status ("Uid:\treal\teffective\t..."), for a process that
// still runs: one that has ended but is not yet reaped ("State:\tZ (zombie)") gives nothing.
std::optional<uid_t> realUidOfLiveProcess(const char* processDirectory)
{
    char path[64];
    std::snprintf(path, sizeof path, "%s/status", processDirectory);
    char text[4096];
    if (!readProcFile(path, text, sizeof text))
        return std::nullopt;
    // "State:" comes before "Uid:", both within the first lines.
    if (const char* state = std::strstr(text, "\nState:\t"); state && (state[8] == 'Z' || state[8] == 'X'))
        return std::nullopt;
    const char* uid = std::strstr(text, "\nUid:");
    if (!uid)
        return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(uid + 5, &end, 10);
    return end == uid + 5 ? std::nullopt : std::optional<uid_t>(uid_t(value));
}

// Where /proc/PID/exe leads, without " (deleted)" for a file replaced since; empty when it
// may not be read (another user's process), nothing when there is no executable at all (a
// kernel thread, a process that is ending).
std::optional<QString> executableOf(const char* processDirectory)
{
    char path[64];
    std::snprintf(path, sizeof path, "%s/exe", processDirectory);
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path, target, sizeof target);
    if (length < 0 && errno == ENOENT)
        return std::nullopt;
    if (length <= 0 || length == ssize_t(sizeof target))
        return QString();
    QString executable = QFile::decodeName(QByteArray(target, length));
    if (executable.endsWith(QLatin1String(" (deleted)")))
        executable.chop(10);
    return executable;
}

QString commandNameOf(const char* processDirectory)
{
    char path[64];
    std::snprintf(path, sizeof path, "%s/comm", processDirectory);
    char name[64];
    const std::optional<size_t> length = readProcFile(path, name, sizeof name);
    return length ? QString::fromUtf8(name, qsizetype(*length)).trimmed() : QString();
}

std::vector<qint32> processIds()
{
    std::vector<qint32> pids;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return pids;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end == '\0' && end != entry->d_name && pid > 0)
            pids.push_back(qint32(pid));
    }
    ::closedir(proc);
    std::sort(pids.begin(), pids.end());
    return pids;
}

// The newest process's number, from /proc/loadavg ("0.00 0.01 0.05 1/123 4567"). It
// changes whenever a process (or a thread) starts.
std::optional<qint32> newestProcessId()
{
    char text[128];
    if (!readProcFile("/proc/loadavg", text, sizeof text))
        return std::nullopt;
    const char* last = std::strrchr(text, ' ');
    char* end = nullptr;
    const long pid = last ? std::strtol(last + 1, &end, 10) : 0;
    return pid > 0 && end != last + 1 ? std::optional<qint32>(qint32(pid)) : std::nullopt;
}

// One process as a listing gives it; nothing when it is not the current user's or the
// filter refuses it. What the filter refuses costs one readlink (or, for a process of
// another user, one small read of comm), and only the rest has its status read.
std::optional<RunningApplication> applicationAt(qint32 pid, uid_t me, const ApplicationFilter& mayBeWanted)
{
    char directory[32];
    std::snprintf(directory, sizeof directory, "/proc/%d", int(pid));
    std::optional<QString> executable = executableOf(directory);
    if (!executable)
        return std::nullopt; // never Codex, and it would cost a read of comm
    RunningApplication application;
    application.pid = pid;
    application.executablePath = std::move(*executable);
    const QString shortName = application.executablePath.isEmpty() ? commandNameOf(directory) : QString();
    if (mayBeWanted && !mayBeWanted(application.executablePath, shortName))
        return std::nullopt;
    if (realUidOfLiveProcess(directory) != me)
        return std::nullopt;
    application.name = application.executablePath.isEmpty() ? shortName
                                                             : QFileInfo(application.executablePath).fileName();
    application.bundlePath = bundlePathForExecutable(application.executablePath);
    return application;
}

} // namespace

std::unique_ptr<Workspace> makeSystemWorkspace() { return std::make_unique<LinuxWorkspace>(); }

std::vector<RunningApplication> LinuxWorkspace::runningApplications(const ApplicationFilter& mayBeWanted)
{
    const uid_t me = ::getuid();
    std::vector<RunningApplication> applications;
    for (const qint32 pid : processIds()) {
        if (std::optional<RunningApplication> application = applicationAt(pid, me, mayBeWanted))
            applications.push_back(std::move(*application));
    }
    return applications;
}

// Even a readlink for each process costs more than an idle window should, once a second,
// and so does listing /proc after the processor has slept. Only a new program turns a
// process into Codex, and nothing tells of that without privileges; but a launcher
// replaces itself within moments of starting, so a process is looked at in each of its
// first polls, and one that turns into Codex much later is seen at the next full look.
std::vector<RunningApplication> LinuxWorkspace::polledApplications(const ApplicationFilter& mayBeWanted)
{
    const bool fullLook = m_polls++ % pollsPerFullLook == 0;
    // Read before the listing, so that a process started meanwhile brings the next one.
    const std::optional<qint32> newest = newestProcessId();
    std::vector<qint32> pids;
    if (!fullLook && newest && newest == m_newestProcessId) {
        // None started: the processes are those seen last time, less any that ended.
        pids.reserve(m_seen.size());
        for (const auto& [pid, refused] : m_seen)
            pids.push_back(pid);
    } else {
        pids = processIds();
        m_newestProcessId = newest;
    }
    const uid_t me = ::getuid();
    std::vector<RunningApplication> applications;
    std::vector<std::pair<qint32, int>> seen;
    seen.reserve(pids.size());
    auto earlier = m_seen.cbegin();
    for (const qint32 pid : pids) {
        while (earlier != m_seen.cend() && earlier->first < pid)
            ++earlier;
        const int refused = earlier != m_seen.cend() && earlier->first == pid ? earlier->second : 0;
        if (refused >= refusalsBeforeTrust && !fullLook) {
            seen.emplace_back(pid, refused);
        } else if (std::optional<RunningApplication> application = applicationAt(pid, me, mayBeWanted)) {
            applications.push_back(std::move(*application));
            seen.emplace_back(pid, 0);
        } else {
            seen.emplace_back(pid, std::min(refused + 1, refusalsBeforeTrust));
        }
    }
    m_seen = std::move(seen);
    return applications;
}

void LinuxWorkspace::terminate(qint32 pid) { ::kill(pid, SIGTERM); }

void LinuxWorkspace::forceTerminate(qint32 pid) { ::kill(pid, SIGKILL); }

bool LinuxWorkspace::openApplication(const QString& bundlePath)
{
    const QFileInfo bundle(bundlePath);
    QString name = bundle.fileName();
    if (name.endsWith(QLatin1String(".app")))
        name.chop(4);
    const QString executable = bundlePath + QStringLiteral("/Contents/MacOS/") + name;
    if (!QFileInfo(executable).isExecutable() || QFileInfo(executable).isDir())
        return false;
    return QProcess::startDetached(executable, {});
}

bool LinuxWorkspace::openURL(const QUrl& url)
{
    // The command line has no desktop integration of Qt's own: the desktop's opener does it.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QDesktopServices::openUrl(url);
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString()});
}

LinuxWorkspace::~LinuxWorkspace()
{
    std::vector<int> descriptors;
    for (const auto& [pid, notifier] : m_endWatches)
        descriptors.push_back(int(notifier->socket()));
    m_endWatches.clear(); // the notifiers let go of their descriptors before they close
    for (const int descriptor : descriptors)
        ::close(descriptor);
}

void LinuxWorkspace::notifyWhenEnded(qint32 pid, std::function<void()> ended)
{
    if (m_endWatches.count(pid))
        return;
    // A pidfd becomes readable when its process ends; without one, the poll notices.
    const int descriptor = int(::syscall(SYS_pidfd_open, pid, 0));
    if (descriptor < 0)
        return;
    auto notifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this, pid, ended] {
        const auto watch = m_endWatches.find(pid);
        watch->second->setEnabled(false);
        ::close(int(watch->second->socket()));
        watch->second.release()->deleteLater(); // it is the sender of this call
        m_endWatches.erase(watch);
        ended();
    });
    m_endWatches.emplace(pid, std::move(notifier));
}
