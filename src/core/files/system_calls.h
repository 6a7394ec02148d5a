#pragma once

#include <QString>

#include <vector>

#include <sys/types.h>

// The calls that only some systems offer, each behind one function with a portable way
// when the system has none.
namespace files::system {

enum class KernelCopy { Done, Unsupported, Failed };
// Copies a whole file, from offset 0 of both, inside the kernel: a copy-on-write clone where
// the file system offers one, else a kernel copy. Unsupported when the system can do neither
// between these two files (the caller copies through a buffer then).
KernelCopy copyInKernel(int from, int to, off_t size);

// Puts the files' contents on disk: one flush per file system where the system offers it,
// else each file by itself. The path that could not be flushed, with errno set, on failure.
bool flushToDisk(const std::vector<QString>& paths, QString* failedPath);

// Tests turn the system's own calls off to run the portable ways.
void setSystemCallsEnabled(bool enabled);

} // namespace files::system
