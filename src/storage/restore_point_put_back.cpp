#include "storage/restore_point_put_back.h"

#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/json_file.h"
#include "storage/backup_check.h"
#include "storage/backups.h"

#include <QFileInfo>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isRegularFile(const QString& path)
{
    struct stat info {};
    return ::lstat(files::nativePath(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

Error incompletePoint(const RestorePoint& point)
{
    return {morvaneErrorDomain, ErrorRestorePointIncomplete,
            QStringLiteral("备份“%1”来自旧版 Morvane，没有记下对话文件的原位置，无法自动恢复。").arg(point.id)};
}

// Stages a copy of every named file the backup folder has, and lists the live ones it did
// not have for removal. A directory stays as it is either way, and so does the paginated
// history of a backup that holds none (an older Morvane's).
Expected<> stageNamedFiles(const QString& liveFolder, const QString& directory, const QStringList& names,
                           files::StagedReplacements& batch, QStringList& removals)
{
    const bool hasHistory = files::itemExists(directory + QLatin1Char('/') + historyFileName);
    for (const QString& name : names) {
        const QString source = directory + QLatin1Char('/') + name;
        const QString live = liveFolder + QLatin1Char('/') + name;
        if (isRegularFile(source)) {
            if (Expected<> staged = batch.stageCopy(live, source); !staged)
                return staged;
        } else if (!files::itemExists(source) && files::itemExists(live) && !files::isDirectory(live)
                   && (hasHistory || !name.startsWith(historyFileName))) {
            removals << live;
        }
    }
    return {};
}

// The login files as private or as open as they were when they were backed up: their
// copies in the backup are private whatever they were.
void putBackModes(const CodexHome& home, const QString& loginDirectory)
{
    const std::optional<Json> info = readJsonObject(loginDirectory + QLatin1Char('/') + loginInfoName);
    const auto record = info ? info->find(toUtf8(recordedFilesMember)) : Json::const_iterator();
    if (loginDirectory.isEmpty() || !info || record == info->end() || !record->is_object())
        return;
    for (const QString& name : backedUpFileNames(loginDirectory)) {
        const auto entry = record->find(toUtf8(name));
        if (entry == record->end() || !entry->is_object())
            continue;
        const auto mode = entry->find("mode");
        if (mode != entry->end() && mode->is_number_unsigned())
            ::chmod(files::nativePath(home.file(name)).constData(), mode_t(mode->get<unsigned>() & 07777));
    }
}

} // namespace

Expected<> putBackRestorePoint(const CodexHome& home, const RestorePoint& point, bool checked)
{
    if (!point.providerDirectory.isEmpty() && !point.manifest)
        return std::unexpected(incompletePoint(point));
    if (!checked) {
        if (const QStringList damaged = damagedFiles(point); !damaged.isEmpty())
            return std::unexpected(damagedBackupError(damaged.first()));
    }
    files::StagedReplacements batch;
    QStringList removals;
    if (!point.loginDirectory.isEmpty()) {
        const QStringList names = backedUpFileNames(point.loginDirectory);
        if (Expected<> staged = stageNamedFiles(home.codexHomePath(), point.loginDirectory, names, batch, removals); !staged)
            return staged;
    }
    const QString rollouts = point.providerDirectory + QStringLiteral("/rollout_files");
    if (!point.providerDirectory.isEmpty()) {
        Expected<> staged
            = stageNamedFiles(home.codexHomePath(), point.providerDirectory, threadIndexFileNames(), batch, removals);
        for (qsizetype i = 0; staged && i < point.otherIndexFolders.size(); ++i) {
            staged = stageNamedFiles(point.otherIndexFolders[i],
                                     point.providerDirectory + QLatin1Char('/') + otherIndexCopyName(i),
                                     databaseFileNames(), batch, removals);
        }
        for (size_t i = 0; staged && i < point.manifest->size(); ++i) {
            const RolloutBackupEntry& entry = (*point.manifest)[i];
            if (isEntryStillLive(rollouts, entry))
                continue; // never replaced: it is as it was, with whatever Codex added since
            staged = files::makeDirectory(QFileInfo(entry.path).path());
            if (staged)
                staged = batch.stageCopy(entry.path, rollouts + QLatin1Char('/') + entry.name);
        }
        if (!staged)
            return staged;
    }
    if (Expected<> committed = batch.commit(); !committed)
        return committed;
    putBackModes(home, point.loginDirectory);
    for (const QString& live : removals) {
        if (::unlink(files::nativePath(live).constData()) != 0 && errno != ENOENT)
            return std::unexpected(files::systemError(QStringLiteral("删除"), live, errno));
    }
    if (point.manifest)
        sealEntriesStillLive(home, rollouts, *point.manifest);
    return {};
}

Expected<QString> backUpBeforeRestore(const CodexHome& home, const RestorePoint& point)
{
    if (!point.providerDirectory.isEmpty() && !point.manifest)
        return std::unexpected(incompletePoint(point));
    const Expected<QString> loginDirectory = createBackupWithKind(home, BackupKind::Restore);
    if (!loginDirectory)
        return loginDirectory;
    const QString ownId = QFileInfo(*loginDirectory).fileName();
    if (point.providerDirectory.isEmpty())
        return ownId;

    const BackupKind kind = BackupKind::Restore;
    const Expected<QString> providerDirectory = createProviderBackup(home, kind, point.otherIndexFolders);
    if (!providerDirectory) {
        files::removeItem(*loginDirectory);
        return providerDirectory;
    }
    RolloutBackup rollouts(home, *providerDirectory + QStringLiteral("/rollout_files"));
    const auto keepLiveFiles = [&]() -> Expected<> {
        for (const RolloutBackupEntry& entry : *point.manifest) {
            if (!files::itemExists(entry.path))
                continue; // put back as a new file; nothing of it to keep
            const Expected<QByteArray> content = files::readWhole(entry.path);
            if (!content)
                return std::unexpected(content.error());
            if (Expected<> kept = rollouts.keep(entry.path, *content); !kept)
                return kept;
        }
        return writeProviderBackupInfo(*providerDirectory, kind, ownId, qint64(point.manifest->size()),
                                       rollouts.manifest(), point.otherIndexFolders);
    };
    if (Expected<> kept = keepLiveFiles(); !kept) {
        rollouts.discard();
        files::removeItem(*providerDirectory);
        files::removeItem(*loginDirectory);
        return std::unexpected(kept.error());
    }
    return ownId;
}
