#include "cli/command_line.h"
#include "cli/key_input.h"
#include "codexapp/system_workspace.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morvane-cli"));

    const std::unique_ptr<Workspace> workspace = makeSystemWorkspace();
    // Codex keeps its databases where this names, and so the command line looks there too.
    Workflows engine(CodexHome(QDir::homePath(), qEnvironmentVariable("CODEX_SQLITE_HOME")), RelayEndpoint::standard(),
                     *workspace);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CommandLineIo io{out, err};
    io.inputIsTerminal = ::isatty(STDIN_FILENO) != 0;
    io.errorIsTerminal = ::isatty(STDERR_FILENO) != 0;
    io.readInput = [] { return readKeyInput(STDIN_FILENO); };
    io.environmentKey = qEnvironmentVariable("TEVRUN_API_KEY");
    return runCommandLine(application.arguments().mid(1), engine, io);
}
