#pragma once

#include "codexapp/workspace.h"

#include <QSocketNotifier>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// The workspace on Linux, read from /proc: the current user's processes in ascending pid
// order. A process's end is noticed at once through a pidfd; a launch only by the poll.
class LinuxWorkspace : public Workspace {
public:
    ~LinuxWorkspace() override;

    std::vector<RunningApplication> runningApplications(const ApplicationFilter& mayBeWanted) override;
    // From one thread only, the window's: it keeps what earlier polls refused.
    std::vector<RunningApplication> polledApplications(const ApplicationFilter& mayBeWanted) override;
    void terminate(qint32 pid) override;
    void forceTerminate(qint32 pid) override;
    bool openApplication(const QString& bundlePath) override;
    bool openURL(const QUrl& url) override;
    void notifyWhenEnded(qint32 pid, std::function<void()> ended) override;

    // A poll looks at every process at every this many polls. In between it trusts the
    // refusal of a process refused at this many polls in a row.
    static constexpr int pollsPerFullLook = 30;
    static constexpr int refusalsBeforeTrust = 3;

private:
    int m_polls = 0;
    std::optional<qint32> m_newestProcessId; // as the last listing of /proc began
    std::vector<std::pair<qint32, int>> m_seen; // by pid: each with the polls it was refused at in a row
    std::map<qint32, std::unique_ptr<QSocketNotifier>> m_endWatches; // each owns its pidfd
};
