#pragma once

#include "core/error.h"

#include <QString>
#include <QStringList>

// The names of Codex's own files in its home, and of the one Morvane keeps beside them.
namespace codexfile {
inline const QString auth = QStringLiteral("auth.json");
inline const QString config = QStringLiteral("config.toml");
inline const QString lastKey = QStringLiteral("auth_tevrun_last.json"); // Morvane's: the key last switched to
inline const QString threadIndex = QStringLiteral("state_5.sqlite");
} // namespace codexfile

// Where Codex and Morvane keep their files. Computing a location never creates anything.
class CodexHome {
public:
    // sqliteHome: where Codex was told to keep its databases (CODEX_SQLITE_HOME), if it was;
    // codexHome: the folder Codex was told to use (CODEX_HOME), when not ~/.codex.
    explicit CodexHome(QString userHome, QString sqliteHome = QString(), QString codexHome = QString());

    const QString& userHome() const { return m_userHome; }
    const QString& sqliteHome() const { return m_sqliteHome; }

    QString codexHomePath() const;           // ~/.codex, or CODEX_HOME
    QString morvaneRootPath() const;         // ~/.codex/morvane
    QString profilePath(const QString& name) const;
    QString historyRootPath() const;         // ~/.codex/morvane/api-key-history
    QString backupsPath() const;             // ~/.codex/morvane/backups
    // Whether Codex was sent to another folder than ~/.codex, which both front ends say.
    bool isElsewhere() const;

    // A file directly in the Codex home.
    QString file(const QString& name) const;

private:
    QString m_userHome;
    QString m_sqliteHome;
    QString m_codexHome;
};

// The names of the profile files in a folder: NAME.config.toml, which `codex -p NAME` lays
// over config.toml; sorted.
QStringList profileConfigNames(const QString& folder);

// The Codex home as Codex finds it: CODEX_HOME when it is set and not empty (by its
// canonical path, as Codex works on it), else ~/.codex. A CODEX_HOME that is no existing
// folder is an error naming it: Codex refuses it too, and nothing may be made there.
Expected<CodexHome> codexHomeFrom(const QString& userHome, const QString& codexHomeVariable, const QString& sqliteHomeVariable);
