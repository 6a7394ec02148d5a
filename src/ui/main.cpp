#include "codexapp/linux_workspace.h"
#include "relay/relay_endpoint.h"
#include "ui/app_delegate.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));

    LinuxWorkspace workspace;
    AppDelegate delegate(QDir::homePath(), RelayEndpoint::standard(), workspace);
    delegate.launch();
    return application.exec();
}
