#include "core/files/system_calls.h"

#include "core/files/file_errors.h"

#include <QSet>

#include <atomic>
#include <cerrno>

#include <fcntl.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

namespace files::system {
namespace {

std::atomic<bool> systemCallsEnabled{true};

// fsync, or syncfs for the whole file system, of one open file.
bool flushOne(const QString& path, bool wholeFileSystem)
{
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
#ifdef __linux__
    const bool flushed = (wholeFileSystem ? ::syncfs(fd) : ::fsync(fd)) == 0;
#else
    Q_UNUSED(wholeFileSystem)
    const bool flushed = ::fsync(fd) == 0;
#endif
    const int saved = errno;
    ::close(fd);
    errno = saved;
    return flushed;
}

} // namespace

void setSystemCallsEnabled(bool enabled) { systemCallsEnabled = enabled; }

KernelCopy cloneFile(int from, int to)
{
#ifdef __linux__
    if (systemCallsEnabled && ::ioctl(to, FICLONE, from) == 0)
        return KernelCopy::Done;
#else
    Q_UNUSED(from) Q_UNUSED(to)
#endif
    return KernelCopy::Unsupported;
}

KernelCopy copyInKernel(int from, int to, off_t size)
{
#ifdef __linux__
    if (!systemCallsEnabled)
        return KernelCopy::Unsupported;
    off_t remaining = size;
    while (remaining > 0) {
        const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, size_t(remaining), 0);
        if (copied > 0) {
            remaining -= copied;
            continue;
        }
        if (copied == 0)
            return KernelCopy::Done; // the file shrank meanwhile
        if (errno == EINTR)
            continue;
        // Nothing was copied yet when the system refuses these two files.
        if (remaining == size && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
            return KernelCopy::Unsupported;
        return KernelCopy::Failed;
    }
    return KernelCopy::Done;
#else
    Q_UNUSED(from) Q_UNUSED(to) Q_UNUSED(size)
    return KernelCopy::Unsupported;
#endif
}

void startWritingToDisk(int fd)
{
#ifdef __linux__
    if (systemCallsEnabled)
        ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    Q_UNUSED(fd)
#endif
}

bool flushToDisk(const std::vector<QString>& paths, QString* failedPath)
{
    // With many files, one flush of each file system is far cheaper than one per file.
    const bool byFileSystem = systemCallsEnabled && paths.size() > 1;
    std::vector<dev_t> flushed;
    // The files of one folder are on its file system: one look per folder is enough.
    QSet<QStringView> folders;
    for (const QString& path : paths) {
        if (byFileSystem) {
            const QStringView folder = QStringView(path).left(path.lastIndexOf(QLatin1Char('/')));
            if (folders.contains(folder))
                continue;
            folders.insert(folder);
        }
        struct stat info {};
        if (byFileSystem && ::stat(nativePath(path).constData(), &info) == 0) {
            bool done = false;
            for (const dev_t device : flushed)
                done = done || device == info.st_dev;
            if (done)
                continue;
            flushed.push_back(info.st_dev);
        }
        if (!flushOne(path, byFileSystem)) {
            if (failedPath)
                *failedPath = path;
            return false;
        }
    }
    return true;
}

struct timespec accessTime(const struct stat& info)
{
#ifdef __APPLE__
    return info.st_atimespec;
#else
    return info.st_atim;
#endif
}

struct timespec modificationTime(const struct stat& info)
{
#ifdef __APPLE__
    return info.st_mtimespec;
#else
    return info.st_mtim;
#endif
}

} // namespace files::system
