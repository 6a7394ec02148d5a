#include "core/file_ops.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {
namespace {

QString reasonForErrno(int value)
{
    switch (value) {
    case ENOENT: return QStringLiteral("文件或目录不存在");
    case EEXIST: return QStringLiteral("目标已存在");
    case EACCES:
    case EPERM: return QStringLiteral("没有权限");
    case ENOTDIR: return QStringLiteral("路径中有一项不是目录");
    case EISDIR: return QStringLiteral("目标是一个目录");
    case ENOTEMPTY: return QStringLiteral("目录不是空的");
    case ENOSPC: return QStringLiteral("磁盘空间不足");
    case EDQUOT: return QStringLiteral("超出磁盘配额");
    case EROFS: return QStringLiteral("文件系统是只读的");
    case EIO: return QStringLiteral("读写设备出错");
    case ENAMETOOLONG: return QStringLiteral("路径太长");
    case ELOOP: return QStringLiteral("符号链接层数过多");
    case EMFILE:
    case ENFILE: return QStringLiteral("打开的文件太多");
    case EBUSY: return QStringLiteral("文件正被占用");
    case EXDEV: return QStringLiteral("不能跨文件系统移动");
    default: return QString::fromLocal8Bit(std::strerror(value));
    }
}

QString displayName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

QByteArray native(const QString& path) { return QFile::encodeName(path); }

bool fail(Error* error, const QString& operation, const QString& path, int errnoValue)
{
    if (error)
        *error = systemError(operation, path, errnoValue);
    return false;
}

bool notADirectory(Error* error, const QString& path)
{
    if (error) {
        *error = fileErrorWithReason(QStringLiteral("创建目录"), path, QStringLiteral("那里已有一个同名文件"));
        error->code = EEXIST;
    }
    return false;
}

bool isDirectory(const QString& path)
{
    struct stat info {};
    return ::stat(native(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A fresh hidden name beside the target, for content that is renamed over it.
QString temporarySibling(const QString& target)
{
    const QFileInfo info(target);
    return info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".morvane-")
        + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

// Moves the bytes in the kernel where it can (copy_file_range), else through a buffer.
bool copyContents(int from, int to, off_t size)
{
    off_t remaining = size;
    while (remaining > 0) {
        const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, size_t(remaining), 0);
        if (copied > 0) {
            remaining -= copied;
            continue;
        }
        if (copied == 0)
            break; // the file shrank while we copied; the rest goes through the buffer loop
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return false;
        break;
    }
    static constexpr size_t bufferSize = 1 << 20;
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    for (;;) {
        const ssize_t got = ::read(from, buffer.get(), bufferSize);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (!writeAll(to, buffer.get(), size_t(got)))
            return false;
    }
}

bool copyFile(const QString& source, const QString& destination, const struct stat& info, Error* error)
{
    const int from = ::open(native(source).constData(), O_RDONLY | O_CLOEXEC);
    if (from < 0)
        return fail(error, QStringLiteral("复制"), source, errno);
    const int to = ::open(native(destination).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (to < 0) {
        const int saved = errno;
        ::close(from);
        return fail(error, QStringLiteral("复制"), destination, saved);
    }
    bool ok = copyContents(from, to, info.st_size);
    int saved = ok ? 0 : errno;
    if (ok && ::fchmod(to, info.st_mode & 07777) != 0) {
        ok = false;
        saved = errno;
    }
    if (ok) {
        const struct timespec times[2] = {info.st_atim, info.st_mtim};
        ::futimens(to, times);
    }
    ::close(from);
    if (::close(to) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(native(destination).constData());
        return fail(error, QStringLiteral("复制"), destination, saved);
    }
    return true;
}

bool copyAny(const QString& source, const QString& destination, Error* error)
{
    struct stat info {};
    if (::lstat(native(source).constData(), &info) != 0)
        return fail(error, QStringLiteral("复制"), source, errno);

    if (S_ISLNK(info.st_mode)) {
        QByteArray target(qsizetype(info.st_size > 0 ? info.st_size : PATH_MAX) + 1, '\0');
        const ssize_t length = ::readlink(native(source).constData(), target.data(), size_t(target.size()));
        if (length < 0)
            return fail(error, QStringLiteral("复制"), source, errno);
        target.truncate(length);
        if (::symlink(target.constData(), native(destination).constData()) != 0)
            return fail(error, QStringLiteral("复制"), destination, errno);
        return true;
    }
    if (S_ISDIR(info.st_mode)) {
        if (::mkdir(native(destination).constData(), 0700) != 0)
            return fail(error, QStringLiteral("复制"), destination, errno);
        const QStringList entries = QDir(source).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& entry : entries) {
            if (!copyAny(source + QLatin1Char('/') + entry, destination + QLatin1Char('/') + entry, error))
                return false;
        }
        ::chmod(native(destination).constData(), info.st_mode & 07777);
        return true;
    }
    if (!S_ISREG(info.st_mode))
        return fail(error, QStringLiteral("复制"), source, EINVAL);
    return copyFile(source, destination, info, error);
}

} // namespace

Error systemError(const QString& operation, const QString& path, int errnoValue)
{
    Error error = fileErrorWithReason(operation, path, reasonForErrno(errnoValue));
    error.code = errnoValue;
    return error;
}

Error fileErrorWithReason(const QString& operation, const QString& path, const QString& reason)
{
    return Error{fileErrorDomain, 0, QStringLiteral("无法%1“%2”：%3。").arg(operation, displayName(path), reason)};
}

bool itemExists(const QString& path)
{
    struct stat info {};
    return ::lstat(native(path).constData(), &info) == 0;
}


std::optional<QByteArray> readWhole(const QString& path, Error* error)
{
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        fail(error, QStringLiteral("读取"), path, errno);
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int saved = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        fail(error, QStringLiteral("读取"), path, saved);
        return std::nullopt;
    }
    QByteArray bytes;
    bytes.reserve(qsizetype(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            ::close(fd);
            fail(error, QStringLiteral("读取"), path, saved);
            return std::nullopt;
        }
        bytes.append(buffer, got);
    }
    ::close(fd);
    return bytes;
}

std::optional<QByteArray> readUtf8Bytes(const QString& path, Error* error)
{
    std::optional<QByteArray> bytes = readWhole(path, error);
    if (bytes && !QByteArrayView(*bytes).isValidUtf8()) {
        if (error)
            *error = fileErrorWithReason(QStringLiteral("读取"), path, QStringLiteral("内容不是有效的 UTF-8 文本"));
        return std::nullopt;
    }
    return bytes;
}

std::optional<QString> readUtf8(const QString& path, Error* error)
{
    const std::optional<QByteArray> bytes = readUtf8Bytes(path, error);
    if (!bytes)
        return std::nullopt;
    // A byte-order mark stays part of the text, so a file written back is unchanged.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(*bytes);
}

bool writeAtomically(const QString& path, const QByteArray& data, Error* error, Access access)
{
    QSaveFile file(path);
    // The system's reason when there is one, else Qt's own description.
    const auto failed = [&] {
        const int saved = errno;
        if (saved != 0)
            return fail(error, QStringLiteral("写入"), path, saved);
        if (error)
            *error = fileErrorWithReason(QStringLiteral("写入"), path, file.errorString());
        return false;
    };
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        return failed();
    if (access == Access::OwnerOnly)
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    errno = 0;
    if (file.write(data) != data.size() || !file.commit())
        return failed();
    if (access == Access::OwnerOnly)
        restrictToOwner(path);
    return true;
}

AtomicBatch::~AtomicBatch()
{
    for (const Staged& staged : m_staged)
        ::unlink(native(staged.temporary).constData());
}

bool AtomicBatch::stage(const QString& path, const QByteArray& data, Error* error)
{
    struct stat target {};
    const bool replacing = ::stat(native(path).constData(), &target) == 0;
    const QString temporary = temporarySibling(path);
    const int fd = ::open(native(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return fail(error, QStringLiteral("写入"), path, errno);
    bool ok = writeAll(fd, data.constData(), size_t(data.size()));
    int saved = ok ? 0 : errno;
    if (ok && replacing && ::fchmod(fd, target.st_mode & 07777) != 0) {
        ok = false;
        saved = errno;
    }
    struct stat written {};
    if (ok && ::fstat(fd, &written) != 0) {
        ok = false;
        saved = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(native(temporary).constData());
        return fail(error, QStringLiteral("写入"), path, saved);
    }
    m_staged.push_back({temporary, path, written.st_dev});
    return true;
}

bool AtomicBatch::commit(Error* error)
{
    // One flush per file system puts every new content on disk before any rename.
    std::vector<dev_t> flushed;
    for (const Staged& staged : m_staged) {
        if (std::find(flushed.begin(), flushed.end(), staged.device) != flushed.end())
            continue;
        const int fd = ::open(native(staged.temporary).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::syncfs(fd) != 0) {
            const int saved = errno;
            if (fd >= 0)
                ::close(fd);
            return fail(error, QStringLiteral("写入"), staged.target, saved);
        }
        ::close(fd);
        flushed.push_back(staged.device);
    }
    for (size_t i = 0; i < m_staged.size(); ++i) {
        if (::rename(native(m_staged[i].temporary).constData(), native(m_staged[i].target).constData()) != 0) {
            const int saved = errno;
            const QString target = m_staged[i].target;
            m_staged.erase(m_staged.begin(), m_staged.begin() + qsizetype(i)); // those are in place
            return fail(error, QStringLiteral("替换"), target, saved);
        }
    }
    m_staged.clear();
    return true;
}

bool makeDirectory(const QString& path, Error* error)
{
    const QString cleaned = QDir::cleanPath(path);
    struct stat info {};
    if (::stat(native(cleaned).constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        return notADirectory(error, cleaned);
    }
    const QString parent = QFileInfo(cleaned).path();
    if (parent != cleaned && !makeDirectory(parent, error))
        return false;
    if (::mkdir(native(cleaned).constData(), 0700) != 0 && errno != EEXIST)
        return fail(error, QStringLiteral("创建目录"), cleaned, errno);
    if (!isDirectory(cleaned))
        return notADirectory(error, cleaned);
    return true;
}

bool copyItem(const QString& source, const QString& destination, Error* error)
{
    if (itemExists(destination))
        return fail(error, QStringLiteral("复制"), destination, EEXIST);
    return copyAny(source, destination, error);
}

bool replaceWithCopy(const QString& source, const QString& destination, Error* error)
{
    const QString temporary = temporarySibling(destination);
    if (!copyAny(source, temporary, error)) {
        removeItem(temporary);
        return false;
    }
    if (::rename(native(temporary).constData(), native(destination).constData()) != 0) {
        const int saved = errno;
        removeItem(temporary);
        return fail(error, QStringLiteral("替换"), destination, saved);
    }
    return true;
}

void removeItem(const QString& path)
{
    struct stat info {};
    if (::lstat(native(path).constData(), &info) != 0)
        return;
    if (S_ISDIR(info.st_mode))
        QDir(path).removeRecursively();
    else
        ::unlink(native(path).constData());
}

bool restrictToOwner(const QString& path)
{
    return ::chmod(native(path).constData(), 0600) == 0;
}

QStringList visibleEntries(const QString& directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace files
