#include "core/files/file_tree.h"

#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/staging.h"
#include "core/files/system_calls.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {
namespace {

const QString copying = QStringLiteral("复制");

bool notADirectory(Error* error, const QString& path)
{
    Error what = fileErrorWithReason(QStringLiteral("创建目录"), path, QStringLiteral("那里已有一个同名文件"));
    what.code = EEXIST;
    return fail(error, what);
}

bool copyFile(const QString& source, const QString& destination, Error* error, Access access)
{
    const int from = ::open(nativePath(source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (from < 0)
        return fail(error, errno == ENXIO ? notRegularFileError(copying, source) : systemError(copying, source, errno));
    struct stat info {};
    if (::fstat(from, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(from);
        return fail(error, notRegularFileError(copying, source));
    }
    const int to = ::open(nativePath(destination).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (to < 0) {
        const int saved = errno;
        ::close(from);
        return fail(error, systemError(copying, destination, saved));
    }
    bool ok = copyContents(from, to, info.st_size);
    int saved = ok ? 0 : errno;
    if (ok && ::fchmod(to, access == Access::OwnerOnly ? 0600 : info.st_mode & 07777) != 0) {
        ok = false;
        saved = errno;
    }
    if (ok) {
        const struct timespec times[2] = {system::accessTime(info), system::modificationTime(info)};
        ::futimens(to, times);
    }
    ::close(from);
    if (::close(to) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(nativePath(destination).constData());
        return fail(error, systemError(copying, destination, saved));
    }
    return true;
}

// Every entry but "." and "..", or an error when the directory cannot be read whole.
std::optional<QStringList> listDirectory(const QString& path, Error* error)
{
    DIR* directory = ::opendir(nativePath(path).constData());
    if (!directory) {
        fail(error, systemError(copying, path, errno));
        return std::nullopt;
    }
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(directory);
        if (!entry)
            break;
        const QString name = QFile::decodeName(entry->d_name);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            names << name;
    }
    const int saved = errno;
    ::closedir(directory);
    if (saved != 0) {
        fail(error, systemError(copying, path, saved));
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool copyAny(const QString& source, const QString& destination, Error* error, Access access)
{
    struct stat info {};
    if (::stat(nativePath(source).constData(), &info) != 0) {
        const int saved = errno;
        struct stat link {};
        const bool dangling = saved == ENOENT && ::lstat(nativePath(source).constData(), &link) == 0;
        return fail(error, dangling ? danglingLinkError(copying, source) : systemError(copying, source, saved));
    }
    if (!S_ISDIR(info.st_mode))
        return copyFile(source, destination, error, access);
    // A link to a directory inside a tree stays a link: following it could loop.
    struct stat link {};
    if (::lstat(nativePath(source).constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        const QString target = QFile::symLinkTarget(source);
        if (::symlink(nativePath(target).constData(), nativePath(destination).constData()) != 0)
            return fail(error, systemError(copying, destination, errno));
        return true;
    }
    const std::optional<QStringList> entries = listDirectory(source, error);
    if (!entries)
        return false;
    if (::mkdir(nativePath(destination).constData(), 0700) != 0)
        return fail(error, systemError(copying, destination, errno));
    for (const QString& entry : *entries) {
        if (!copyAny(source + QLatin1Char('/') + entry, destination + QLatin1Char('/') + entry, error, access))
            return false;
    }
    ::chmod(nativePath(destination).constData(), access == Access::OwnerOnly ? 0700 : info.st_mode & 07777);
    return true;
}

} // namespace

bool isDirectory(const QString& path)
{
    struct stat info {};
    return ::stat(nativePath(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool makeDirectory(const QString& path, Error* error)
{
    const QString cleaned = QDir::cleanPath(path);
    struct stat info {};
    if (::stat(nativePath(cleaned).constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        return notADirectory(error, cleaned);
    }
    const QString parent = QFileInfo(cleaned).path();
    if (parent != cleaned && !makeDirectory(parent, error))
        return false;
    if (::mkdir(nativePath(cleaned).constData(), 0700) != 0 && errno != EEXIST)
        return fail(error, systemError(QStringLiteral("创建目录"), cleaned, errno));
    if (!isDirectory(cleaned))
        return notADirectory(error, cleaned);
    return true;
}

bool copyItem(const QString& source, const QString& destination, Error* error, Access access)
{
    if (itemExists(destination))
        return fail(error, systemError(copying, destination, EEXIST));
    return copyAny(source, destination, error, access);
}

bool replaceWithCopy(const QString& source, const QString& destination, Error* error, Access access)
{
    const QString replacing = QStringLiteral("替换");
    const std::optional<QString> target = fileBehind(destination, replacing, error);
    if (!target)
        return false;
    const QString temporary = temporarySibling(*target);
    if (!copyAny(source, temporary, error, access)) {
        removeItem(temporary);
        return false;
    }
    if (::rename(nativePath(temporary).constData(), nativePath(*target).constData()) != 0) {
        const int saved = errno;
        removeItem(temporary);
        return fail(error, systemError(replacing, destination, saved));
    }
    afterReplacing();
    return true;
}

void removeItem(const QString& path)
{
    struct stat info {};
    if (::lstat(nativePath(path).constData(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode))
        QDir(path).removeRecursively();
    else
        ::unlink(nativePath(path).constData());
}

void restrictToOwner(const QString& path)
{
    ::chmod(nativePath(path).constData(), 0600);
}

QStringList visibleEntries(const QString& directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

qint64 diskUsage(const QStringList& roots)
{
    qint64 bytes = 0;
    std::set<std::pair<dev_t, ino_t>> counted;
    const auto count = [&](const QString& path) {
        struct stat info {};
        if (::lstat(nativePath(path).constData(), &info) == 0 && counted.insert({info.st_dev, info.st_ino}).second)
            bytes += qint64(info.st_blocks) * 512;
    };
    for (const QString& root : roots) {
        if (root.isEmpty())
            continue;
        count(root);
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            count(it.next());
    }
    return bytes;
}

} // namespace files
