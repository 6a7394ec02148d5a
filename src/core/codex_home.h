#pragma once

#include <QString>

// The names of Codex's own files in its home, and of the one Morvane keeps beside them.
namespace codexfile {
inline const QString auth = QStringLiteral("auth.json");
inline const QString config = QStringLiteral("config.toml");
inline const QString lastKey = QStringLiteral("auth_tevrun_last.json"); // Morvane's: the key last switched to
inline const QString threadIndex = QStringLiteral("state_5.sqlite");
} // namespace codexfile

// Where Codex and Morvane keep their files, derived from the user's home directory.
// Computing a location never creates anything.
class CodexHome {
public:
    // sqliteHome: where Codex was told to keep its databases (CODEX_SQLITE_HOME), if it was.
    explicit CodexHome(QString userHome, QString sqliteHome = QString());

    const QString& userHome() const { return m_userHome; }
    const QString& sqliteHome() const { return m_sqliteHome; }

    QString codexHomePath() const;           // ~/.codex
    QString morvaneRootPath() const;         // ~/.codex/morvane
    QString profilePath(const QString& name) const;
    QString historyRootPath() const;         // ~/.codex/morvane/api-key-history
    QString backupsPath() const;             // ~/.codex/morvane/backups

    // A file directly in the Codex home.
    QString file(const QString& name) const;

private:
    QString m_userHome;
    QString m_sqliteHome;
};
