#include "storage/home_lock.h"

#include "core/files/file_errors.h"
#include "core/files/file_lock.h"
#include "core/files/file_tree.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

HomeLock::HomeLock(const CodexHome& home)
{
    if (Expected<> made = files::makeDirectory(home.morvaneRootPath()); !made) {
        m_error = made.error();
        return;
    }
    const QString path = home.morvaneRootPath() + QStringLiteral("/lock");
    const int fd = ::open(files::nativePath(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_error = files::systemError(QStringLiteral("打开"), path, errno);
        return;
    }
    if (const int failed = files::lockExclusive(fd, 0); failed != 0) {
        m_error = failed == EWOULDBLOCK
            ? Error{morvaneErrorDomain, 0,
                    QStringLiteral("另一个 Morvane 正在修改 Codex 配置，请等它完成后再试。")}
            : files::systemError(QStringLiteral("锁定"), path, failed);
        ::close(fd);
        return;
    }
    m_fd = fd;
}

HomeLock::~HomeLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing lets the lock go
}
