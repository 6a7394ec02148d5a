#include "codexapp/thread_locks.h"

#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/file_lock.h"
#include "core/files/file_tree.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// How long Codex is given to finish taking or dropping a thread's lock, or its own
// rewriting of rollout files, before the workflow gives up.
constexpr int lockWaitMs = 3000;
// Descriptors left to everything else while a move holds one per thread.
constexpr rlim_t descriptorReserve = 256;

const QString coordinationName = QStringLiteral(".coordination.lock");
const QString lockSuffix = QStringLiteral(".lock");

// Codex names a thread's lock file by its id; an id that could not be a file name of that
// folder is no Codex thread's.
bool isLockableId(const QString& id)
{
    return !id.isEmpty() && id.size() <= 200 && !id.startsWith(QLatin1Char('.'))
        && std::all_of(id.begin(), id.end(), [](QChar c) {
               return (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('-') || c == QLatin1Char('_');
           });
}

QString leftLocksList(const CodexHome& home)
{
    return home.morvaneRootPath() + QStringLiteral("/thread-locks-held");
}

QString lockPathIn(const QString& folder, const QString& id)
{
    return folder + QLatin1Char('/') + id + lockSuffix;
}

// Opens the lock file (making it when create is set; read-only otherwise) and tries its lock
// for up to waitMs, as Codex does: the descriptor, -1 while another process keeps the lock,
// or the error when the file cannot be opened or locked.
Expected<int> openLocked(const QString& path, bool create, int waitMs)
{
    const int fd = ::open(files::nativePath(path).constData(),
                          (create ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW, 0644);
    const bool opened = fd >= 0;
    const int failed = opened ? files::lockExclusive(fd, waitMs) : errno;
    if (failed == 0)
        return fd;
    if (opened)
        ::close(fd);
    if (failed == EWOULDBLOCK)
        return -1;
    return std::unexpected(files::systemError(opened ? QStringLiteral("锁定") : QStringLiteral("打开"), path, failed));
}

// The lock held within the wait, or busyText while another process keeps it.
Expected<int> heldWithin(const QString& path, bool create, const QString& busyText)
{
    Expected<int> fd = openLocked(path, create, lockWaitMs);
    if (fd && *fd < 0)
        return std::unexpected(Error{morvaneErrorDomain, ErrorConversationsOpen, busyText});
    return fd;
}

Expected<int> takeCoordination(const QString& folder, bool create)
{
    return heldWithin(folder + QLatin1Char('/') + coordinationName, create,
                      QStringLiteral("Codex 正在打开或关闭对话，等了几秒还没好，请稍后再试。"));
}

// For a look at the lock files that makes nothing in Codex's folder: the coordination lock
// when Codex has made its file, -1 when it has not.
Expected<int> coordinationIfMade(const QString& folder)
{
    if (!files::itemExists(folder + QLatin1Char('/') + coordinationName))
        return -1;
    return takeCoordination(folder, false);
}

// Under the coordination lock the caller holds: a lock file no process holds goes.
void removeIfFree(const QString& path)
{
    if (const Expected<int> fd = openLocked(path, false, 0); fd && *fd >= 0) {
        ::unlink(files::nativePath(path).constData());
        ::close(*fd);
    }
}

rlim_t openDescriptors()
{
    DIR* dir = ::opendir("/dev/fd");
    if (!dir)
        return descriptorReserve;
    rlim_t count = 0;
    while (const dirent* entry = ::readdir(dir))
        count += entry->d_name[0] == '.' ? 0 : 1;
    ::closedir(dir);
    return count;
}

// Whether the process may open count more descriptors, its limit raised as far as the
// system lets it.
bool roomForDescriptors(qsizetype count)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return false;
    const rlim_t needed = openDescriptors() + rlim_t(count) + descriptorReserve;
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed)
        return true;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur >= needed;
}

} // namespace

CodexThreadLocks::CodexThreadLocks(const CodexHome& home)
    : m_folder(home.file(QStringLiteral("thread-writer-locks")))
    , m_maintenancePath(home.file(QStringLiteral(".tmp/rollout-maintenance.lock")))
    , m_listPath(leftLocksList(home))
{
}

CodexThreadLocks::~CodexThreadLocks()
{
    if (m_maintenanceFd >= 0)
        ::close(m_maintenanceFd);
    // A lock file goes only under the coordination lock, as Codex's own do; one left
    // behind holds nothing, and Codex removes it.
    if (m_coordinationFd < 0 && !m_threads.empty())
        m_coordinationFd = takeCoordination(m_folder, false).value_or(-1);
    for (const Held& held : m_threads) {
        if (m_coordinationFd >= 0)
            ::unlink(files::nativePath(lockPathIn(m_folder, held.id)).constData());
        ::close(held.fd);
    }
    // Without the coordination lock the files stay, and so does their list for the next start.
    if (m_coordinationFd >= 0 || m_threads.empty())
        ::unlink(files::nativePath(m_listPath).constData());
    if (m_coordinationFd >= 0)
        ::close(m_coordinationFd);
}

Expected<> CodexThreadLocks::listClaimed(const QStringList& fresh) const
{
    QStringList ids = fresh;
    for (const Held& held : m_threads)
        ids << held.id;
    return files::writeAtomically(m_listPath, ids.join(QLatin1Char('\n')).toUtf8() + '\n');
}

Expected<> CodexThreadLocks::claim(const QStringList& threadIds)
{
    QStringList fresh;
    QSet<QString> seen;
    for (const QString& id : threadIds) {
        if (isLockableId(id) && !m_claimed.contains(id) && !seen.contains(id)) {
            seen.insert(id);
            fresh << id;
        }
    }
    if (fresh.isEmpty())
        return m_claimed.isEmpty() ? Expected<>() : holdMaintenanceLock();

    const bool coordinating = m_coordinationFd >= 0;
    if (!coordinating) {
        if (auto made = files::makeDirectory(m_folder); !made)
            return made;
    }
    if (auto listed = listClaimed(fresh); !listed)
        return listed;
    const Expected<int> coordination = coordinating ? m_coordinationFd : takeCoordination(m_folder, true);
    if (!coordination)
        return std::unexpected(coordination.error());
    // Too many threads for a descriptor each: the coordination lock is kept instead, and each
    // thread is only seen to be free.
    const bool holdEach = !coordinating && roomForDescriptors(fresh.size());
    qint64 busy = 0;
    std::optional<Error> fileError;
    for (const QString& id : fresh) {
        const QString path = lockPathIn(m_folder, id);
        const Expected<int> fd = openLocked(path, true, 0);
        if (!fd) {
            fileError = fd.error();
            break;
        }
        if (*fd < 0) {
            ++busy;
            continue;
        }
        m_claimed.insert(id);
        if (holdEach) {
            m_threads.push_back({id, *fd});
            continue;
        }
        ::unlink(files::nativePath(path).constData());
        ::close(*fd);
    }
    if (holdEach)
        ::close(*coordination);
    else
        m_coordinationFd = *coordination;
    if (busy > 0)
        return std::unexpected(Error{morvaneErrorDomain, ErrorConversationsOpen, conversationsOpenMessage(busy)});
    if (fileError)
        return std::unexpected(*fileError);
    return holdMaintenanceLock();
}

Expected<> CodexThreadLocks::holdMaintenanceLock()
{
    if (m_maintenanceFd >= 0)
        return {};
    if (auto made = files::makeDirectory(QFileInfo(m_maintenancePath).path()); !made)
        return made;
    const Expected<int> fd
        = heldWithin(m_maintenancePath, true, QStringLiteral("Codex 正在整理对话文件，请等它整理完再试。"));
    if (!fd)
        return std::unexpected(fd.error());
    m_maintenanceFd = *fd;
    return {};
}

bool hasLeftThreadLocks(const CodexHome& home)
{
    return files::itemExists(leftLocksList(home));
}

void removeLeftThreadLocks(const CodexHome& home)
{
    const QString folder = home.file(QStringLiteral("thread-writer-locks"));
    const Expected<int> coordination = coordinationIfMade(folder);
    if (!coordination)
        return; // Codex is busy with its locks: the list waits for the next start
    const QString list = leftLocksList(home);
    for (const QByteArray& line : files::readWhole(list).value_or(QByteArray()).split('\n')) {
        // One that some Codex holds is its own now.
        if (const QString id = QString::fromUtf8(line); isLockableId(id))
            removeIfFree(lockPathIn(folder, id));
    }
    ::unlink(files::nativePath(list).constData());
    if (*coordination >= 0)
        ::close(*coordination);
}

Expected<QStringList> openThreadIds(const CodexHome& home)
{
    const QString folder = home.file(QStringLiteral("thread-writer-locks"));
    QStringList ids;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.lock")}, QDir::Files | QDir::Hidden)) {
        if (const QString id = name.chopped(lockSuffix.size()); isLockableId(id))
            ids << id;
    }
    if (ids.isEmpty())
        return ids;
    // Asked under the coordination lock, a probe never takes a lock that a Codex starting
    // meanwhile wants.
    const Expected<int> coordination = coordinationIfMade(folder);
    if (!coordination)
        return std::unexpected(coordination.error());
    QStringList open;
    for (const QString& id : ids) {
        // One gone meanwhile is open no more.
        const Expected<int> fd = openLocked(lockPathIn(folder, id), false, 0);
        if (fd && *fd >= 0)
            ::close(*fd);
        else if (fd)
            open << id;
    }
    if (*coordination >= 0)
        ::close(*coordination);
    return open;
}

QString conversationsOpenMessage(qint64 count)
{
    return QStringLiteral("已检测到 Codex 正开着 %1 条对话，请先退出 Codex 再试。").arg(count);
}
