#include "core/codex_home.h"

CodexHome::CodexHome(QString userHome, QString sqliteHome)
    : m_userHome(std::move(userHome)), m_sqliteHome(std::move(sqliteHome))
{
}

QString CodexHome::codexHomeURL() const { return m_userHome + QStringLiteral("/.codex"); }

QString CodexHome::morvaneRootURL() const { return codexHomeURL() + QStringLiteral("/morvane"); }

QString CodexHome::profileURL(const QString& name) const
{
    return morvaneRootURL() + QStringLiteral("/profiles/") + name;
}

QString CodexHome::historyRootURL() const { return morvaneRootURL() + QStringLiteral("/api-key-history"); }

QString CodexHome::backupsURL() const { return morvaneRootURL() + QStringLiteral("/backups"); }

QString CodexHome::file(const QString& name) const { return codexHomeURL() + QLatin1Char('/') + name; }
