#include "support/temp_home.h"

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
