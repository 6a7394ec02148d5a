#pragma once

#include <QString>

// Where Codex and Morvane keep their files, derived from the user's home directory.
// Computing a location never creates anything.
class CodexHome {
public:
    explicit CodexHome(QString userHome);

    const QString& userHome() const { return m_userHome; }

    QString codexHomeURL() const;           // ~/.codex
    QString morvaneRootURL() const;         // ~/.codex/morvane
    QString profileURL(const QString& name) const;
    QString historyRootURL() const;         // ~/.codex/morvane/api-key-history
    QString backupsURL() const;             // ~/.codex/morvane/backups

    // A file directly in the Codex home.
    QString file(const QString& name) const;

private:
    QString m_userHome;
};
