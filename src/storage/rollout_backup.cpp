#include "storage/rollout_backup.h"

#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/files/staging.h"

#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

const QString backingUp = QStringLiteral("备份");

// Fast rather than cryptographic: an object is reused only after its bytes compare equal.
QString contentHash(const QByteArray& content)
{
    const XXH128_hash_t hash = XXH3_128bits(content.constData(), size_t(content.size()));
    return QStringLiteral("%1%2").arg(hash.high64, 16, 16, QLatin1Char('0')).arg(hash.low64, 16, 16, QLatin1Char('0'));
}

// The file systems that cannot hard-link these two files; a copy takes the link's place.
bool linkRefused(int error)
{
    return error == EXDEV || error == EPERM || error == EMLINK || error == ENOTSUP || error == EOPNOTSUPP;
}

enum class Kept { Failed, Linked, Copied };

// A hard link to the file (to what a symbolic link leads to), else a clone or a copy.
Kept linkOrCopy(const QString& source, const QString& destination, Error* error)
{
    if (::linkat(AT_FDCWD, files::nativePath(source).constData(), AT_FDCWD, files::nativePath(destination).constData(),
                 AT_SYMLINK_FOLLOW) == 0)
        return Kept::Linked;
    if (!linkRefused(errno)) {
        files::fail(error, files::systemError(backingUp, source, errno));
        return Kept::Failed;
    }
    return files::copyItem(source, destination, error) ? Kept::Copied : Kept::Failed;
}

std::optional<std::pair<dev_t, ino_t>> fileIdentity(const QString& path)
{
    struct stat info {};
    if (::stat(files::nativePath(path).constData(), &info) != 0)
        return std::nullopt;
    return std::make_pair(info.st_dev, info.st_ino);
}

// Replaces the path by a read-only copy of itself, so it no longer shares the file.
bool replaceWithOwnCopy(const QString& path)
{
    const QString copy = files::temporarySibling(path);
    if (!files::copyItem(path, copy) || ::chmod(files::nativePath(copy).constData(), 0400) != 0
        || ::rename(files::nativePath(copy).constData(), files::nativePath(path).constData()) != 0) {
        files::removeItem(copy);
        return false;
    }
    return true;
}

} // namespace

void appendManifestText(QByteArray& text, const RolloutManifest& manifest, int indent)
{
    // Entry by entry, onto the text itself: a document of every entry at once, or a copy of
    // the finished list, would cost many times the text.
    const QByteArray margin(indent, ' ');
    text += '[';
    for (size_t i = 0; i < manifest.size(); ++i) {
        const RolloutBackupEntry& entry = manifest[i];
        const Json item = {{"path", toUtf8(entry.path)},
                           {"name", toUtf8(entry.name)},
                           {"size", entry.size},
                           {"hash", toUtf8(entry.hash)}};
        text += i == 0 ? "\n" : ",\n";
        text += margin;
        text += "  ";
        text += QByteArray::fromStdString(item.dump(-1, ' ', false, Json::error_handler_t::replace));
    }
    if (!manifest.empty()) {
        text += '\n';
        text += margin;
    }
    text += ']';
}

std::optional<RolloutManifest> manifestFromJson(const Json& list)
{
    if (!list.is_array())
        return std::nullopt;
    RolloutManifest manifest;
    for (const Json& item : list) {
        if (!item.is_object())
            return std::nullopt;
        const auto path = item.find("path");
        const auto name = item.find("name");
        const auto size = item.find("size");
        const auto hash = item.find("hash");
        if (path == item.end() || !path->is_string() || name == item.end() || !name->is_string() || size == item.end()
            || !size->is_number_integer() || hash == item.end() || !hash->is_string())
            return std::nullopt;
        const QString entryName = fromUtf8(name->get<std::string>());
        // A name is a plain file name inside rollout_files/, never a way out of it.
        if (entryName.isEmpty() || entryName.contains(QLatin1Char('/')) || entryName == QLatin1String("..")
            || entryName == QLatin1String("."))
            return std::nullopt;
        manifest.push_back({fromUtf8(path->get<std::string>()), entryName, size->get<qint64>(),
                            fromUtf8(hash->get<std::string>())});
    }
    return manifest;
}

QString backupObjectsURL(const CodexHome& home)
{
    return home.backupsURL() + QStringLiteral("/objects");
}

RolloutBackup::RolloutBackup(const CodexHome& home, QString rolloutDirectory)
    : m_objectsDirectory(backupObjectsURL(home)), m_rolloutDirectory(std::move(rolloutDirectory))
{
}

QString RolloutBackup::objectPath(const QString& hash, int attempt) const
{
    // A different content under a hash already taken is stored as <hash>-2, and so on.
    return m_objectsDirectory + QLatin1Char('/') + (attempt == 1 ? hash : QStringLiteral("%1-%2").arg(hash).arg(attempt));
}

RolloutBackup::~RolloutBackup()
{
    seal();
}

bool RolloutBackup::keep(const QString& livePath, const QByteArray& content, Error* error)
{
    if (!m_directoriesMade && (!files::makeDirectory(m_objectsDirectory, error) || !files::makeDirectory(m_rolloutDirectory, error)))
        return false;
    m_directoriesMade = true;
    m_sealed = false;
    const QString hash = contentHash(content);
    // Numbered so that names stay apart whatever the paths are; the manifest maps them back.
    const QString name = QStringLiteral("%1-%2").arg(m_manifest.size() + 1, 5, 10, QLatin1Char('0')).arg(QFileInfo(livePath).fileName());
    const QString entryPath = m_rolloutDirectory + QLatin1Char('/') + name;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString object = objectPath(hash, attempt);
        // Linking first and looking only when the name is taken spares a lookup per file.
        Error linkError;
        const bool created = linkOrCopy(livePath, object, &linkError) != Kept::Failed;
        if (!created) {
            if (!files::itemExists(object))
                return files::fail(error, linkError);
            // The same hash with other bytes: try the next name.
            const std::optional<QByteArray> kept = files::readWhole(object);
            if (!kept || *kept != content)
                continue;
        }
        const Kept entry = linkOrCopy(object, entryPath, error);
        if (entry == Kept::Failed) {
            if (created)
                ::unlink(files::nativePath(object).constData());
            return false;
        }
        m_manifest.push_back({livePath, name, qint64(content.size()), hash});
        m_attempts.push_back(quint8(attempt));
        m_newObjects.push_back(created);
        m_copiedEntries.push_back(entry == Kept::Copied);
        return true;
    }
    return files::fail(error, files::fileErrorWithReason(backingUp, livePath, QStringLiteral("备份对象重名过多")));
}

void RolloutBackup::seal()
{
    if (m_sealed)
        return;
    m_sealed = true;
    for (size_t i = 0; i < m_manifest.size(); ++i) {
        const QString object = objectPath(m_manifest[i].hash, m_attempts[i]);
        const QString entry = m_rolloutDirectory + QLatin1Char('/') + m_manifest[i].name;
        const auto live = fileIdentity(m_manifest[i].path);
        if (live && fileIdentity(object) == live) {
            if (!replaceWithOwnCopy(object)) {
                // Better no backup of a file that did not change than a backup that changes.
                ::unlink(files::nativePath(object).constData());
                ::unlink(files::nativePath(entry).constData());
                continue;
            }
            // The entry was that live file too: it follows the object to its own copy.
            const QString relinked = files::temporarySibling(entry);
            const Kept kept = linkOrCopy(object, relinked, nullptr);
            if (kept == Kept::Failed
                || ::rename(files::nativePath(relinked).constData(), files::nativePath(entry).constData()) != 0) {
                files::removeItem(relinked);
                ::unlink(files::nativePath(entry).constData());
            }
            m_copiedEntries[i] = kept == Kept::Copied;
        }
        ::chmod(files::nativePath(object).constData(), 0400);
        if (m_copiedEntries[i]) // a linked entry is the object itself
            ::chmod(files::nativePath(entry).constData(), 0400);
    }
}

void RolloutBackup::discard()
{
    for (size_t i = 0; i < m_manifest.size(); ++i) {
        ::unlink(files::nativePath(m_rolloutDirectory + QLatin1Char('/') + m_manifest[i].name).constData());
        if (m_newObjects[i])
            ::unlink(files::nativePath(objectPath(m_manifest[i].hash, m_attempts[i])).constData());
    }
    m_manifest.clear();
    m_attempts.clear();
    m_newObjects.clear();
    m_copiedEntries.clear();
    m_sealed = true;
}
