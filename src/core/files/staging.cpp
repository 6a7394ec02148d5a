#include "core/files/staging.h"

#include "core/files/file_errors.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <atomic>

#include <sys/stat.h>
#include <unistd.h>

namespace files {

QString temporarySibling(const QString& target)
{
    const QFileInfo info(target);
    return info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".morvane-")
        + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

namespace {
std::atomic<void (*)()> afterReplacingHook{nullptr};
} // namespace

void setAfterReplacing(void (*hook)())
{
    afterReplacingHook = hook;
}

void afterReplacing()
{
    if (void (*hook)() = afterReplacingHook.load())
        hook();
}

bool isStagingName(const QString& fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^\\..+\\.morvane-[0-9a-f]{12}$"));
    return pattern.match(fileName).hasMatch();
}

namespace {

// What a write cut off left in the directory: regular files of the staging names. A link
// is never followed: only a file of this program's own counts.
QStringList stagingFilesIn(const QString& directory)
{
    QStringList staged;
    for (const QString& name : QDir(directory).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QString path = directory + QLatin1Char('/') + name;
        struct stat info {};
        if (isStagingName(name) && ::lstat(nativePath(path).constData(), &info) == 0 && S_ISREG(info.st_mode))
            staged << path;
    }
    return staged;
}

} // namespace

qsizetype countStagingFiles(const QString& directory)
{
    return stagingFilesIn(directory).size();
}

void removeStagingFiles(const QString& directory)
{
    for (const QString& path : stagingFilesIn(directory))
        ::unlink(nativePath(path).constData());
}

} // namespace files
