#include "support/temp_home.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

TempHome::TempHome()
{
    if (!m_dir.isValid())
        ADD_FAILURE() << "cannot create a temporary home";
}

void TempHome::write(const QString& relative, const QByteArray& bytes) const { writeFileAt(path(relative), bytes); }

QByteArray TempHome::read(const QString& relative) const { return readFileAt(path(relative)); }

bool TempHome::exists(const QString& relative) const { return QFileInfo::exists(path(relative)); }

void TempHome::makeDirectory(const QString& relative) const { QDir().mkpath(path(relative)); }

namespace {

QStringList keyringAttributes(const QString& codexHome)
{
    const QByteArray path = QFileInfo(codexHome).canonicalFilePath().toUtf8();
    const QString account = "cli|" + QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex().left(16);
    return {"service", "Codex Auth", "username", account};
}

QByteArray secretTool(const QStringList& arguments, const QByteArray& input = {})
{
    QProcess tool;
    tool.start("secret-tool", arguments);
    tool.write(input);
    tool.closeWriteChannel();
    EXPECT_TRUE(tool.waitForFinished(20'000)) << "secret-tool needs the session bus and keyring scripts/test starts";
    return tool.readAllStandardOutput();
}

} // namespace

void storeKeyringLogin(const QString& codexHome, const QByteArray& login)
{
    secretTool(QStringList{"store", "--label=Codex Auth", "application", "rust-keyring", "target", "default"}
                   + keyringAttributes(codexHome),
               login);
}

std::optional<QByteArray> keyringLogin(const QString& codexHome)
{
    const QByteArray found = secretTool(QStringList{"lookup"} + keyringAttributes(codexHome));
    return found.isEmpty() ? std::nullopt : std::optional(found);
}

void writeFileAt(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
}

QByteArray readFileAt(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return file.readAll();
}

unsigned modeOf(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

void setModificationTime(const QString& path, const QDateTime& time)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(time, QFileDevice::FileModificationTime))
        ADD_FAILURE() << "cannot set the time of " << path.toStdString();
}

QDateTime modificationTime(const QString& path)
{
    return QFileInfo(path).fileTime(QFileDevice::FileModificationTime);
}

QStringList entriesOf(const QString& directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                     QDir::Name);
}

std::map<QString, QByteArray> filesUnder(const QString& root, const QStringList& skip)
{
    std::map<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); // no pipe, no dangling link
    while (it.hasNext()) {
        const QString relative = QDir(root).relativeFilePath(it.next());
        if (!skip.contains(relative.section(QLatin1Char('/'), 0, 0)))
            files[relative] = readFileAt(it.filePath());
    }
    return files;
}

QStringList differingFiles(const std::map<QString, QByteArray>& before, const std::map<QString, QByteArray>& after)
{
    QStringList differing;
    for (const auto& [path, bytes] : before) {
        const auto now = after.find(path);
        if (now == after.end() || now->second != bytes)
            differing << path;
    }
    for (const auto& [path, bytes] : after) {
        if (!before.count(path))
            differing << path;
    }
    return differing;
}

QStringList linksUnder(const QString& root, const QString& path)
{
    struct stat target {};
    if (::stat(QFile::encodeName(path).constData(), &target) != 0)
        return {};
    QStringList links;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        struct stat info {};
        if (::stat(QFile::encodeName(it.next()).constData(), &info) == 0 && info.st_dev == target.st_dev
            && info.st_ino == target.st_ino)
            links << it.filePath();
    }
    return links;
}
