#include "gui/app_delegate.h"
#include "gui/single_window.h"
#include "workflows/system_parts.h"

#include <QApplication>

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
    SystemParts parts = systemParts();
    AppDelegate delegate(parts.home, std::move(parts.relay), *parts.workspace);
    QObject::connect(&singleWindow, &SingleWindow::raiseRequested, &delegate, &AppDelegate::bringToFront);
    delegate.launch();
    return application.exec();
}
