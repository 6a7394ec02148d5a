#pragma once

#include <QString>

#include <cstddef>

// What the writes and the copies share: where new content waits before it is renamed into
// place, and a write that does not stop halfway.
namespace files {

// A fresh hidden name beside the target.
QString temporarySibling(const QString& target);

// Writes every byte, going on after interruptions; false with errno set on failure.
bool writeAll(int fd, const char* data, size_t size);

} // namespace files
