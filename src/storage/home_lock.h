#pragma once

#include "core/codex_home.h"
#include "core/error.h"

// One writer per Codex home: an exclusive lock on morvane/lock, which the kernel lets go
// when its holder dies, however it dies. Two front ends, or two engines of one process,
// never write to one home at once.
class HomeLock {
public:
    // Tries once and never waits: another writer would hold the home for minutes.
    explicit HomeLock(const CodexHome& home);
    HomeLock(const HomeLock&) = delete;
    HomeLock& operator=(const HomeLock&) = delete;
    ~HomeLock();

    bool held() const { return m_fd >= 0; }
    // Why it is not held: another writer holds it, or the file's error.
    const Error& error() const { return m_error; }

private:
    int m_fd = -1;
    Error m_error;
};
