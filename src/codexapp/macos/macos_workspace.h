#pragma once

#include "codexapp/workspace.h"

// The workspace on macOS: the current user's processes from libproc, the bundle identifier
// from each bundle's Info.plist, quitting by signal, opening with open(1). A process's end
// is noticed by the monitor's poll.
class MacWorkspace : public Workspace {
public:
    std::vector<RunningApplication> runningApplications(const ApplicationFilter& mayBeWanted) override;
    void terminate(qint32 pid) override;
    void forceTerminate(qint32 pid) override;
    bool openApplication(const QString& bundlePath) override;
    bool openURL(const QUrl& url) override;
    void notifyWhenEnded(qint32 pid, std::function<void()> ended) override;
};
