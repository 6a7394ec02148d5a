#include "codexapp/codex_processes.h"

#include "core/constants.h"

namespace {

bool isCodex(const RunningApplication& application, qint32 ownPid)
{
    if (application.pid == ownPid)
        return false;
    const QString bundleIdentifier = application.bundleIdentifier.toLower();
    if (bundleIdentifier == morvane::ownBundleIdentifier)
        return false;
    if (bundleIdentifier == QLatin1String("com.openai.codex"))
        return true;
    if (application.bundlePath == morvane::codexAppPath)
        return true;
    if (application.executablePath == morvane::codexAppPath + QStringLiteral("/Contents/MacOS/Codex"))
        return true;
    return application.name.toLower() == QLatin1String("codex") && application.bundlePath.endsWith(QLatin1String("/Codex.app"));
}

} // namespace

QList<qint32> runningCodexPIDs(const std::vector<RunningApplication>& applications, qint32 ownPid)
{
    QList<qint32> pids;
    for (const RunningApplication& application : applications) {
        if (isCodex(application, ownPid))
            pids.append(application.pid);
    }
    return pids;
}
