#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One window per user. The first start listens on a local socket named for the user; a
// later start reaches it, asks its window to come to the front, and does not open one.
class SingleWindow : public QObject {
    Q_OBJECT
public:
    explicit SingleWindow(QString name = perUserName(), QObject* parent = nullptr);

    // True when no other window of this user is open: this one now answers later starts.
    // False once the open window was asked to come to the front.
    bool claim();

    static QString perUserName();

Q_SIGNALS:
    // A later start asked for the window.
    void raiseRequested();

private:
    QString m_name;
    QLocalServer m_server;
};
