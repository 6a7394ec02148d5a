// Runs one workflow on a home and dies by SIGKILL right after its nth file replacement, as a
// crash would; with n = 0 it runs to the end and prints how many replacements it made.
//   crash_child <user home> <relay base URL> <workflow> <n> [restore point id]

#include "core/files/staging.h"
#include "support/fake_workspace.h"
#include "workflows/workflows.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

namespace {
int replacements = 0;
int killAfter = 0;
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 5)
        return 2;
    killAfter = arguments[4].toInt();
    files::setAfterReplacing([] {
        if (++replacements == killAfter)
            ::raise(SIGKILL);
    });
    RelayEndpoint relay;
    relay.baseURL = QUrl(arguments[2]);
    FakeWorkspace workspace;
    Workflows engine{CodexHome(arguments[1]), relay, workspace};
    const QString workflow = arguments[3];
    WorkflowResult result = WorkflowResult::refused(WorkflowResult::Event::Stopped);
    if (workflow == QLatin1String("switch-api"))
        result = engine.switchToApi(QStringLiteral("sk-crash.test"));
    else if (workflow == QLatin1String("switch-account"))
        result = engine.switchToAccount();
    else if (workflow == QLatin1String("repair-account"))
        result = engine.repair(ModeAccount, QString());
    else if (workflow == QLatin1String("restore"))
        result = engine.restoreBackup(arguments.value(5));
    std::printf("%d\n", replacements);
    return result.outcome == WorkflowResult::Outcome::Done ? 0 : 1;
}
