#include "codexapp/system_workspace.h"
#include "relay/relay_endpoint.h"
#include "gui/app_delegate.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));

    const std::unique_ptr<Workspace> workspace = makeSystemWorkspace();
    AppDelegate delegate(QDir::homePath(), RelayEndpoint::standard(), *workspace);
    delegate.launch();
    return application.exec();
}
