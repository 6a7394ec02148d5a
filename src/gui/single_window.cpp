#include "gui/single_window.h"

#include <QLocalSocket>

#include <unistd.h>

SingleWindow::SingleWindow(QString name, QObject* parent) : QObject(parent), m_name(std::move(name))
{
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server.nextPendingConnection())
            socket->deleteLater();
        Q_EMIT raiseRequested();
    });
}

QString SingleWindow::perUserName()
{
    return QStringLiteral("morvane-window-%1").arg(::getuid());
}

bool SingleWindow::claim()
{
    QLocalSocket other;
    other.connectToServer(m_name);
    if (other.waitForConnected(1000)) {
        other.disconnectFromServer(); // reaching it is the request
        return false;
    }
    // Nobody answers: a socket left by a window that was killed is taken over.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_name)) {
        QLocalServer::removeServer(m_name);
        m_server.listen(m_name);
    }
    return true;
}
