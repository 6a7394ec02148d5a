#include "codexapp/system_workspace.h"
#include "relay/relay_endpoint.h"
#include "gui/app_delegate.h"
#include "gui/single_window.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));

    SingleWindow singleWindow;
    if (!singleWindow.claim())
        return 0; // the open window came to the front
    const std::unique_ptr<Workspace> workspace = makeSystemWorkspace();
    AppDelegate delegate(QDir::homePath(), RelayEndpoint::standard(), *workspace);
    QObject::connect(&singleWindow, &SingleWindow::raiseRequested, &delegate, &AppDelegate::bringToFront);
    delegate.launch();
    return application.exec();
}
