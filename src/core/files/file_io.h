#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

#include <sys/types.h>

// Reading and writing whole files. Reads take regular files only, so a named pipe or a
// device never blocks; writes replace a file whole and, where the path is a symbolic link,
// replace the file it leads to and leave the link in place.
namespace files {

enum class Access {
    Default,   // what the system gives a new file; an existing file keeps its mode
    OwnerOnly, // 0600: the file holds a key or a login
};

// What shows that a file was written to or replaced since it was last looked at.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = 0;
    qint64 modifiedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};
// Of the file the path leads to; nothing when nothing is there.
std::optional<FileIdentity> identityOf(const QString& path);

// True when anything stands at the path, a dangling symbolic link included.
bool itemExists(const QString& path);

// The file that a write to the path changes: the path itself, or where its symbolic links
// lead. A link that leads nowhere is an error.
Expected<QString> fileBehind(const QString& path, const QString& operation);

Expected<QByteArray> readWhole(const QString& path);
// Reads a UTF-8 text file; bytes that are not UTF-8 are an error.
Expected<QString> readUtf8(const QString& path);

// Reads a file whole into the buffer, for loops over many files: the buffer's memory is
// kept from one file to the next. Gives the file's identity once it was read to its end.
Expected<FileIdentity> readWholeInto(const QString& path, QByteArray& bytes);
// The same for a UTF-8 file: bytes that are not UTF-8 are an error.
Expected<FileIdentity> readUtf8Into(const QString& path, QByteArray& bytes);

// Writes beside the target, puts the data on disk and renames it over the target.
Expected<> writeAtomically(const QString& path, const QByteArray& data, Access access = Access::Default);

// Replaces several files, each whole and each atomically, not all of them at once: every
// new content is written beside its target, all of them are put on disk together, then
// each is renamed over its target. A commit cut off leaves some replaced and the others
// staged (the journal puts such a home back). What is staged but not committed is removed.
class StagedReplacements {
public:
    StagedReplacements() = default;
    StagedReplacements(const StagedReplacements&) = delete;
    StagedReplacements& operator=(const StagedReplacements&) = delete;
    ~StagedReplacements();

    Expected<> stage(const QString& path, const QByteArray& data, Access access = Access::Default);
    // Stages a copy of the source file's bytes; the new file gets the mode of the one it
    // replaces, else the source's with write permission for its owner.
    Expected<> stageCopy(const QString& path, const QString& source);
    // Stages the pieces one after another, written together: a file changed here and there
    // is written from what was read and its changes without joining them first. With an
    // identity, the file is replaced only while it still is the file read then.
    Expected<> stagePieces(const QString& path, const std::vector<QByteArrayView>& pieces,
                           const std::optional<FileIdentity>& readAs = std::nullopt);
    // Stops at the first file that cannot be put in place, or that changed since it was
    // read (error code ErrorChangedWhileStaged); the files before it are replaced.
    Expected<> commit();

private:
    // size: the bytes the write puts in the new file.
    Expected<> stageWith(const QString& path, Access access, mode_t newFileMode, qint64 size,
                         const std::function<bool(int fd)>& write,
                         const std::optional<FileIdentity>& readAs = std::nullopt);

    struct Staged {
        QString temporary;
        QString target;
        std::optional<FileIdentity> readAs;
    };
    std::vector<Staged> m_staged;
};

} // namespace files
