#pragma once

#include "codexapp/workspace.h"

#include <QSocketNotifier>

#include <map>
#include <memory>

// The workspace on Linux, read from /proc: the current user's processes in ascending pid
// order. A process's end is noticed at once through a pidfd; a launch only by the poll.
class LinuxWorkspace : public Workspace {
public:
    ~LinuxWorkspace() override;

    std::vector<RunningApplication> runningApplications(const ApplicationFilter& mayBeWanted) override;
    void terminate(qint32 pid) override;
    void forceTerminate(qint32 pid) override;
    bool openApplication(const QString& bundlePath) override;
    bool openURL(const QUrl& url) override;
    void notifyWhenEnded(qint32 pid, std::function<void()> ended) override;

private:
    std::map<qint32, std::unique_ptr<QSocketNotifier>> m_endWatches; // each owns its pidfd
};
