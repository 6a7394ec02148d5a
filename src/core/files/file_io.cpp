#include "core/files/file_io.h"

#include "core/files/file_errors.h"
#include "core/files/staging.h"
#include "core/files/system_calls.h"

#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace files {
namespace {

constexpr off_t earlyWriteMinimum = 256 * 1024;

// Writes every byte of first, then of second, going on after interruptions and short
// writes; false with errno set on failure.
bool writeAll(int fd, const std::vector<QByteArrayView>& pieces)
{
    std::vector<iovec> parts;
    parts.reserve(pieces.size());
    for (const QByteArrayView piece : pieces)
        parts.push_back(iovec{const_cast<char*>(piece.data()), size_t(piece.size())});
    size_t next = 0;
    for (;;) {
        while (next < parts.size() && parts[next].iov_len == 0)
            ++next;
        if (next == parts.size())
            return true;
        const ssize_t written = ::writev(fd, parts.data() + next, int(std::min<size_t>(parts.size() - next, IOV_MAX)));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        // A short write leaves the rest of the parts for the next round.
        size_t left = size_t(written);
        for (size_t i = next; i < parts.size() && left > 0; ++i) {
            const size_t taken = std::min(left, parts[i].iov_len);
            parts[i].iov_base = static_cast<char*>(parts[i].iov_base) + taken;
            parts[i].iov_len -= taken;
            left -= taken;
        }
    }
}

// Copies size bytes from the current offset of one open file to that of another: in the
// kernel where the system can, then through a buffer.
bool copyRest(int from, int to, off_t size)
{
    switch (system::copyInKernel(from, to, size)) {
    case system::KernelCopy::Done:
        return true;
    case system::KernelCopy::Failed:
        return false;
    case system::KernelCopy::Unsupported:
        break;
    }
    static constexpr size_t bufferSize = 1 << 20;
    const std::unique_ptr<char[]> buffer(new char[bufferSize]);
    for (;;) {
        const ssize_t got = ::read(from, buffer.get(), bufferSize);
        if (got == 0)
            return true;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (!writeAll(to, {QByteArrayView(buffer.get(), got)}))
            return false;
    }
}

} // namespace

bool copyContents(int from, int to, off_t size)
{
    return system::cloneFile(from, to) == system::KernelCopy::Done || copyRest(from, to, size);
}

namespace {

FileIdentity identityFrom(const struct stat& info)
{
    const struct timespec modified = system::modificationTime(info);
    return {info.st_dev, info.st_ino, qint64(info.st_size), qint64(modified.tv_sec) * 1'000'000'000 + modified.tv_nsec};
}

} // namespace

std::optional<FileIdentity> identityOf(const QString& path)
{
    struct stat info {};
    if (::stat(nativePath(path).constData(), &info) != 0)
        return std::nullopt;
    return identityFrom(info);
}

bool itemExists(const QString& path)
{
    struct stat info {};
    return ::lstat(nativePath(path).constData(), &info) == 0;
}

Expected<QString> fileBehind(const QString& path, const QString& operation)
{
    struct stat info {};
    if (::lstat(nativePath(path).constData(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (!::realpath(nativePath(path).constData(), resolved))
        return std::unexpected(errno == ENOENT ? danglingLinkError(operation, path) : systemError(operation, path, errno));
    return QFile::decodeName(resolved);
}

namespace {

// Opens a regular file for reading, without blocking: a named pipe must not hold the
// program up. Gives the open descriptor.
Expected<int> openRegularFile(const QString& path, struct stat& info)
{
    const QString operation = QStringLiteral("读取");
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::unexpected(errno == ENXIO ? notRegularFileError(operation, path) : systemError(operation, path, errno));
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int saved = errno;
        ::close(fd);
        if (S_ISDIR(info.st_mode))
            return std::unexpected(systemError(operation, path, EISDIR));
        return std::unexpected(info.st_mode ? notRegularFileError(operation, path) : systemError(operation, path, saved));
    }
    return fd;
}

// Reads an open file to its end straight into the buffer, sized as the file is now; a file
// that grows meanwhile is read to its end all the same.
Expected<> readToEnd(int fd, qint64 sizeNow, const QString& path, QByteArray& bytes)
{
    qsizetype size = 0;
    bytes.resize(qsizetype(sizeNow) + 1);
    for (;;) {
        if (size == bytes.size())
            bytes.resize(size + (1 << 16));
        const ssize_t got = ::read(fd, bytes.data() + size, size_t(bytes.size() - size));
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::unexpected(systemError(QStringLiteral("读取"), path, errno));
        }
        size += got;
    }
    bytes.resize(size);
    return {};
}

Expected<> utf8Check(const QByteArray& bytes, const QString& path)
{
    if (QByteArrayView(bytes).isValidUtf8())
        return {};
    return std::unexpected(fileErrorWithReason(QStringLiteral("读取"), path, QStringLiteral("内容不是有效的 UTF-8 文本")));
}

} // namespace

Expected<FileIdentity> readWholeInto(const QString& path, QByteArray& bytes)
{
    struct stat info {};
    const Expected<int> fd = openRegularFile(path, info);
    if (!fd)
        return std::unexpected(fd.error());
    const Expected<> read = readToEnd(*fd, info.st_size, path, bytes);
    // Looked at again once read: a file that grew meanwhile is known by its size now (else
    // by the size it had, which only makes it look changed).
    ::fstat(*fd, &info);
    ::close(*fd);
    if (!read)
        return std::unexpected(read.error());
    return identityFrom(info);
}

Expected<QByteArray> readWhole(const QString& path)
{
    QByteArray bytes;
    if (auto read = readWholeInto(path, bytes); !read)
        return std::unexpected(read.error());
    return bytes;
}

Expected<FileIdentity> readUtf8Into(const QString& path, QByteArray& bytes)
{
    const Expected<FileIdentity> read = readWholeInto(path, bytes);
    if (!read)
        return read;
    if (auto text = utf8Check(bytes, path); !text)
        return std::unexpected(text.error());
    return read;
}

Expected<QString> readUtf8(const QString& path)
{
    const Expected<QByteArray> bytes = readWhole(path);
    if (!bytes)
        return std::unexpected(bytes.error());
    if (auto text = utf8Check(*bytes, path); !text)
        return std::unexpected(text.error());
    // A byte-order mark stays part of the text, so a file written back is unchanged.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(*bytes);
}

Expected<> writeAtomically(const QString& path, const QByteArray& data, Access access)
{
    StagedReplacements batch;
    if (auto staged = batch.stage(path, data, access); !staged)
        return staged;
    return batch.commit();
}

StagedReplacements::~StagedReplacements()
{
    for (const Staged& staged : m_staged)
        ::unlink(nativePath(staged.temporary).constData());
}

Expected<> StagedReplacements::stage(const QString& path, const QByteArray& data, Access access)
{
    return stageWith(path, access, access == Access::OwnerOnly ? 0600 : 0666, data.size(),
                     [&data](int fd) { return writeAll(fd, {data}); });
}

Expected<> StagedReplacements::stageCopy(const QString& path, const QString& source)
{
    struct stat info {};
    const Expected<int> from = openRegularFile(source, info);
    if (!from)
        return std::unexpected(from.error());
    // A new file gets the source's mode, writable by its owner: a backup of auth.json stays
    // owner-only, a read-only backup object does not make a read-only conversation.
    const mode_t newFileMode = (info.st_mode & 0777) | 0200;
    Expected<> staged = stageWith(path, Access::Default, newFileMode, info.st_size,
                                  [&](int fd) { return copyContents(*from, fd, info.st_size); });
    ::close(*from);
    return staged;
}

Expected<> StagedReplacements::stagePieces(const QString& path, const std::vector<QByteArrayView>& pieces,
                                           const std::optional<FileIdentity>& readAs)
{
    qint64 size = 0;
    for (const QByteArrayView piece : pieces)
        size += piece.size();
    return stageWith(path, Access::Default, 0666, size, [&](int fd) { return writeAll(fd, pieces); }, readAs);
}

Expected<> StagedReplacements::stageWith(const QString& path, Access access, mode_t newFileMode, qint64 size,
                                         const std::function<bool(int fd)>& write,
                                         const std::optional<FileIdentity>& readAs)
{
    const QString operation = QStringLiteral("写入");
    struct stat existing {};
    bool replacing = ::lstat(nativePath(path).constData(), &existing) == 0;
    QString target = path;
    // Through a symbolic link, the file it leads to is the one replaced.
    if (replacing && S_ISLNK(existing.st_mode)) {
        const Expected<QString> behind = fileBehind(path, operation);
        if (!behind)
            return std::unexpected(behind.error());
        target = *behind;
        replacing = ::stat(nativePath(target).constData(), &existing) == 0;
    }
    if (replacing && S_ISDIR(existing.st_mode))
        return std::unexpected(systemError(operation, path, EISDIR));
    if (replacing && !S_ISREG(existing.st_mode))
        return std::unexpected(notRegularFileError(operation, path));

    const QString temporary = temporarySibling(target);
    const int fd = ::open(nativePath(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newFileMode);
    if (fd < 0)
        return std::unexpected(systemError(operation, path, errno));
    bool ok = write(fd);
    int saved = ok ? 0 : errno;
    // A large file goes to disk at once, while the next one is staged; commit waits for it.
    // Small ones are left to commit's flush: started one by one, their writes cost the
    // file system more than the overlap saves.
    if (ok && size >= earlyWriteMinimum)
        system::startWritingToDisk(fd);
    // The new file keeps the mode of the one it replaces, unless it is to be owner-only.
    const mode_t mode = access == Access::OwnerOnly ? 0600 : existing.st_mode & 07777;
    if (ok && (replacing || access == Access::OwnerOnly) && ::fchmod(fd, mode) != 0) {
        ok = false;
        saved = errno;
    }
    if (::close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        ::unlink(nativePath(temporary).constData());
        return std::unexpected(systemError(operation, path, saved));
    }
    m_staged.push_back({temporary, target, readAs});
    return {};
}

Expected<> StagedReplacements::commit()
{
    std::vector<QString> temporaries;
    for (const Staged& staged : m_staged)
        temporaries.push_back(staged.temporary);
    QString failed;
    if (!system::flushToDisk(temporaries, &failed)) {
        const int saved = errno;
        for (const Staged& staged : m_staged) {
            if (staged.temporary == failed)
                return std::unexpected(systemError(QStringLiteral("写入"), staged.target, saved));
        }
        return std::unexpected(systemError(QStringLiteral("写入"), failed, saved));
    }
    for (size_t i = 0; i < m_staged.size(); ++i) {
        const Staged& staged = m_staged[i];
        // A file written to since it was read (Codex appending a line) keeps what was written.
        const bool changed = staged.readAs && identityOf(staged.target) != staged.readAs;
        if (changed || ::rename(nativePath(staged.temporary).constData(), nativePath(staged.target).constData()) != 0) {
            const int saved = errno;
            const QString target = staged.target;
            m_staged.erase(m_staged.begin(), m_staged.begin() + qsizetype(i)); // those are in place
            if (changed) {
                return std::unexpected(Error{morvaneErrorDomain, ErrorChangedWhileStaged,
                                             fileErrorWithReason(QStringLiteral("替换"), target,
                                                                 QStringLiteral("文件在读取之后被改动了")).message});
            }
            return std::unexpected(systemError(QStringLiteral("替换"), target, saved));
        }
        afterReplacing();
    }
    m_staged.clear();
    return {};
}

} // namespace files
