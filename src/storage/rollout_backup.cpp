#include "storage/rollout_backup.h"

#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/files/staging.h"
#include "storage/content_hash.h"

#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


namespace {

const QString backingUp = QStringLiteral("备份");

// The file systems that cannot hard-link these two files; a copy takes the link's place.
bool linkRefused(int error)
{
    return error == EXDEV || error == EPERM || error == EMLINK || error == ENOTSUP || error == EOPNOTSUPP;
}

enum class Kept { Linked, Copied };

// A hard link to the file (to what a symbolic link leads to), else a clone or a copy.
Expected<Kept> linkOrCopy(const QString& source, const QString& destination)
{
    if (::linkat(AT_FDCWD, files::nativePath(source).constData(), AT_FDCWD, files::nativePath(destination).constData(),
                 AT_SYMLINK_FOLLOW) == 0)
        return Kept::Linked;
    if (!linkRefused(errno))
        return std::unexpected(files::systemError(backingUp, source, errno));
    if (Expected<> copied = files::copyItem(source, destination); !copied)
        return std::unexpected(copied.error());
    return Kept::Copied;
}

bool sameFile(const std::optional<files::FileIdentity>& a, const std::optional<files::FileIdentity>& b)
{
    return a && b && a->device == b->device && a->inode == b->inode;
}

// Gives an object that still is its live file bytes of its own, read-only: the bytes that
// were kept, which are the live file's first entry.size bytes as long as Codex only
// appended to it. False, and nothing changed, when those bytes are no longer to be had.
bool detachFromLiveFile(const QString& object, const RolloutBackupEntry& entry)
{
    const QString copy = files::temporarySibling(object);
    bool copied = false;
    const std::optional<files::FileIdentity> live = files::identityOf(entry.path);
    if (live && live->size == entry.size) {
        copied = files::copyItem(entry.path, copy).has_value();
    } else if (live && live->size > entry.size) {
        const Expected<QByteArray> content = files::readWhole(entry.path);
        const QByteArrayView kept = content ? QByteArrayView(*content).first(std::min<qsizetype>(content->size(), entry.size))
                                            : QByteArrayView();
        copied = content && kept.size() == entry.size && contentHash(kept) == entry.hash
            && files::writeAtomically(copy, kept.toByteArray()).has_value();
    }
    if (!copied || ::chmod(files::nativePath(copy).constData(), 0400) != 0
        || ::rename(files::nativePath(copy).constData(), files::nativePath(object).constData()) != 0) {
        files::removeItem(copy);
        return false;
    }
    return true;
}

// Makes the entry a link to its object again, once the object was detached: the entry
// was the live file too.
bool relinkEntry(const QString& object, const QString& entry, bool* copied)
{
    const QString relinked = files::temporarySibling(entry);
    const Expected<Kept> kept = linkOrCopy(object, relinked);
    if (!kept || ::rename(files::nativePath(relinked).constData(), files::nativePath(entry).constData()) != 0) {
        files::removeItem(relinked);
        return false;
    }
    *copied = *kept == Kept::Copied;
    return true;
}

// Detaches the object and its entry from the live file; when that cannot be done, both go:
// better no backup of a file that did not change than a backup that changes.
bool detachEntry(const QString& object, const QString& entry, const RolloutBackupEntry& recorded, bool* copied)
{
    if (detachFromLiveFile(object, recorded) && relinkEntry(object, entry, copied))
        return true;
    ::unlink(files::nativePath(object).constData());
    ::unlink(files::nativePath(entry).constData());
    return false;
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

QString backupObjectsPath(const CodexHome& home)
{
    return home.backupsPath() + QStringLiteral("/objects");
}

RolloutBackup::RolloutBackup(const CodexHome& home, QString rolloutDirectory)
    : m_objectsDirectory(backupObjectsPath(home)), m_rolloutDirectory(std::move(rolloutDirectory))
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

Expected<> RolloutBackup::keep(const QString& livePath, const QByteArray& content)
{
    if (!m_directoriesMade) {
        if (Expected<> made = files::makeDirectory(m_objectsDirectory); !made)
            return made;
        if (Expected<> made = files::makeDirectory(m_rolloutDirectory); !made)
            return made;
        m_directoriesMade = true;
    }
    m_sealed = false;
    const QString hash = contentHash(content);
    // Numbered so that names stay apart whatever the paths are; the manifest maps them back.
    const QString name = QStringLiteral("%1-%2").arg(m_manifest.size() + 1, 5, 10, QLatin1Char('0')).arg(QFileInfo(livePath).fileName());
    const QString entryPath = m_rolloutDirectory + QLatin1Char('/') + name;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString object = objectPath(hash, attempt);
        // Linking first and looking only when the name is taken spares a lookup per file.
        const Expected<Kept> made = linkOrCopy(livePath, object);
        const bool created = made.has_value();
        if (!created) {
            if (!files::itemExists(object))
                return std::unexpected(made.error());
            // The same hash with other bytes: try the next name.
            const Expected<QByteArray> kept = files::readWhole(object);
            if (!kept || *kept != content)
                continue;
        }
        const Expected<Kept> entry = linkOrCopy(object, entryPath);
        if (!entry) {
            if (created)
                ::unlink(files::nativePath(object).constData());
            return std::unexpected(entry.error());
        }
        m_manifest.push_back({livePath, name, qint64(content.size()), hash});
        m_attempts.push_back(quint8(attempt));
        m_newObjects.push_back(created);
        m_copiedEntries.push_back(*entry == Kept::Copied);
        return {};
    }
    return std::unexpected(files::fileErrorWithReason(backingUp, livePath, QStringLiteral("备份对象重名过多")));
}

void RolloutBackup::seal()
{
    if (m_sealed)
        return;
    m_sealed = true;
    for (size_t i = 0; i < m_manifest.size(); ++i) {
        const QString object = objectPath(m_manifest[i].hash, m_attempts[i]);
        const QString entry = m_rolloutDirectory + QLatin1Char('/') + m_manifest[i].name;
        if (sameFile(files::identityOf(object), files::identityOf(m_manifest[i].path))) {
            bool copied = false;
            if (!detachEntry(object, entry, m_manifest[i], &copied))
                continue;
            m_copiedEntries[i] = copied;
        }
        ::chmod(files::nativePath(object).constData(), 0400);
        if (m_copiedEntries[i]) // a linked entry is the object itself
            ::chmod(files::nativePath(entry).constData(), 0400);
    }
}

void RolloutBackup::leaveForPutBack()
{
    m_sealed = true;
}

bool isEntryStillLive(const QString& rolloutDirectory, const RolloutBackupEntry& entry)
{
    return sameFile(files::identityOf(rolloutDirectory + QLatin1Char('/') + entry.name), files::identityOf(entry.path));
}

void sealEntriesStillLive(const CodexHome& home, const QString& rolloutDirectory, const RolloutManifest& manifest)
{
    for (const RolloutBackupEntry& recorded : manifest) {
        if (!isEntryStillLive(rolloutDirectory, recorded))
            continue;
        const std::optional<files::FileIdentity> live = files::identityOf(recorded.path);
        const QString entry = rolloutDirectory + QLatin1Char('/') + recorded.name;
        // The object is the one of its hash's names that is the live file too.
        for (int attempt = 1; attempt <= 100; ++attempt) {
            const QString object = backupObjectsPath(home) + QLatin1Char('/')
                + (attempt == 1 ? recorded.hash : QStringLiteral("%1-%2").arg(recorded.hash).arg(attempt));
            const std::optional<files::FileIdentity> identity = files::identityOf(object);
            if (!identity)
                break;
            if (!sameFile(identity, live))
                continue;
            bool copied = false;
            if (detachEntry(object, entry, recorded, &copied) && copied)
                ::chmod(files::nativePath(entry).constData(), 0400);
            break;
        }
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
