#pragma once

#include "core/codex_home.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <optional>
#include <ostream>

// Readable failure messages for texts.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

// A throw-away user home with a Codex home inside, for tests on real files.
class TempHome {
public:
    TempHome();

    CodexHome home() const { return CodexHome(m_dir.path()); }
    QString userHome() const { return m_dir.path(); }
    QString codexHome() const { return home().codexHomePath(); }
    // A path relative to the Codex home.
    QString path(const QString& relative) const { return codexHome() + QLatin1Char('/') + relative; }

    // Writes a file relative to the Codex home, creating its directories.
    void write(const QString& relative, const QByteArray& bytes) const;
    QByteArray read(const QString& relative) const;
    bool exists(const QString& relative) const;
    void makeDirectory(const QString& relative) const;

private:
    QTemporaryDir m_dir;
};

// Codex's login entry for a Codex home in the session's secret store (scripts/test starts
// one), through secret-tool, by the attributes Codex gives it; nothing when there is none.
void storeKeyringLogin(const QString& codexHome, const QByteArray& login);
std::optional<QByteArray> keyringLogin(const QString& codexHome);

void writeFileAt(const QString& path, const QByteArray& bytes);
QByteArray readFileAt(const QString& path);
// The permission bits, as in "ls -l" (for example 0600).
unsigned modeOf(const QString& path);
void setModificationTime(const QString& path, const QDateTime& time);
QDateTime modificationTime(const QString& path);
// Names in a directory, hidden ones included, sorted.
QStringList entriesOf(const QString& directory);

// Every file under the root, by its path relative to it, with its bytes; folders named in
// skip are left out.
std::map<QString, QByteArray> filesUnder(const QString& root, const QStringList& skip = {});
// The paths whose bytes differ between two such listings, or that only one of them has.
QStringList differingFiles(const std::map<QString, QByteArray>& before, const std::map<QString, QByteArray>& after);
// The files under the root that are the same file as path (hard links to it).
QStringList linksUnder(const QString& root, const QString& path);
