#include "cli/key_input.h"

#include <cerrno>
#include <unistd.h>

std::optional<QByteArray> readKeyInput(int fd)
{
    QByteArray bytes;
    char buffer[4096];
    while (bytes.size() <= keyInputLimit) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        bytes.append(buffer, got);
    }
    return bytes;
}
