#pragma once

#include "codexapp/workspace.h"

// The workspace on Linux, read from /proc: the current user's processes in ascending pid
// order. There is no launch or quit notification, so the monitor's poll is what notices.
class LinuxWorkspace : public Workspace {
public:
    std::vector<RunningApplication> runningApplications() override;
    void terminate(qint32 pid) override;
    void forceTerminate(qint32 pid) override;
    bool openApplication(const QString& bundlePath) override;
    bool openURL(const QUrl& url) override;
    void beep() override;
};

// The bundle an executable lies in: "/x/Codex.app/Contents/MacOS/Codex" gives "/x/Codex.app".
QString bundlePathForExecutable(const QString& executablePath);
