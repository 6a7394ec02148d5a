#include "wording/restore_point_wording.h"

#include "storage/backup_kind.h"

#include <QLocale>
#include <QStringList>

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

QString restorePointSummary(const RestorePoint& point)
{
    const BackupKindNames* kind = namesRecordedAs(point.kind);
    const QDateTime time = restorePointTime(point);
    return QStringList{time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : point.createdAt,
                       kind ? kind->label : point.kind, restorePointContents(point),
                       QLocale::c().formattedDataSize(point.sizeBytes)}
        .join(QStringLiteral("  "));
}
