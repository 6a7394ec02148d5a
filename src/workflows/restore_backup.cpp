// Going back to a restore point, and deleting old ones.

#include "core/api_key.h"
#include "core/current_key.h"
#include "core/files/file_io.h"
#include "credentials/mode_detection.h"
#include "storage/backup_check.h"
#include "storage/backup_kind.h"
#include "storage/restore_point_layout.h"
#include "storage/restore_point_pruning.h"
#include "storage/restore_point_put_back.h"
#include "workflows/journaled_change.h"
#include "workflows/restore_backup.h"

Expected<std::vector<std::pair<RestorePoint, QStringList>>> verifyBackups(const CodexHome& home, const QString& id)
{
    std::vector<RestorePoint> points;
    if (id.isEmpty()) {
        points = listRestorePoints(home);
    } else if (Expected<RestorePoint> point = findRestorePoint(home, id)) {
        points.push_back(std::move(*point));
    } else {
        return std::unexpected(point.error());
    }
    std::vector<std::pair<RestorePoint, QStringList>> checked;
    for (RestorePoint& point : points) {
        QStringList damaged = damagedFiles(point);
        checked.emplace_back(std::move(point), std::move(damaged));
    }
    return checked;
}

WorkflowResult restoreBackup(const EngineContext& engine, const QString& id)
{
    const CodexHome& home = engine.home;
    if (auto refusal = engine.refusalWhileCodexRuns())
        return *refusal;
    // An unknown id is refused before anything is made.
    if (const Expected<RestorePoint> known = findRestorePoint(home, id); !known)
        return WorkflowResult::refused(WorkflowResult::Event::Stopped, known.error());
    JournaledChange change(engine, JournaledChange::CutOff::RestoreAnyway);
    if (auto refusal = change.refusal())
        return *refusal;
    // Looked for again under the home's lock: another front end may have deleted it meanwhile.
    const Expected<RestorePoint> point = findRestorePoint(home, id);
    if (!point)
        return WorkflowResult::refused(WorkflowResult::Event::Stopped, point.error());

    engine.report(WorkflowTask::Restoring);
    if (const QStringList damaged = damagedFiles(*point); !damaged.isEmpty())
        return WorkflowResult::failed(WorkflowResult::Step::Restore, damagedBackupError(damaged.first()));
    QStringList createdFiles;
    for (const RolloutBackupEntry& entry : point->manifest.value_or(RolloutManifest())) {
        if (!files::itemExists(entry.path))
            createdFiles << entry.path;
    }
    change.backUpWith([&home, &point] { return backUpBeforeRestore(home, *point); }, WorkflowResult::Step::Restore,
                      createdFiles);
    change.write([&home, &point] { return putBackRestorePoint(home, *point, true); }, WorkflowResult::Step::Restore);
    if (auto failed = change.commit(BackupKind::Restore))
        return *failed;
    WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::BackupRestored);
    result.restored = *point;
    result.newRestorePoint = change.restorePoint();
    result.modeNow = detectCurrentMode(home);
    if (const std::optional<QString> key = jsonString(readCurrentApiKey(home)); key && isLikelyApiKey(*key))
        result.keyInUse = key;
    return result;
}

WorkflowResult pruneBackups(const EngineContext& engine, qint64 keep)
{
    const CodexHome& home = engine.home;
    // Without Morvane's folder there is nothing to delete, and nothing is made for it.
    if (!files::itemExists(home.morvaneRootPath()))
        return WorkflowResult::done(WorkflowResult::Event::NoBackupsToPrune);
    // A workflow cut off is put back first: its restore point must not go.
    JournaledChange change(engine);
    if (auto refusal = change.refusal())
        return *refusal;
    const Expected<qint64> removed = pruneRestorePoints(home, keep);
    if (!removed)
        return WorkflowResult::failed(WorkflowResult::Step::Prune, removed.error());
    if (*removed == 0)
        return WorkflowResult::done(WorkflowResult::Event::NoBackupsToPrune);
    WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::BackupsPruned);
    result.removedBackups = *removed;
    result.keptBackups = keep;
    return result;
}
