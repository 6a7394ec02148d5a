#include "cli/command_line.h"
#include "codexapp/system_workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morvane-cli"));

    const std::unique_ptr<Workspace> workspace = makeSystemWorkspace();
    Workflows engine(CodexHome(QDir::homePath()), RelayEndpoint::standard(), *workspace);
    QTextStream out(stdout);
    QTextStream err(stderr);
    CommandLineIo io{out, err};
    io.inputIsTerminal = ::isatty(STDIN_FILENO) != 0;
    io.errorIsTerminal = ::isatty(STDERR_FILENO) != 0;
    io.readInput = [] {
        QFile input;
        return input.open(stdin, QIODevice::ReadOnly) ? input.readAll() : QByteArray();
    };
    io.environmentKey = qEnvironmentVariable("TEVRUN_API_KEY");
    return runCommandLine(application.arguments().mid(1), engine, io);
}
