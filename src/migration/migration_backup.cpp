#include "migration/migration_backup.h"

#include "core/files/file_tree.h"
#include "core/files/file_io.h"
#include "core/json.h"
#include "core/naming.h"
#include "storage/backups.h"

namespace {

bool isSafeNameUnit(char16_t u)
{
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' || u == '_'
        || u == '-' || u == '~';
}

} // namespace

QString safeBackupNameForPath(const QString& path, const QString& userHome)
{
    QString name = path;
    if (!userHome.isEmpty())
        name.replace(userHome, QStringLiteral("~"));
    name.replace(QLatin1Char('/'), QStringLiteral("__"));
    for (QChar& unit : name) {
        if (!isSafeNameUnit(unit.unicode()))
            unit = QLatin1Char('_');
    }
    return name.isEmpty() ? QStringLiteral("rollout.jsonl") : name;
}

std::optional<QString> createProviderMigrationBackupWithKind(const CodexHome& home, const std::optional<QString>& kind,
                                                             const ThreadRecords& threads, Error* error)
{
    const QString kindName = kind.value_or(QStringLiteral("provider"));
    const std::optional<QString> created = createBackupDirectory(home, kindName, error);
    if (!created)
        return std::nullopt;
    const QString& directory = *created;

    for (const char* name : {"state_5.sqlite", "state_5.sqlite-wal", "state_5.sqlite-shm", "session_index.jsonl",
                             "config.toml"}) {
        const QString source = home.file(QString::fromLatin1(name));
        if (files::itemExists(source))
            files::copyItem(source, directory + QLatin1Char('/') + QString::fromLatin1(name));
    }

    const QString rolloutDirectory = directory + QStringLiteral("/rollout_files");
    files::makeDirectory(rolloutDirectory);
    for (const ThreadRecord& thread : threads) {
        if (thread.rolloutPath.isEmpty() || !files::itemExists(thread.rolloutPath))
            continue;
        files::copyItem(thread.rolloutPath,
                        rolloutDirectory + QLatin1Char('/') + safeBackupNameForPath(thread.rolloutPath, home.userHome()));
    }

    const Json descriptor = {{"kind", toUtf8(kindName)},
                             {"created_at", toUtf8(timestamp())},
                             {"thread_count", threads.size()}};
    writeJsonAtomically(directory + QStringLiteral("/provider-migration-info.json"), descriptor);
    return directory;
}
