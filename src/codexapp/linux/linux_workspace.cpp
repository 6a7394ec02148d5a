#include "codexapp/linux/linux_workspace.h"

#include "codexapp/info_plist.h"
#include "codexapp/system_workspace.h"

#include <QGuiApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <optional>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The real uid from /proc/PID/status ("Uid:\treal\teffective\t..."), for a process that
// still runs: one that has ended but is not yet reaped ("State:\tZ (zombie)") gives nothing.
std::optional<uid_t> realUidOfLiveProcess(const QString& processDirectory)
{
    QFile status(processDirectory + QStringLiteral("/status"));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("State:") && (line.contains("\tZ") || line.contains("\tX")))
            return std::nullopt;
        if (!line.startsWith("Uid:"))
            continue;
        bool ok = false;
        const uint uid = line.mid(4).simplified().split(' ').value(0).toUInt(&ok);
        return ok ? std::optional<uid_t>(uid) : std::nullopt;
    }
    return std::nullopt;
}

QString executableOf(const QString& processDirectory)
{
    QString target = QFile::symLinkTarget(processDirectory + QStringLiteral("/exe"));
    if (target.endsWith(QLatin1String(" (deleted)")))
        target.chop(10);
    return target;
}

QString commandNameOf(const QString& processDirectory)
{
    QFile comm(processDirectory + QStringLiteral("/comm"));
    if (!comm.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(comm.readAll()).trimmed();
}

} // namespace

std::unique_ptr<Workspace> makeSystemWorkspace() { return std::make_unique<LinuxWorkspace>(); }

std::vector<RunningApplication> LinuxWorkspace::runningApplications()
{
    std::vector<qint32> pids;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint32 pid = entry.toInt(&numeric);
        if (numeric)
            pids.push_back(pid);
    }
    std::sort(pids.begin(), pids.end());

    const uid_t me = ::getuid();
    std::vector<RunningApplication> applications;
    for (const qint32 pid : pids) {
        const QString directory = QStringLiteral("/proc/%1").arg(pid);
        if (realUidOfLiveProcess(directory) != me)
            continue;
        RunningApplication application;
        application.pid = pid;
        application.executablePath = executableOf(directory);
        application.name = application.executablePath.isEmpty() ? commandNameOf(directory)
                                                                 : QFileInfo(application.executablePath).fileName();
        application.bundlePath = bundlePathForExecutable(application.executablePath);
        applications.push_back(application);
    }
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
