#include "storage/backup_check.h"

#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/json_file.h"
#include "storage/backups.h"
#include "storage/content_hash.h"

namespace {

bool matches(const QString& path, qint64 size, const QString& hash)
{
    const std::optional<files::FileIdentity> identity = files::identityOf(path);
    if (!identity || identity->size != size)
        return false; // the size tells most damage without reading the file
    const std::optional<HashedFile> hashed = hashFile(path);
    return hashed && hashed->size == size && hashed->hash == hash;
}

// The folder's named files against its info file's record; a file the record does not
// name may not be there either, as it would be put back.
void checkRecordedFiles(const QString& directory, const QString& infoName, const QStringList& names,
                        QStringList& damaged)
{
    if (directory.isEmpty())
        return;
    const std::optional<Json> info = readJsonObject(directory + QLatin1Char('/') + infoName);
    const auto record = info ? info->find(toUtf8(recordedFilesMember)) : Json::const_iterator();
    if (!info || record == info->end())
        return;
    for (const QString& name : names) {
        const QString path = directory + QLatin1Char('/') + name;
        const auto entry = record->is_object() ? record->find(toUtf8(name)) : record->end();
        if (entry == record->end()) {
            if (files::itemExists(path) && !files::isDirectory(path))
                damaged << name;
            continue;
        }
        const auto size = entry->find("size");
        const auto hash = entry->find("hash");
        if (size == entry->end() || !size->is_number_integer() || hash == entry->end() || !hash->is_string()
            || !matches(path, size->get<qint64>(), fromUtf8(hash->get<std::string>())))
            damaged << name;
    }
}

} // namespace

QStringList damagedFiles(const RestorePoint& point)
{
    QStringList damaged;
    checkRecordedFiles(point.loginDirectory, loginInfoName, backedUpFileNames(point.loginDirectory), damaged);
    checkRecordedFiles(point.providerDirectory, providerInfoName, providerBackupNames(point.otherIndexFolders), damaged);
    if (point.manifest) {
        const QString rollouts = point.providerDirectory + QStringLiteral("/rollout_files");
        for (const RolloutBackupEntry& entry : *point.manifest) {
            if (!isEntryStillLive(rollouts, entry)
                && !matches(rollouts + QLatin1Char('/') + entry.name, entry.size, entry.hash))
                damaged << entry.name;
        }
    }
    return damaged;
}

Error damagedBackupError(const QString& name)
{
    return {morvaneErrorDomain, 0,
            QStringLiteral("备份已损坏：“%1”与备份时不一致，没有恢复任何文件。").arg(name)};
}
