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

// Copies one open file whole into a new empty one: a copy-on-write clone where the file
// system offers one, else as copyRest does.
bool copyContents(int from, int to, off_t size);
// Copies size bytes from the current offset of one open file to that of another: in the
// kernel where the system can, then through a buffer.
bool copyRest(int from, int to, off_t size);

} // namespace files
