#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <vector>

// A running application as the platform reports it; what it does not supply is empty.
struct RunningApplication {
    qint32 pid = 0;
    QString name;
    QString bundleIdentifier;
    QString bundlePath;
    QString executablePath;
};

// Tells a listing which applications it may leave out without reading more about them:
// those whose executable path (or, when that cannot be read, short name) it refuses.
using ApplicationFilter = std::function<bool(const QString& executablePath, const QString& shortName)>;

// The desktop around Morvane: running applications, quitting and opening them, and the
// browser. Tests put a fake in its place.
class Workspace {
public:
    virtual ~Workspace() = default;

    // In the platform's order. A listing may skip what the filter refuses, where that
    // saves work; it never leaves out anything else.
    virtual std::vector<RunningApplication> runningApplications(const ApplicationFilter& mayBeWanted) = 0;
    // The same for a poll repeated with the same filter, where a platform can make that
    // cheaper by trusting what earlier polls refused for a while. A check that guards a
    // change to files uses runningApplications.
    virtual std::vector<RunningApplication> polledApplications(const ApplicationFilter& mayBeWanted)
    {
        return runningApplications(mayBeWanted);
    }
    virtual void terminate(qint32 pid) = 0;      // polite quit
    virtual void forceTerminate(qint32 pid) = 0; // forced quit
    // Starts the application bundle at the path; false when it cannot be started.
    virtual bool openApplication(const QString& bundlePath) = 0;
    // Opens a URL the default way (a web page in the browser, a file with its application).
    virtual bool openURL(const QUrl& url) = 0;
    // Calls back once when the process ends, where the platform can tell; the monitor's
    // poll notices everything else. Asking again for a watched process changes nothing.
    virtual void notifyWhenEnded(qint32 pid, std::function<void()> ended) = 0;
};
