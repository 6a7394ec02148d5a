#include "storage/content_hash.h"

#include "core/files/file_errors.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

QString hexOf(const XXH128_hash_t& hash)
{
    return QStringLiteral("%1%2").arg(hash.high64, 16, 16, QLatin1Char('0')).arg(hash.low64, 16, 16, QLatin1Char('0'));
}

} // namespace

QString contentHash(QByteArrayView content)
{
    return hexOf(XXH3_128bits(content.data(), size_t(content.size())));
}

std::optional<HashedFile> hashFile(const QString& path)
{
    const int fd = ::open(files::nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    XXH3_state_t state;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && XXH3_128bits_reset(&state) == XXH_OK;
    HashedFile hashed;
    std::vector<char> buffer(1 << 20);
    while (ok) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        hashed.size += got;
        XXH3_128bits_update(&state, buffer.data(), size_t(got));
    }
    ::close(fd);
    if (!ok)
        return std::nullopt;
    hashed.hash = hexOf(XXH3_128bits_digest(&state));
    return hashed;
}
