// Going back to a restore point, and deleting old ones.

#include "core/api_key.h"
#include "storage/restore_points.h"
#include "workflows/workflow_texts.h"
#include "workflows/workflows.h"

std::vector<RestorePoint> Workflows::listBackups() const
{
    return listRestorePoints(m_home);
}

WorkflowResult Workflows::restoreBackup(const QString& id)
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    Error error;
    const std::optional<RestorePoint> point = findRestorePoint(m_home, id, &error);
    if (!point)
        return WorkflowResult::refused(error.message);

    Q_EMIT progress(QStringLiteral("正在恢复备份..."), 0, 0);
    QString ownPoint;
    if (!restoreWithBackup(m_home, *point, &ownPoint, &error)) {
        if (error.code == ErrorRestorePointIncomplete && error.domain == morvaneErrorDomain)
            return WorkflowResult::refused(error.message);
        if (ownPoint.isEmpty())
            return failure(error, QStringLiteral("恢复备份失败。"));
        return failedAfterWriting(error, QStringLiteral("恢复备份失败。"), ownPoint);
    }
    WorkflowResult result = WorkflowResult::done(QStringLiteral("已恢复备份“%1”：%2。恢复前的状态已存为备份“%3”。")
                                                     .arg(id, restorePointContents(*point), ownPoint));
    result.pillMode = detectCurrentMode(m_home);
    if (const std::optional<QString> key = jsonString(readCurrentApiKey(m_home)); key && isLikelyApiKey(*key))
        result.fieldKey = key;
    return result;
}

WorkflowResult Workflows::pruneBackups(qint64 keep)
{
    Error error;
    const qint64 removed = pruneRestorePoints(m_home, keep, &error);
    if (removed < 0)
        return failure(error, QStringLiteral("清理备份失败。"));
    if (removed == 0)
        return WorkflowResult::done(QStringLiteral("没有需要删除的备份。"));
    return WorkflowResult::done(QStringLiteral("已删除 %1 个较早的备份，保留了最新的 %2 个。").arg(removed).arg(keep));
}
