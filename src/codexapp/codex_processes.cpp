#include "codexapp/codex_processes.h"

#include "core/constants.h"

#include <algorithm>

namespace {

bool isCodexApp(const RunningApplication& application)
{
    const QString bundleIdentifier = application.bundleIdentifier.toLower();
    if (bundleIdentifier == QLatin1String("com.openai.codex"))
        return true;
    if (application.bundlePath == morvane::codexAppPath)
        return true;
    if (application.executablePath == morvane::codexAppPath + QStringLiteral("/Contents/MacOS/Codex"))
        return true;
    return application.name.toLower() == QLatin1String("codex") && application.bundlePath.endsWith(QLatin1String("/Codex.app"));
}

// An executable whose file name is "codex", outside any app bundle.
bool isCodexInTerminal(const RunningApplication& application)
{
    const QString executable = application.executablePath.isEmpty() ? application.name : application.executablePath;
    return application.bundlePath.isEmpty() && executable.section(QLatin1Char('/'), -1) == QLatin1String("codex");
}

} // namespace

std::vector<CodexProcess> runningCodex(const std::vector<RunningApplication>& applications, qint32 ownPid)
{
    std::vector<CodexProcess> found;
    for (const RunningApplication& application : applications) {
        if (application.pid == ownPid || application.bundleIdentifier.toLower() == morvane::ownBundleIdentifier)
            continue;
        if (isCodexApp(application))
            found.push_back({application.pid, CodexKind::App});
        else if (isCodexInTerminal(application))
            found.push_back({application.pid, CodexKind::Terminal});
    }
    return found;
}

bool mayBeCodex(const QString& executablePath, const QString& shortName)
{
    if (executablePath.isEmpty())
        return shortName == QLatin1String("codex");
    // Without a copy: this runs for every process at every poll.
    const QStringView fileName = QStringView(executablePath).mid(executablePath.lastIndexOf(QLatin1Char('/')) + 1);
    return fileName.compare(QLatin1String("codex"), Qt::CaseInsensitive) == 0
        || executablePath.contains(QLatin1String("/Codex.app/Contents/MacOS/"));
}

bool codexAppRuns(const std::vector<CodexProcess>& running)
{
    return std::any_of(running.begin(), running.end(), [](const CodexProcess& codex) { return codex.kind == CodexKind::App; });
}
