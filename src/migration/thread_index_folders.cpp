#include "migration/thread_index_folders.h"

#include "config/config_document.h"
#include "core/files/file_io.h"

#include <QDir>
#include <QFileInfo>

QStringList threadIndexFolders(const CodexHome& home)
{
    QString configured = home.sqliteHome();
    if (configured.isEmpty())
        configured = ConfigDocument::read(home.file(codexfile::config)).topLevelValue(QStringLiteral("sqlite_home")).value_or(QString());
    if (configured.startsWith(QLatin1String("~/")))
        configured = home.userHome() + configured.mid(1);
    QStringList folders;
    QStringList seen;
    for (const QString& folder : {configured, home.codexHomePath(), home.file(QStringLiteral("sqlite"))}) {
        // A relative folder would depend on wherever this runs.
        const QFileInfo index(folder + QLatin1Char('/') + codexfile::threadIndex);
        if (folder.isEmpty() || !QFileInfo(folder).isAbsolute() || !index.exists())
            continue;
        const QString canonical = index.canonicalFilePath();
        if (seen.contains(canonical))
            continue;
        seen << canonical;
        folders << QDir::cleanPath(folder);
    }
    return folders;
}
