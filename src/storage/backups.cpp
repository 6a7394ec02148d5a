#include "storage/backups.h"

#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/json_file.h"
#include "core/naming.h"
#include "storage/content_hash.h"
#include "storage/restore_point_layout.h"

#include <cerrno>

#include <sys/stat.h>

QStringList backedUpFileNames(const QString& folder)
{
    static const QStringList names = {
        codexfile::auth,
        codexfile::config,
        codexfile::lastKey,
        QStringLiteral(".codex-global-state.json"),
        QStringLiteral(".codex-global-state.json.bak"),
        QStringLiteral(".cockpit_codex_auth.json"),
        QStringLiteral("cap_sid"),
        QStringLiteral("models_cache.json"),
    };
    return names + profileConfigNames(folder);
}

const QStringList& databaseFileNames()
{
    static const QStringList names = {
        codexfile::threadIndex,
        QStringLiteral("state_5.sqlite-wal"),
        QStringLiteral("state_5.sqlite-shm"),
        QStringLiteral("thread_history_1.sqlite"),
        QStringLiteral("thread_history_1.sqlite-wal"),
        QStringLiteral("thread_history_1.sqlite-shm"),
    };
    return names;
}

const QStringList& threadIndexFileNames()
{
    static const QStringList names = databaseFileNames() + QStringList{QStringLiteral("session_index.jsonl")};
    return names;
}

QString otherIndexCopyName(qsizetype index)
{
    return QStringLiteral("thread_index_%1").arg(index + 1);
}

namespace {

// Creates backups/<kind>-<timestamp>, owner-only; a second backup of the same kind in the
// same second gets "-2", "-3" and so on, never the first one's folder.
Expected<QString> createBackupDirectory(const CodexHome& home, const QString& kind)
{
    if (Expected<> made = files::makeDirectory(home.backupsPath()); !made)
        return std::unexpected(made.error());
    const QString base = home.backupsPath() + QLatin1Char('/') + QStringLiteral("%1-%2").arg(kind, timestamp());
    for (int attempt = 1;; ++attempt) {
        const QString directory = attempt == 1 ? base : QStringLiteral("%1-%2").arg(base).arg(attempt);
        if (::mkdir(QFile::encodeName(directory).constData(), 0700) == 0)
            return directory;
        if (errno != EEXIST || attempt == 1000)
            return std::unexpected(files::systemError(QStringLiteral("创建目录"), directory, errno));
    }
}

Expected<> copyNamedFiles(const QString& from, const QString& to, const QStringList& names, files::Access access)
{
    for (const QString& name : names) {
        const QString source = from + QLatin1Char('/') + name;
        if (!files::itemExists(source))
            continue;
        if (Expected<> copied = files::copyItem(source, to + QLatin1Char('/') + name, access); !copied)
            return copied;
    }
    return {};
}

// Copies the named files of the Codex home that exist into the folder, and the databases of
// each other folder into a folder of its own there; a folder that cannot be completed is
// removed, so that no half backup is ever taken for a whole one.
Expected<QString> backUpFiles(const CodexHome& home, const QString& kind, const QStringList& names,
                              const QStringList& otherFolders, files::Access access)
{
    const Expected<QString> created = createBackupDirectory(home, kind);
    if (!created)
        return created;
    Expected<> copied = copyNamedFiles(home.codexHomePath(), *created, names, access);
    for (qsizetype i = 0; copied && i < otherFolders.size(); ++i) {
        const QString copy = *created + QLatin1Char('/') + otherIndexCopyName(i);
        copied = files::makeDirectory(copy);
        if (copied)
            copied = copyNamedFiles(otherFolders[i], copy, databaseFileNames(), access);
    }
    if (!copied) {
        files::removeItem(*created);
        return std::unexpected(copied.error());
    }
    return created;
}

const QStringList& providerBackupFileNames()
{
    static const QStringList names = threadIndexFileNames() + QStringList{codexfile::config};
    return names;
}

// The size and hash of each of the names the folder holds, for its info file, and, given the
// home, the mode the live file has: the copy was made private.
Expected<Json> recordFiles(const CodexHome* home, const QString& directory, const QStringList& names)
{
    Json record = Json::object();
    for (const QString& name : names) {
        const QString path = directory + QLatin1Char('/') + name;
        if (!files::itemExists(path) || files::isDirectory(path))
            continue; // a directory is kept but never put back
        const std::optional<HashedFile> hashed = hashFile(path);
        if (!hashed)
            return std::unexpected(files::systemError(QStringLiteral("读取"), path, errno));
        record[toUtf8(name)] = {{"size", hashed->size}, {"hash", toUtf8(hashed->hash)}};
        struct stat live {};
        if (home && ::stat(files::nativePath(home->file(name)).constData(), &live) == 0)
            record[toUtf8(name)]["mode"] = live.st_mode & 07777;
    }
    return record;
}

} // namespace

const QString recordedFilesMember = QStringLiteral("files");
const QString historyFileName = QStringLiteral("thread_history_1.sqlite");
const QString loginInfoName = QStringLiteral("backup-info.json");
const QString providerInfoName = QStringLiteral("provider-migration-info.json");

Expected<QString> createBackupWithKind(const CodexHome& home, BackupKind backupKind)
{
    const QString& kind = namesOf(backupKind).name;
    // The login files are copies of keys and logins: private, whatever their own mode.
    const QStringList names = backedUpFileNames(home.codexHomePath());
    const Expected<QString> directory = backUpFiles(home, kind, names, {}, files::Access::OwnerOnly);
    if (!directory)
        return directory;
    Expected<> described = [&]() -> Expected<> {
        const Expected<Json> recorded = recordFiles(&home, *directory, names);
        if (!recorded)
            return std::unexpected(recorded.error());
        const Json descriptor
            = {{"kind", toUtf8(kind)}, {"created_at", toUtf8(timestamp())}, {toUtf8(recordedFilesMember), *recorded}};
        return writeJsonAtomically(*directory + QLatin1Char('/') + loginInfoName, descriptor);
    }();
    if (!described) {
        files::removeItem(*directory);
        return std::unexpected(described.error());
    }
    return directory;
}

Expected<QString> createProviderBackup(const CodexHome& home, BackupKind kind, const QStringList& otherIndexFolders)
{
    return backUpFiles(home, namesOf(kind).providerName, providerBackupFileNames(), otherIndexFolders, files::Access::Default);
}

QStringList providerBackupNames(const QStringList& otherIndexFolders)
{
    QStringList names = providerBackupFileNames();
    for (qsizetype i = 0; i < otherIndexFolders.size(); ++i) {
        for (const QString& name : databaseFileNames())
            names << otherIndexCopyName(i) + QLatin1Char('/') + name;
    }
    return names;
}

Expected<> writeProviderBackupInfo(const QString& directory, BackupKind kind, const QString& restorePoint,
                                   qint64 threadCount, const RolloutManifest& manifest,
                                   const QStringList& otherIndexFolders)
{
    const Expected<Json> recorded = recordFiles(nullptr, directory, providerBackupNames(otherIndexFolders));
    if (!recorded)
        return std::unexpected(recorded.error());
    Json folders = Json::object();
    for (qsizetype i = 0; i < otherIndexFolders.size(); ++i)
        folders[toUtf8(otherIndexCopyName(i))] = toUtf8(otherIndexFolders[i]);
    Json descriptor = {{"kind", toUtf8(namesOf(kind).providerName)},
                       {"created_at", toUtf8(timestamp())},
                       {"thread_count", threadCount},
                       {toUtf8(recordedFilesMember), *recorded},
                       {"thread_index_folders", folders}};
    if (!restorePoint.isEmpty())
        descriptor["restore_point"] = toUtf8(restorePoint);
    // The manifest goes last, written as text: with many conversations it is most of the file.
    QByteArray text = prettyJson(descriptor);
    text.chop(3); // "\n}\n"
    text += ",\n  \"rollout_files\": ";
    appendManifestText(text, manifest, 2);
    text += "\n}\n";
    return files::writeAtomically(directory + QLatin1Char('/') + providerInfoName, text);
}

BackupSummary summarizeBackups(const CodexHome& home)
{
    BackupSummary summary;
    summary.count = countRestorePoints(home);
    summary.sizeBytes = files::diskUsage({home.backupsPath()});
    return summary;
}
