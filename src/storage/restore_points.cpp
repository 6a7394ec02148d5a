#include "storage/restore_points.h"

#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/json.h"
#include "storage/backup_check.h"
#include "storage/backups.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString stringMember(const Json& object, const char* name)
{
    const auto member = object.find(name);
    return member != object.end() && member->is_string() ? fromUtf8(member->get<std::string>()) : QString();
}

// When the folder was last written to, to order points of the same second.
qint64 modifiedNanoseconds(const QString& path)
{
    const std::optional<files::FileIdentity> identity = files::identityOf(path);
    return identity ? identity->modifiedNanoseconds : 0;
}

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
bool stageNamedFiles(const QString& liveFolder, const QString& directory, const QStringList& names,
                     files::StagedReplacements& batch, QStringList& removals, Error* error)
{
    const bool hasHistory = files::itemExists(directory + QLatin1Char('/') + historyFileName);
    for (const QString& name : names) {
        const QString source = directory + QLatin1Char('/') + name;
        const QString live = liveFolder + QLatin1Char('/') + name;
        if (isRegularFile(source)) {
            if (!batch.stageCopy(live, source, error))
                return false;
        } else if (!files::itemExists(source) && files::itemExists(live) && !files::isDirectory(live)
                   && (hasHistory || !name.startsWith(historyFileName))) {
            removals << live;
        }
    }
    return true;
}

// The login files as private or as open as they were when they were backed up: their
// copies in the backup are private whatever they were.
void putBackModes(const CodexHome& home, const QString& loginDirectory)
{
    const std::optional<Json> info = readJsonObject(loginDirectory + QLatin1Char('/') + loginInfoName);
    const auto record = info ? info->find(toUtf8(recordedFilesMember)) : Json::const_iterator();
    if (loginDirectory.isEmpty() || !info || record == info->end() || !record->is_object())
        return;
    for (const QString& name : backedUpFileNames()) {
        const auto entry = record->find(toUtf8(name));
        if (entry == record->end() || !entry->is_object())
            continue;
        const auto mode = entry->find("mode");
        if (mode != entry->end() && mode->is_number_unsigned())
            ::chmod(files::nativePath(home.file(name)).constData(), mode_t(mode->get<unsigned>() & 07777));
    }
}

// The points newest first, without their sizes: sizing reads every file of the backups.
std::vector<RestorePoint> unsizedRestorePoints(const CodexHome& home)
{
    const QDir backups(home.backupsPath());
    std::vector<RestorePoint> points;
    std::map<QString, size_t> loginPoints; // folder name to its point
    std::vector<std::pair<QString, Json>> providerFolders;
    for (const QString& name : backups.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)) {
        const QString path = backups.filePath(name);
        if (const std::optional<Json> info = readJsonObject(path + QLatin1Char('/') + loginInfoName)) {
            RestorePoint point;
            point.id = name;
            point.kind = stringMember(*info, "kind");
            point.createdAt = stringMember(*info, "created_at");
            point.loginDirectory = path;
            loginPoints[name] = points.size();
            points.push_back(point);
        } else if (std::optional<Json> providerInfo = readJsonObject(path + QLatin1Char('/') + providerInfoName)) {
            providerFolders.emplace_back(name, std::move(*providerInfo));
        }
    }
    for (const auto& [name, info] : providerFolders) {
        const auto files = info.find("rollout_files");
        std::optional<RolloutManifest> manifest = files == info.end() ? std::nullopt : manifestFromJson(*files);
        QStringList otherIndexFolders;
        const auto folders = info.find("thread_index_folders");
        for (qsizetype i = 0; folders != info.end() && folders->is_object(); ++i) {
            // Each put back to an absolute place only.
            const auto folder = folders->find(toUtf8(otherIndexCopyName(i)));
            if (folder == folders->end() || !folder->is_string() || !QFileInfo(fromUtf8(folder->get<std::string>())).isAbsolute())
                break;
            otherIndexFolders << fromUtf8(folder->get<std::string>());
        }
        const auto owner = loginPoints.find(stringMember(info, "restore_point"));
        if (owner != loginPoints.end() && points[owner->second].providerDirectory.isEmpty()) {
            points[owner->second].providerDirectory = backups.filePath(name);
            points[owner->second].manifest = std::move(manifest);
            points[owner->second].otherIndexFolders = std::move(otherIndexFolders);
            continue;
        }
        RestorePoint point;
        point.id = name;
        point.kind = stringMember(info, "kind");
        point.createdAt = stringMember(info, "created_at");
        point.providerDirectory = backups.filePath(name);
        point.manifest = std::move(manifest);
        point.otherIndexFolders = std::move(otherIndexFolders);
        points.push_back(point);
    }
    std::vector<std::pair<qint64, size_t>> order;
    for (size_t i = 0; i < points.size(); ++i) {
        const RestorePoint& point = points[i];
        order.emplace_back(modifiedNanoseconds(point.loginDirectory.isEmpty() ? point.providerDirectory
                                                                              : point.loginDirectory),
                           i);
    }
    std::sort(order.begin(), order.end(), [&points](const auto& a, const auto& b) {
        const RestorePoint& first = points[a.second];
        const RestorePoint& second = points[b.second];
        if (first.createdAt != second.createdAt)
            return first.createdAt > second.createdAt;
        return a.first > b.first;
    });
    std::vector<RestorePoint> sorted;
    for (const auto& [modified, index] : order)
        sorted.push_back(std::move(points[index]));
    return sorted;
}

} // namespace

std::vector<RestorePoint> listRestorePoints(const CodexHome& home)
{
    std::vector<RestorePoint> points = unsizedRestorePoints(home);
    for (RestorePoint& point : points)
        point.sizeBytes = files::diskUsage({point.loginDirectory, point.providerDirectory});
    return points;
}

qsizetype countRestorePoints(const CodexHome& home) { return qsizetype(unsizedRestorePoints(home).size()); }

std::optional<RestorePoint> findRestorePoint(const CodexHome& home, const QString& id, Error* error)
{
    for (RestorePoint& point : unsizedRestorePoints(home)) {
        if (point.id == id)
            return std::move(point);
    }
    setMorvaneError(error, ErrorUnknownRestorePoint, QStringLiteral("没有找到备份“%1”。").arg(id));
    return std::nullopt;
}

QString restorePointContents(const RestorePoint& point)
{
    QString text = point.loginDirectory.isEmpty() ? QString() : QStringLiteral("登陆与配置文件");
    if (!point.providerDirectory.isEmpty()) {
        if (!text.isEmpty())
            text += point.manifest ? QStringLiteral("、") : QStringLiteral("和");
        text += QStringLiteral("对话索引");
        if (point.manifest)
            text += QStringLiteral("和 %1 个对话文件").arg(point.manifest->size());
    }
    return text;
}

QDateTime restorePointTime(const RestorePoint& point)
{
    return QDateTime::fromString(point.createdAt, QStringLiteral("yyyyMMdd-HHmmss"));
}

QString restorePointSummary(const RestorePoint& point)
{
    static const std::map<QString, QString> kinds = {
        {QStringLiteral("switch-api"), QStringLiteral("切到 TEVRUN API")},
        {QStringLiteral("switch-account"), QStringLiteral("切回 GPT 账号 登陆")},
        {QStringLiteral("fresh-account"), QStringLiteral("设置 GPT 账号 登陆")},
        {QStringLiteral("repair-config"), QStringLiteral("修复配置")},
        {QStringLiteral("restore"), QStringLiteral("恢复备份")},
        {QStringLiteral("move-conversations"), QStringLiteral("移动对话")},
    };
    const auto kind = kinds.find(point.kind);
    const QDateTime time = restorePointTime(point);
    return QStringList{time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : point.createdAt,
                       kind != kinds.end() ? kind->second : point.kind, restorePointContents(point),
                       QLocale::c().formattedDataSize(point.sizeBytes)}
        .join(QStringLiteral("  "));
}

bool putBackRestorePoint(const CodexHome& home, const RestorePoint& point, Error* error, bool checked)
{
    if (!point.providerDirectory.isEmpty() && !point.manifest)
        return files::fail(error, incompletePoint(point));
    if (!checked) {
        if (const QStringList damaged = damagedFiles(point); !damaged.isEmpty())
            return files::fail(error, damagedBackupError(damaged.first()));
    }
    files::StagedReplacements batch;
    QStringList removals;
    if (!point.loginDirectory.isEmpty()
        && !stageNamedFiles(home.codexHomePath(), point.loginDirectory, backedUpFileNames(), batch, removals, error))
        return false;
    const QString rollouts = point.providerDirectory + QStringLiteral("/rollout_files");
    if (!point.providerDirectory.isEmpty()) {
        if (!stageNamedFiles(home.codexHomePath(), point.providerDirectory, threadIndexFileNames(), batch, removals, error))
            return false;
        for (qsizetype i = 0; i < point.otherIndexFolders.size(); ++i) {
            if (!stageNamedFiles(point.otherIndexFolders[i], point.providerDirectory + QLatin1Char('/') + otherIndexCopyName(i),
                                 databaseFileNames(), batch, removals, error))
                return false;
        }
        for (const RolloutBackupEntry& entry : *point.manifest) {
            if (isEntryStillLive(rollouts, entry))
                continue; // never replaced: it is as it was, with whatever Codex added since
            const QString source = rollouts + QLatin1Char('/') + entry.name;
            if (!files::makeDirectory(QFileInfo(entry.path).path(), error) || !batch.stageCopy(entry.path, source, error))
                return false;
        }
    }
    if (!batch.commit(error))
        return false;
    putBackModes(home, point.loginDirectory);
    for (const QString& live : removals) {
        if (::unlink(files::nativePath(live).constData()) != 0 && errno != ENOENT)
            return files::fail(error, files::systemError(QStringLiteral("删除"), live, errno));
    }
    if (point.manifest)
        sealEntriesStillLive(home, rollouts, *point.manifest);
    return true;
}

std::optional<QString> backUpBeforeRestore(const CodexHome& home, const RestorePoint& point, Error* error)
{
    if (!point.providerDirectory.isEmpty() && !point.manifest) {
        files::fail(error, incompletePoint(point));
        return std::nullopt;
    }
    const std::optional<QString> loginDirectory = createBackupWithKind(home, QStringLiteral("restore"), error);
    if (!loginDirectory)
        return std::nullopt;
    const QString ownId = QFileInfo(*loginDirectory).fileName();
    if (point.providerDirectory.isEmpty())
        return ownId;

    const QString kind = QStringLiteral("restore-provider");
    const std::optional<QString> providerDirectory = createProviderBackup(home, kind, point.otherIndexFolders, error);
    if (!providerDirectory) {
        files::removeItem(*loginDirectory);
        return std::nullopt;
    }
    RolloutBackup rollouts(home, *providerDirectory + QStringLiteral("/rollout_files"));
    const auto keepLiveFiles = [&] {
        for (const RolloutBackupEntry& entry : *point.manifest) {
            if (!files::itemExists(entry.path))
                continue; // put back as a new file; nothing of it to keep
            const std::optional<QByteArray> content = files::readWhole(entry.path, error);
            if (!content || !rollouts.keep(entry.path, *content, error))
                return false;
        }
        return writeProviderBackupInfo(*providerDirectory, kind, ownId, qint64(point.manifest->size()),
                                       rollouts.manifest(), point.otherIndexFolders, error);
    };
    if (!keepLiveFiles()) {
        rollouts.discard();
        files::removeItem(*providerDirectory);
        files::removeItem(*loginDirectory);
        return std::nullopt;
    }
    return ownId;
}

qint64 pruneRestorePoints(const CodexHome& home, qint64 keep, Error* error)
{
    const std::vector<RestorePoint> points = listRestorePoints(home);
    qint64 removed = 0;
    for (size_t i = size_t(std::max<qint64>(keep, 0)); i < points.size(); ++i) {
        for (const QString& directory : {points[i].loginDirectory, points[i].providerDirectory}) {
            if (directory.isEmpty())
                continue;
            files::removeItem(directory);
            if (files::itemExists(directory)) {
                files::fail(error, files::fileErrorWithReason(QStringLiteral("删除"), directory,
                                                             QStringLiteral("其中有文件删不掉")));
                return -1;
            }
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
