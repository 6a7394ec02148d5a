#include "support/held_lock.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

HeldLock::HeldLock(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    const QByteArray native = QFile::encodeName(path);
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) {
        ADD_FAILURE() << "no pipe";
        return;
    }
    const long descriptors = ::sysconf(_SC_OPEN_MAX);
    m_child = ::fork();
    if (m_child == 0) {
        // Only calls that are safe after a fork of a process with threads. The test's own
        // descriptors go, so that no lock the test holds lives on in the child.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(release[0], STDIN_FILENO);
        ::dup2(ready[1], STDOUT_FILENO);
        for (long fd = STDERR_FILENO + 1; fd < descriptors; ++fd)
            ::close(int(fd));
        const int fd = ::open(native.constData(), O_RDWR | O_CREAT, 0644);
        const char held = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? '1' : '0';
        char ignored;
        if (::write(STDOUT_FILENO, &held, 1) == 1)
            (void)::read(STDIN_FILENO, &ignored, 1);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    m_release = release[1];
    char held = '0';
    EXPECT_EQ(::read(ready[0], &held, 1), 1);
    EXPECT_EQ(held, '1') << native.constData();
    ::close(ready[0]);
}

HeldLock::~HeldLock()
{
    ::close(m_release);
    if (m_child > 0)
        ::waitpid(m_child, nullptr, 0);
}
