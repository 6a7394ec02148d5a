#include "cli/health_report.h"

#include "cli/command_line.h"
#include "core/json.h"
#include "wording/health_wording.h"

namespace {

QString quoted(const QString& path)
{
    return QLatin1Char('\'') + QString(path).replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\'');
}

} // namespace

std::optional<QString> fixCommand(const HealthProblem& problem)
{
    switch (problem.fix) {
    case HealthFix::None:
        break;
    case HealthFix::RepairApi:
        return QStringLiteral("morvane-cli repair api");
    case HealthFix::RepairAccount:
        return QStringLiteral("morvane-cli repair account");
    case HealthFix::MoveConversations:
        return QStringLiteral("morvane-cli move-conversations");
    case HealthFix::ListBackups:
        return QStringLiteral("morvane-cli backups list");
    case HealthFix::PutBackCutOff:
        return QStringLiteral("morvane-cli status"); // every command puts a cut-off workflow back first
    case HealthFix::MakeFilePrivate:
        return QStringLiteral("chmod 600 ") + quoted(problem.path);
    case HealthFix::MakeFolderPrivate:
        return QStringLiteral("chmod 700 ") + quoted(problem.path);
    }
    return std::nullopt;
}

int printHealth(Workflows& engine, QTextStream& out, bool asJson)
{
    const std::vector<HealthProblem> problems = engine.healthProblems();
    if (asJson) {
        Json list = Json::array();
        for (const HealthProblem& problem : problems) {
            const std::optional<QString> fix = fixCommand(problem);
            list.push_back({{"code", toUtf8(problem.code)}, {"message", toUtf8(healthProblemText(problem))}, {"fix", fix ? Json(toUtf8(*fix)) : Json()}});
        }
        out << QString::fromStdString(list.dump()) << '\n';
        return problems.empty() ? StatusDone : StatusFailed;
    }
    if (engine.home().isElsewhere())
        out << QStringLiteral("Codex 主目录：") << engine.home().codexHomePath() << '\n';
    if (problems.empty()) {
        out << QStringLiteral("没有发现问题。") << '\n';
    } else {
        for (const HealthProblem& problem : problems) {
            out << healthProblemText(problem) << '\n';
            if (const std::optional<QString> fix = fixCommand(problem))
                out << QStringLiteral("  修复：") << *fix << '\n';
        }
    }
    return problems.empty() ? StatusDone : StatusFailed;
}
