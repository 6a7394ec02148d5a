#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include <sys/types.h>

// The one place where Morvane touches the file system. Every failure fills an Error
// whose message names the operation, the file and the system's reason, in Chinese.
namespace files {

enum class Access {
    Default,   // what the system gives a new file; an existing file keeps its mode
    OwnerOnly, // 0600: the file holds a key or a login
};

// True when anything stands at the path, a dangling symbolic link included.
bool itemExists(const QString& path);

std::optional<QByteArray> readWhole(const QString& path, Error* error = nullptr);
// Reads a UTF-8 text file; bytes that are not UTF-8 are an error.
std::optional<QByteArray> readUtf8Bytes(const QString& path, Error* error = nullptr);
std::optional<QString> readUtf8(const QString& path, Error* error = nullptr);

// Writes to a temporary file beside the target, syncs it and renames it over the target.
bool writeAtomically(const QString& path, const QByteArray& data, Error* error = nullptr,
                     Access access = Access::Default);

// Replaces several files, each whole: every new content is written beside its target,
// all of them are flushed to disk in one go, then each is renamed over its target.
// What is staged but not committed is removed.
class AtomicBatch {
public:
    AtomicBatch() = default;
    AtomicBatch(const AtomicBatch&) = delete;
    AtomicBatch& operator=(const AtomicBatch&) = delete;
    ~AtomicBatch();

    // The new file keeps the mode of the file it replaces.
    bool stage(const QString& path, const QByteArray& data, Error* error = nullptr);
    // Stops at the first file that cannot be put in place; the files before it are replaced.
    bool commit(Error* error = nullptr);

private:
    struct Staged {
        QString temporary;
        QString target;
        dev_t device;
    };
    std::vector<Staged> m_staged;
};

// Creates the directory and its missing parents; the directories created are 0700.
// An existing directory counts as created.
bool makeDirectory(const QString& path, Error* error = nullptr);

// Copies a file (contents, mode and times), a symbolic link, or a directory with
// everything in it. Fails when anything already stands at the destination.
bool copyItem(const QString& source, const QString& destination, Error* error = nullptr);

// Copies the item to a temporary name beside the destination, then renames it over the
// destination: the destination is replaced whole, or left as it was when anything fails.
bool replaceWithCopy(const QString& source, const QString& destination, Error* error = nullptr);

// Best effort: removes a file, a link or a directory tree.
void removeItem(const QString& path);

bool restrictToOwner(const QString& path);

// Names of the directory's entries, hidden ones (leading dot) left out. Empty on failure.
QStringList visibleEntries(const QString& directory);

// "无法<operation>“<name>”：<reason>。" for an errno value.
Error systemError(const QString& operation, const QString& path, int errnoValue);
Error fileErrorWithReason(const QString& operation, const QString& path, const QString& reason);

} // namespace files
