#pragma once

#include <QString>

#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

// The calls that only some systems offer, each behind one function with a portable way
// when the system has none.
namespace files::system {

enum class KernelCopy { Done, Unsupported, Failed };
// Makes the second file a copy-on-write clone of the whole first one, where the file
// system offers that: no byte is written.
KernelCopy cloneFile(int from, int to);
// Copies size bytes from the current offset of one file to that of the other inside the
// kernel, without passing them through the program. Unsupported when the system cannot do
// it between these two files (the caller copies through a buffer then).
KernelCopy copyInKernel(int from, int to, off_t size);

// Starts writing a file's contents to disk without waiting, so that the disk works while
// the program goes on; the flush below still waits for them. Nothing where the system has
// no such call.
void startWritingToDisk(int fd);

// Puts the files' contents on disk: one flush per file system where the system offers it,
// else each file by itself. The path that could not be flushed, with errno set, on failure.
bool flushToDisk(const std::vector<QString>& paths, QString* failedPath);

// A stat's access and modification times: each system names these members its own way.
struct timespec accessTime(const struct stat& info);
struct timespec modificationTime(const struct stat& info);

// Tests turn the system's own calls off to run the portable ways.
void setSystemCallsEnabled(bool enabled);

} // namespace files::system
