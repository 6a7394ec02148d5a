#include "storage/backups.h"

#include "core/file_ops.h"
#include "core/json.h"
#include "core/naming.h"

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

QString backupDirectoryFor(const CodexHome& home, const QString& kind)
{
    return home.backupsURL() + QLatin1Char('/') + QStringLiteral("%1-%2").arg(kind, timestamp());
}

bool createBackupWithKind(const CodexHome& home, const QString& kind, Error* error)
{
    const QString directory = backupDirectoryFor(home, kind);
    if (!files::makeDirectory(directory, error))
        return false;
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
