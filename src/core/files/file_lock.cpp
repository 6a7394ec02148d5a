#include "core/files/file_lock.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>

#include <sys/file.h>

namespace files {

int lockExclusive(int fd, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return 0;
        const int failed = errno;
        if (failed == EINTR)
            continue;
        if (failed != EWOULDBLOCK || deadline.hasExpired())
            return failed;
        QThread::msleep(20);
    }
}

} // namespace files
