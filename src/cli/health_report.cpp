#include "cli/health_report.h"

#include "cli/command_line.h"
#include "core/json.h"

int printHealth(Workflows& engine, QTextStream& out, bool asJson)
{
    const std::vector<HealthProblem> problems = engine.checkHealth();
    if (asJson) {
        Json list = Json::array();
        for (const HealthProblem& problem : problems) {
            list.push_back({{"code", toUtf8(problem.code)},
                            {"message", toUtf8(problem.message)},
                            {"fix", problem.fix ? Json(toUtf8(*problem.fix)) : Json()}});
        }
        out << QString::fromStdString(list.dump()) << '\n';
    } else if (problems.empty()) {
        out << QStringLiteral("没有发现问题。") << '\n';
    } else {
        for (const HealthProblem& problem : problems) {
            out << problem.message << '\n';
            if (problem.fix)
                out << QStringLiteral("  修复：") << *problem.fix << '\n';
        }
    }
    return problems.empty() ? StatusDone : StatusFailed;
}
