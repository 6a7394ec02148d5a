#include "gui/app_delegate.h"
#include "gui/single_window.h"
#include "workflows/system_parts.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // The one argument the window reads; answered before any display is needed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Morvane %s\n", MORVANE_VERSION);
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));

    SingleWindow singleWindow;
    if (!singleWindow.claim())
        return 0; // the open window came to the front
    Expected<SystemParts> parts = systemParts();
    if (!parts) {
        // Nothing is made or changed in a Codex home Codex itself would refuse.
        QMessageBox::critical(nullptr, QStringLiteral("Morvane"), parts.error().message);
        return 2;
    }
    AppDelegate delegate(parts->home, std::move(parts->relay), *parts->workspace);
    QObject::connect(&singleWindow, &SingleWindow::raiseRequested, &delegate, &AppDelegate::bringToFront);
    delegate.launch();
    return application.exec();
}
