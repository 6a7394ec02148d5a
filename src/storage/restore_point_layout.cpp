#include "storage/restore_point_layout.h"

#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/json_file.h"
#include "storage/backups.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <map>

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

Expected<RestorePoint> findRestorePoint(const CodexHome& home, const QString& id)
{
    for (RestorePoint& point : unsizedRestorePoints(home)) {
        if (point.id == id)
            return std::move(point);
    }
    return std::unexpected(Error{morvaneErrorDomain, 0, QStringLiteral("没有找到备份“%1”。").arg(id)});
}
