#include "storage/backups.h"

#include "core/files/file_tree.h"
#include "core/files/file_io.h"
#include "core/files/file_errors.h"
#include "core/json.h"
#include "core/naming.h"

#include <QDirIterator>

#include <set>
#include <utility>

#include <cerrno>

#include <sys/stat.h>

const QStringList& backedUpFileNames()
{
    static const QStringList names = {
        QStringLiteral("auth.json"),
        QStringLiteral("config.toml"),
        QStringLiteral("auth_tevrun_last.json"),
        QStringLiteral(".codex-global-state.json"),
        QStringLiteral(".codex-global-state.json.bak"),
        QStringLiteral(".cockpit_codex_auth.json"),
        QStringLiteral("cap_sid"),
        QStringLiteral("models_cache.json"),
    };
    return names;
}

std::optional<QString> createBackupDirectory(const CodexHome& home, const QString& kind, Error* error)
{
    if (!files::makeDirectory(home.backupsURL(), error))
        return std::nullopt;
    const QString base = home.backupsURL() + QLatin1Char('/') + QStringLiteral("%1-%2").arg(kind, timestamp());
    for (int attempt = 1;; ++attempt) {
        const QString directory = attempt == 1 ? base : QStringLiteral("%1-%2").arg(base).arg(attempt);
        if (::mkdir(QFile::encodeName(directory).constData(), 0700) == 0)
            return directory;
        if (errno != EEXIST || attempt == 1000) {
            if (error)
                *error = files::systemError(QStringLiteral("创建目录"), directory, errno);
            return std::nullopt;
        }
    }
}

bool createBackupWithKind(const CodexHome& home, const QString& kind, Error* error)
{
    const std::optional<QString> created = createBackupDirectory(home, kind, error);
    if (!created)
        return false;
    const QString& directory = *created;
    for (const QString& name : backedUpFileNames()) {
        const QString source = home.file(name);
        if (!files::itemExists(source))
            continue;
        if (!files::copyItem(source, directory + QLatin1Char('/') + name, error))
            return false;
    }
    const Json descriptor = {{"kind", toUtf8(kind)}, {"created_at", toUtf8(timestamp())}};
    writeJsonAtomically(directory + QStringLiteral("/backup-info.json"), descriptor);
    return true;
}

BackupSummary summarizeBackups(const CodexHome& home)
{
    BackupSummary summary;
    summary.count = QDir(home.backupsURL()).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden).size();
    std::set<std::pair<dev_t, ino_t>> counted;
    QDirIterator it(home.backupsURL(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        struct stat status {};
        if (::lstat(QFile::encodeName(it.next()).constData(), &status) == 0
            && counted.insert({status.st_dev, status.st_ino}).second)
            summary.sizeBytes += status.st_size;
    }
    return summary;
}
