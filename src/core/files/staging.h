#pragma once

#include <QString>

#include <sys/types.h>

// What the writes and the copies share: where new content waits before it is renamed into
// place, and how a file's bytes are copied.
namespace files {

// A fresh hidden name beside the target: ".<name>.morvane-<12 hex digits>".
QString temporarySibling(const QString& target);
// Whether a file name is one temporarySibling() gives.
bool isStagingName(const QString& fileName);
// How many files a write cut off left in the directory: regular files of the staging
// names, never a link.
qsizetype countStagingFiles(const QString& directory);
// Removes those files, never anything else.
void removeStagingFiles(const QString& directory);

// Runs after every file that a write puts in place. Tests use it to stop a process right
// after its nth write, to see what a crash there leaves; nothing else sets it.
void setAfterReplacing(void (*hook)());
void afterReplacing();

// Copies one open file whole into a new empty one: a copy-on-write clone where the file
// system offers one, else in the kernel, else through a buffer.
bool copyContents(int from, int to, off_t size);

} // namespace files
