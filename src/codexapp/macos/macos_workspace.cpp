#include "codexapp/macos/macos_workspace.h"

#include "codexapp/info_plist.h"
#include "codexapp/system_workspace.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <libproc.h>
#include <sys/proc_info.h>
#include <unistd.h>

std::unique_ptr<Workspace> makeSystemWorkspace() { return std::make_unique<MacWorkspace>(); }

// libproc gives each process's details in one call: nothing is worth skipping, so the
// filter goes unused.
std::vector<RunningApplication> MacWorkspace::runningApplications(const ApplicationFilter&)
{
    std::vector<pid_t> pids(4096);
    const int bytes = proc_listallpids(pids.data(), int(pids.size() * sizeof(pid_t)));
    pids.resize(bytes > 0 ? size_t(bytes) / sizeof(pid_t) : 0);
    std::sort(pids.begin(), pids.end());

    std::vector<RunningApplication> applications;
    for (const pid_t pid : pids) {
        struct proc_bsdinfo info {};
        if (proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, sizeof info) != sizeof info || info.pbi_ruid != ::getuid())
            continue;
        char path[PROC_PIDPATHINFO_MAXSIZE] = {};
        RunningApplication application;
        application.pid = pid;
        if (proc_pidpath(pid, path, sizeof path) > 0)
            application.executablePath = QFile::decodeName(path);
        application.name = application.executablePath.isEmpty() ? QString::fromUtf8(info.pbi_name)
                                                                 : QFileInfo(application.executablePath).fileName();
        application.bundlePath = bundlePathForExecutable(application.executablePath);
        if (!application.bundlePath.isEmpty()) {
            QFile plist(application.bundlePath + QStringLiteral("/Contents/Info.plist"));
            if (plist.open(QIODevice::ReadOnly))
                application.bundleIdentifier = bundleIdentifierFromInfoPlist(plist.readAll()).value_or(QString());
        }
        applications.push_back(application);
    }
    return applications;
}

void MacWorkspace::terminate(qint32 pid) { ::kill(pid, SIGTERM); }

void MacWorkspace::forceTerminate(qint32 pid) { ::kill(pid, SIGKILL); }

bool MacWorkspace::openApplication(const QString& bundlePath)
{
    if (!QFileInfo(bundlePath).isDir())
        return false;
    return QProcess::startDetached(QStringLiteral("/usr/bin/open"), {QStringLiteral("-a"), bundlePath});
}

bool MacWorkspace::openURL(const QUrl& url)
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QDesktopServices::openUrl(url);
    return QProcess::startDetached(QStringLiteral("/usr/bin/open"), {url.toString()});
}

void MacWorkspace::notifyWhenEnded(qint32, std::function<void()>) {}
