#include "core/codex_home.h"

CodexHome::CodexHome(QString userHome, QString sqliteHome)
    : m_userHome(std::move(userHome)), m_sqliteHome(std::move(sqliteHome))
{
}

QString CodexHome::codexHomePath() const { return m_userHome + QStringLiteral("/.codex"); }

QString CodexHome::morvaneRootPath() const { return codexHomePath() + QStringLiteral("/morvane"); }

QString CodexHome::profilePath(const QString& name) const
{
    return morvaneRootPath() + QStringLiteral("/profiles/") + name;
}

QString CodexHome::historyRootPath() const { return morvaneRootPath() + QStringLiteral("/api-key-history"); }

QString CodexHome::backupsPath() const { return morvaneRootPath() + QStringLiteral("/backups"); }

QString CodexHome::file(const QString& name) const { return codexHomePath() + QLatin1Char('/') + name; }
