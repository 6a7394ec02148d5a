#include "core/codex_home.h"

#include <QDir>
#include <QFileInfo>

CodexHome::CodexHome(QString userHome, QString sqliteHome, QString codexHome)
    : m_userHome(std::move(userHome)), m_sqliteHome(std::move(sqliteHome)), m_codexHome(std::move(codexHome))
{
}

QString CodexHome::codexHomePath() const
{
    return m_codexHome.isEmpty() ? m_userHome + QStringLiteral("/.codex") : m_codexHome;
}

QString CodexHome::morvaneRootPath() const { return codexHomePath() + QStringLiteral("/morvane"); }

QString CodexHome::profilePath(const QString& name) const
{
    return morvaneRootPath() + QStringLiteral("/profiles/") + name;
}

QString CodexHome::historyRootPath() const { return morvaneRootPath() + QStringLiteral("/api-key-history"); }

QString CodexHome::backupsPath() const { return morvaneRootPath() + QStringLiteral("/backups"); }

bool CodexHome::isElsewhere() const
{
    if (m_codexHome.isEmpty())
        return false;
    const QString standard = QFileInfo(m_userHome + QStringLiteral("/.codex")).canonicalFilePath();
    return standard != QFileInfo(m_codexHome).canonicalFilePath();
}

QString CodexHome::file(const QString& name) const { return codexHomePath() + QLatin1Char('/') + name; }

QStringList profileConfigNames(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("?*.config.toml")}, QDir::Files, QDir::Name);
}

Expected<CodexHome> codexHomeFrom(const QString& userHome, const QString& codexHomeVariable, const QString& sqliteHomeVariable)
{
    if (codexHomeVariable.isEmpty())
        return CodexHome(userHome, sqliteHomeVariable);
    const QFileInfo folder(codexHomeVariable);
    if (!folder.isDir()) {
        return std::unexpected(Error{morvaneErrorDomain, 0,
                                     QStringLiteral("环境变量 CODEX_HOME 指向的“%1”不存在或不是文件夹，Codex 也不会使用它。"
                                                    "请改正或取消 CODEX_HOME 后再试。")
                                         .arg(codexHomeVariable)});
    }
    return CodexHome(userHome, sqliteHomeVariable, folder.canonicalFilePath());
}
