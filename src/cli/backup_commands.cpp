#include "cli/backup_commands.h"

#include "cli/command_line.h"
#include "core/json.h"
#include "wording/restore_point_wording.h"

int listBackups(const Workflows& engine, QTextStream& out, bool asJson)
{
    const std::vector<RestorePoint> points = engine.listBackups();
    if (asJson) {
        Json list = Json::array();
        for (const RestorePoint& point : points) {
            const QDateTime time = restorePointTime(point);
            list.push_back({{"id", toUtf8(point.id)},
                            {"kind", toUtf8(point.kind)},
                            {"created_at", toUtf8(time.isValid() ? time.toString(Qt::ISODate) : point.createdAt)},
                            {"size_bytes", point.sizeBytes},
                            {"contents", toUtf8(restorePointContents(point))}});
        }
        out << QString::fromStdString(list.dump()) << '\n';
        return StatusDone;
    }
    if (points.empty())
        out << QStringLiteral("还没有备份。") << '\n';
    for (const RestorePoint& point : points)
        out << point.id << "  " << restorePointSummary(point) << '\n';
    return StatusDone;
}

int verifyBackups(const Workflows& engine, const QString& id, QTextStream& out, QTextStream& err)
{
    const auto checked = engine.verifyBackups(id);
    if (!checked) {
        err << checked.error().message << '\n';
        return StatusRefused;
    }
    if (checked->empty())
        out << QStringLiteral("还没有备份。") << '\n';
    bool anyDamaged = false;
    for (const auto& [point, damaged] : *checked) {
        anyDamaged = anyDamaged || !damaged.isEmpty();
        QStringList quoted;
        for (const QString& name : damaged)
            quoted << QStringLiteral("“%1”").arg(name);
        out << point.id << "  "
            << (damaged.isEmpty() ? QStringLiteral("完好") : QStringLiteral("已损坏：") + quoted.join(QStringLiteral("、")))
            << '\n';
    }
    return anyDamaged ? StatusFailed : StatusDone;
}
