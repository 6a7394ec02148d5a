// Writes morvane-cli's shell completions and manual page from the list --help is made from;
// the build runs it and cmake --install puts the files in place.
//   morvane_cli_docs DIR

#include "cli/command_docs.h"
#include "core/constants.h"

#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

bool write(const QString& path, const QString& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) >= 0)
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: morvane_cli_docs DIR\n");
        return 2;
    }
    const QString directory = QFile::decodeName(argv[1]);
    QDir().mkpath(directory);
    const bool written = write(directory + QStringLiteral("/morvane-cli"), completionScript(QStringLiteral("bash")))
        && write(directory + QStringLiteral("/_morvane-cli"), completionScript(QStringLiteral("zsh")))
        && write(directory + QStringLiteral("/morvane-cli.fish"), completionScript(QStringLiteral("fish")))
        && write(directory + QStringLiteral("/morvane-cli.1"), manualPage(morvane::version));
    return written ? 0 : 1;
}
