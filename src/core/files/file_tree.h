#pragma once

#include "core/error.h"
#include "core/files/file_io.h"

#include <QString>
#include <QStringList>

// Directories and copies. A copy takes the bytes a symbolic link leads to, never the link,
// so a backup of a linked file holds the file.
namespace files {

// A directory, or a link that leads to one.
bool isDirectory(const QString& path);

// Creates the directory and its missing parents; the directories created are 0700.
// An existing directory counts as created.
Expected<> makeDirectory(const QString& path);

// Copies a file (contents, mode and times) or a directory with everything in it. Fails
// when anything already stands at the destination, and when any part cannot be read.
// OwnerOnly makes every file of the copy 0600 and every directory 0700, whatever the
// source's mode: for copies of keys and logins.
Expected<> copyItem(const QString& source, const QString& destination, Access access = Access::Default);

// Copies the item to a temporary name beside the destination (beside the file it leads
// to, for a link), then renames it over that: the destination is replaced whole, or left
// as it was when anything fails.
Expected<> replaceWithCopy(const QString& source, const QString& destination, Access access = Access::Default);

// Removes a file or a link; one that is not there counts as removed.
Expected<> removeFile(const QString& path);

// Removes a file, a link (never what it leads to) or a directory tree; nothing there counts
// as removed; else the error, naming the path.
Expected<> removeItem(const QString& path);

// Best effort: leaves the file readable and writable by its owner alone.
void restrictToOwner(const QString& path);

// The space the items take on disk, as du counts it: every file and directory under them,
// a file linked in several places once, links never followed.
qint64 diskUsage(const QStringList& roots);

// Names of the directory's entries, hidden ones (leading dot) left out. Empty on failure.
QStringList visibleEntries(const QString& directory);

} // namespace files
