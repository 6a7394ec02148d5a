#pragma once

#include <QString>

#include <sys/types.h>

// An exclusive flock on the file (made when missing), held by a child process as a Codex
// process holds its lock files, until the object goes; the child dies with the test.
class HeldLock {
public:
    explicit HeldLock(const QString& path);
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    ~HeldLock();

private:
    pid_t m_child = -1;
    int m_release = -1; // closing it lets the child go
};
