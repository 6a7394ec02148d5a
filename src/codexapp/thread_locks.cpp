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

enum class Lock { Taken, Busy, Failed };

// Opens the lock file (making it when create is set; read-only otherwise) and tries its lock
// for up to waitMs, as Codex does. Taken gives the descriptor; Failed fills the error.
Lock openLocked(const QString& path, bool create, int waitMs, int& fd, Error* error)
{
    fd = ::open(files::nativePath(path).constData(),
                (create ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC | O_NOFOLLOW, 0644);
    const bool opened = fd >= 0;
    const int failed = opened ? files::lockExclusive(fd, waitMs) : errno;
    if (failed == 0)
        return Lock::Taken;
    if (opened)
        ::close(fd);
    fd = -1;
    if (failed == EWOULDBLOCK)
        return Lock::Busy;
    files::fail(error, files::systemError(opened ? QStringLiteral("锁定") : QStringLiteral("打开"), path, failed));
    return Lock::Failed;
}

// The lock held within the wait: its descriptor, or -1 with the error, busyText while another
// process keeps it.
int heldWithin(const QString& path, bool create, const QString& busyText, Error* error)
{
    int fd = -1;
    if (openLocked(path, create, lockWaitMs, fd, error) == Lock::Busy)
        setMorvaneError(error, ErrorConversationsOpen, busyText);
    return fd;
}

int takeCoordination(const QString& folder, bool create, Error* error)
{
    return heldWithin(folder + QLatin1Char('/') + coordinationName, create,
                      QStringLiteral("Codex 正在打开或关闭对话，等了几秒还没好，请稍后再试。"), error);
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
        m_coordinationFd = takeCoordination(m_folder, false, nullptr);
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

bool CodexThreadLocks::listClaimed(const QStringList& fresh, Error* error)
{
    QStringList ids = fresh;
    for (const Held& held : m_threads)
        ids << held.id;
    return files::writeAtomically(m_listPath, ids.join(QLatin1Char('\n')).toUtf8() + '\n', error);
}

bool CodexThreadLocks::claim(const QStringList& threadIds, Error* error)
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
        return m_claimed.isEmpty() || holdMaintenanceLock(error);

    const bool coordinating = m_coordinationFd >= 0;
    if (!coordinating && !files::makeDirectory(m_folder, error))
        return false;
    if (!listClaimed(fresh, error))
        return false;
    const int coordination = coordinating ? m_coordinationFd : takeCoordination(m_folder, true, error);
    if (coordination < 0)
        return false;
    // Too many threads for a descriptor each: the coordination lock is kept instead, and each
    // thread is only seen to be free.
    const bool holdEach = !coordinating && roomForDescriptors(fresh.size());
    qint64 busy = 0;
    Error fileError;
    for (const QString& id : fresh) {
        const QString path = lockPathIn(m_folder, id);
        int fd = -1;
        const Lock lock = openLocked(path, true, 0, fd, &fileError);
        if (lock == Lock::Failed)
            break;
        if (lock == Lock::Busy) {
            ++busy;
            continue;
        }
        m_claimed.insert(id);
        if (holdEach) {
            m_threads.push_back({id, fd});
            continue;
        }
        ::unlink(files::nativePath(path).constData());
        ::close(fd);
    }
    if (holdEach)
        ::close(coordination);
    else
        m_coordinationFd = coordination;
    if (busy > 0) {
        setMorvaneError(error, ErrorConversationsOpen, conversationsOpenMessage(busy));
        return false;
    }
    if (!fileError.message.isEmpty())
        return files::fail(error, fileError);
    return holdMaintenanceLock(error);
}

bool CodexThreadLocks::holdMaintenanceLock(Error* error)
{
    if (m_maintenanceFd >= 0)
        return true;
    if (!files::makeDirectory(QFileInfo(m_maintenancePath).path(), error))
        return false;
    m_maintenanceFd = heldWithin(m_maintenancePath, true, QStringLiteral("Codex 正在整理对话文件，请等它整理完再试。"), error);
    return m_maintenanceFd >= 0;
}

bool hasLeftThreadLocks(const CodexHome& home)
{
    return files::itemExists(leftLocksList(home));
}

void removeLeftThreadLocks(const CodexHome& home)
{
    const QString list = leftLocksList(home);
    const QString folder = home.file(QStringLiteral("thread-writer-locks"));
    const bool locksMade = files::itemExists(folder + QLatin1Char('/') + coordinationName);
    const int coordination = locksMade ? takeCoordination(folder, false, nullptr) : -1;
    if (locksMade && coordination < 0)
        return; // Codex is busy with its locks: the list waits for the next start
    const QByteArray ids = locksMade ? files::readWhole(list).value_or(QByteArray()) : QByteArray();
    for (const QByteArray& id : ids.split('\n')) {
        if (!isLockableId(QString::fromUtf8(id)))
            continue;
        // One that some Codex holds is its own now.
        int fd = -1;
        if (openLocked(lockPathIn(folder, QString::fromUtf8(id)), false, 0, fd, nullptr) == Lock::Taken) {
            ::unlink(files::nativePath(lockPathIn(folder, QString::fromUtf8(id))).constData());
            ::close(fd);
        }
    }
    ::unlink(files::nativePath(list).constData());
    if (coordination >= 0)
        ::close(coordination);
}

std::optional<QStringList> openThreadIds(const CodexHome& home, Error* error)
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
    const bool coordinated = files::itemExists(folder + QLatin1Char('/') + coordinationName);
    const int coordination = coordinated ? takeCoordination(folder, false, error) : -1;
    if (coordinated && coordination < 0)
        return std::nullopt;
    QStringList open;
    for (const QString& id : ids) {
        int fd = -1;
        const Lock lock = openLocked(lockPathIn(folder, id), false, 0, fd, nullptr); // one gone meanwhile is open no more
        if (lock == Lock::Taken)
            ::close(fd);
        else if (lock == Lock::Busy)
            open << id;
    }
    if (coordination >= 0)
        ::close(coordination);
    return open;
}

QString conversationsOpenMessage(qint64 count)
{
    return QStringLiteral("已检测到 Codex 正开着 %1 条对话，请先退出 Codex 再试。").arg(count);
}
