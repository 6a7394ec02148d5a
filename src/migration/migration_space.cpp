#include "migration/migration_space.h"

#include "core/files/file_errors.h"
#include "migration/thread_index_folders.h"
#include "migration/thread_migration.h"
#include "storage/backups.h"

#include <map>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace {

// Left free beside what is staged: the file system and Codex go on writing meanwhile.
constexpr qint64 spareBytes = 16 * 1024 * 1024;
constexpr qint64 mebibyte = 1024 * 1024;

struct FileSystemNeed {
    QString somePath; // a path on it, to ask for its free space
    qint64 bytes = spareBytes;
};

void addFile(std::map<dev_t, FileSystemNeed>& needs, const QString& path)
{
    struct stat info {};
    if (::stat(files::nativePath(path).constData(), &info) != 0)
        return; // a missing file stages nothing
    FileSystemNeed& need = needs[info.st_dev];
    if (need.somePath.isEmpty())
        need.somePath = path;
    need.bytes += info.st_size;
}

} // namespace

Expected<> enoughSpaceToMigrate(const CodexHome& home, const QString& targetProvider)
{
    const Expected<ThreadRecords> threads = threadsToMove(home, targetProvider);
    if (!threads)
        return std::unexpected(threads.error());
    std::map<dev_t, FileSystemNeed> needs;
    bool anyMoves = false;
    for (const ThreadRecord& thread : *threads) {
        anyMoves = anyMoves || thread.moves;
        if (thread.moves && !thread.rolloutPath.isEmpty())
            addFile(needs, thread.rolloutPath);
    }
    if (!anyMoves)
        return {};
    for (const QString& folder : threadIndexFolders(home)) {
        for (const QString& name : threadIndexFileNames())
            addFile(needs, folder + QLatin1Char('/') + name);
    }
    for (const auto& [device, need] : needs) {
        struct statvfs space {};
        if (::statvfs(files::nativePath(need.somePath).constData(), &space) != 0)
            continue; // the write itself reports what is wrong there
        const qint64 available = qint64(space.f_bavail) * qint64(space.f_frsize);
        if (available < need.bytes) {
            return std::unexpected(Error{morvaneErrorDomain, 0,
                                         QStringLiteral("磁盘空间不足：迁移对话需要约 %1 MB，只剩 %2 MB。")
                                             .arg((need.bytes + mebibyte - 1) / mebibyte)
                                             .arg(available / mebibyte)});
        }
    }
    return {};
}
