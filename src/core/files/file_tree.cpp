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
#include <filesystem>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {
namespace {

const QString copying = QStringLiteral("复制");

std::unexpected<Error> notADirectory(const QString& path)
{
    Error what = fileErrorWithReason(QStringLiteral("创建目录"), path, QStringLiteral("那里已有一个同名文件"));
    what.code = EEXIST;
    return std::unexpected(what);
}

Expected<> copyFile(const QString& source, const QString& destination, Access access)
{
    const int from = ::open(nativePath(source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (from < 0)
        return std::unexpected(errno == ENXIO ? notRegularFileError(copying, source) : systemError(copying, source, errno));
    struct stat info {};
    if (::fstat(from, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(from);
        return std::unexpected(notRegularFileError(copying, source));
    }
    const int to = ::open(nativePath(destination).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (to < 0) {
        const int saved = errno;
        ::close(from);
        return std::unexpected(systemError(copying, destination, saved));
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
        return std::unexpected(systemError(copying, destination, saved));
    }
    return {};
}

// Every entry but "." and "..", or an error when the directory cannot be read whole.
Expected<QStringList> listDirectory(const QString& path)
{
    DIR* directory = ::opendir(nativePath(path).constData());
    if (!directory)
        return std::unexpected(systemError(copying, path, errno));
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
    if (saved != 0)
        return std::unexpected(systemError(copying, path, saved));
    std::sort(names.begin(), names.end());
    return names;
}

Expected<> copyAny(const QString& source, const QString& destination, Access access)
{
    struct stat info {};
    if (::stat(nativePath(source).constData(), &info) != 0) {
        const int saved = errno;
        struct stat link {};
        const bool dangling = saved == ENOENT && ::lstat(nativePath(source).constData(), &link) == 0;
        return std::unexpected(dangling ? danglingLinkError(copying, source) : systemError(copying, source, saved));
    }
    if (!S_ISDIR(info.st_mode))
        return copyFile(source, destination, access);
    // A link to a directory inside a tree stays a link: following it could loop.
    struct stat link {};
    if (::lstat(nativePath(source).constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        const QString target = QFile::symLinkTarget(source);
        if (::symlink(nativePath(target).constData(), nativePath(destination).constData()) != 0)
            return std::unexpected(systemError(copying, destination, errno));
        return {};
    }
    const Expected<QStringList> entries = listDirectory(source);
    if (!entries)
        return std::unexpected(entries.error());
    if (::mkdir(nativePath(destination).constData(), 0700) != 0)
        return std::unexpected(systemError(copying, destination, errno));
    for (const QString& entry : *entries) {
        if (auto copied = copyAny(source + QLatin1Char('/') + entry, destination + QLatin1Char('/') + entry, access); !copied)
            return copied;
    }
    ::chmod(nativePath(destination).constData(), access == Access::OwnerOnly ? 0700 : info.st_mode & 07777);
    return {};
}

} // namespace

bool isDirectory(const QString& path)
{
    struct stat info {};
    return ::stat(nativePath(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

Expected<> makeDirectory(const QString& path)
{
    const QString cleaned = QDir::cleanPath(path);
    struct stat info {};
    if (::stat(nativePath(cleaned).constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return {};
        return notADirectory(cleaned);
    }
    const QString parent = QFileInfo(cleaned).path();
    if (parent != cleaned) {
        if (auto made = makeDirectory(parent); !made)
            return made;
    }
    if (::mkdir(nativePath(cleaned).constData(), 0700) != 0 && errno != EEXIST)
        return std::unexpected(systemError(QStringLiteral("创建目录"), cleaned, errno));
    if (!isDirectory(cleaned))
        return notADirectory(cleaned);
    return {};
}

Expected<> copyItem(const QString& source, const QString& destination, Access access)
{
    if (itemExists(destination))
        return std::unexpected(systemError(copying, destination, EEXIST));
    return copyAny(source, destination, access);
}

Expected<> replaceWithCopy(const QString& source, const QString& destination, Access access)
{
    const QString replacing = QStringLiteral("替换");
    const Expected<QString> target = fileBehind(destination, replacing);
    if (!target)
        return std::unexpected(target.error());
    const QString temporary = temporarySibling(*target);
    if (auto copied = copyAny(source, temporary, access); !copied) {
        removeItem(temporary);
        return copied;
    }
    if (::rename(nativePath(temporary).constData(), nativePath(*target).constData()) != 0) {
        const int saved = errno;
        removeItem(temporary);
        return std::unexpected(systemError(replacing, destination, saved));
    }
    afterReplacing();
    return {};
}

Expected<> removeFile(const QString& path)
{
    if (::unlink(nativePath(path).constData()) != 0 && errno != ENOENT)
        return std::unexpected(systemError(QStringLiteral("删除"), path, errno));
    return {};
}

Expected<> removeItem(const QString& path)
{
    std::error_code failed;
    std::filesystem::remove_all(std::filesystem::path(nativePath(path).toStdString()), failed);
    if (failed && failed.value() != ENOENT)
        return std::unexpected(systemError(QStringLiteral("删除"), path, failed.value()));
    return {};
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
