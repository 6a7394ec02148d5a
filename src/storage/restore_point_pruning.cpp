#include "storage/restore_point_pruning.h"

#include "core/files/file_errors.h"
#include "core/files/file_tree.h"
#include "storage/restore_point_layout.h"
#include "storage/rollout_backup.h"

#include <QDir>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

Expected<qint64> pruneRestorePoints(const CodexHome& home, qint64 keep)
{
    const std::vector<RestorePoint> points = listRestorePoints(home);
    qint64 removed = 0;
    for (size_t i = size_t(std::max<qint64>(keep, 0)); i < points.size(); ++i) {
        for (const QString& directory : {points[i].loginDirectory, points[i].providerDirectory}) {
            if (directory.isEmpty())
                continue;
            if (!files::removeItem(directory) || files::itemExists(directory))
                return std::unexpected(files::fileErrorWithReason(QStringLiteral("删除"), directory, QStringLiteral("其中有文件删不掉")));
        }
        ++removed;
    }
    // An object no backup links to any more has only its own name left.
    const QString objects = backupObjectsPath(home);
    for (const QString& name : QDir(objects).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QString path = objects + QLatin1Char('/') + name;
        struct stat info {};
        if (::lstat(files::nativePath(path).constData(), &info) == 0 && info.st_nlink <= 1)
            ::unlink(files::nativePath(path).constData());
    }
    return removed;
}
