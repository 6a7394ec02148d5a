#pragma once

#include <QString>

#include <cstddef>

#include <sys/types.h>

// What the writes and the copies share: where new content waits before it is renamed into
// place, and a write that does not stop halfway.
namespace files {

// A fresh hidden name beside the target.
QString temporarySibling(const QString& target);

// Writes every byte, going on after interruptions; false with errno set on failure.
bool writeAll(int fd, const char* data, size_t size);

// Copies the rest of one open file into another: in the kernel where the system can (a
// copy-on-write clone where the file system offers one), then through a buffer.
bool copyContents(int from, int to, off_t size);

} // namespace files
