#include "cli/command_line.h"
#include "cli/key_input.h"
#include "workflows/system_parts.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("morvane-cli"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    Expected<SystemParts> parts = systemParts();
    if (!parts) {
        err << parts.error().message << '\n';
        return StatusRefused;
    }
    Workflows engine(parts->home, std::move(parts->relay), *parts->workspace);
    CommandLineIo io{out, err};
    io.inputIsTerminal = ::isatty(STDIN_FILENO) != 0;
    io.errorIsTerminal = ::isatty(STDERR_FILENO) != 0;
    io.readInput = [] { return readKeyInput(STDIN_FILENO); };
    io.environmentKey = qgetenv("TEVRUN_API_KEY");
    return runCommandLine(application.arguments().mid(1), engine, io);
}
