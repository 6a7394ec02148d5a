#pragma once

#include "codexapp/workspace.h"

#include <QStringList>
#include <QUrl>

#include <map>
#include <vector>

// Stands in for the desktop: a scripted process list, and a record of every request.
class FakeWorkspace : public Workspace {
public:
    std::vector<RunningApplication> applications;
    bool quitEndsProcesses = false;     // a polite quit ends the process at once

    QList<qint32> terminated;
    QList<qint32> forceTerminated;
    QStringList openedApplications;
    QList<QUrl> openedURLs;

    // A Codex app as it runs from /Applications.
    static RunningApplication codex(qint32 pid);
    void startCodex(qint32 pid) { applications.push_back(codex(pid)); }
    void stopAll() { applications.clear(); }

    // Runs at each listing, before the list is taken: to start Codex in the middle of work.
    std::function<void(int listing)> onListing;
    int listings = 0;

    std::vector<RunningApplication> runningApplications(const ApplicationFilter&) override
    {
        if (onListing)
            onListing(++listings);
        return applications;
    }
    void terminate(qint32 pid) override;
    void forceTerminate(qint32 pid) override;
    bool openApplication(const QString& bundlePath) override;
    bool openURL(const QUrl& url) override;
    void notifyWhenEnded(qint32 pid, std::function<void()> ended) override;

    // The process ends, as a platform that tells would report it.
    void endProcess(qint32 pid);

private:
    void remove(qint32 pid);
    std::map<qint32, std::function<void()>> m_endWatches;
};
