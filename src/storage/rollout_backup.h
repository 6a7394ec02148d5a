#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "core/json.h"
#include "storage/rollout_manifest.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// Rollout files kept in backups without copying them. Each content is stored once, as a
// read-only object under backups/objects/ named by its hash, and each backup's
// rollout_files/ holds hard links to its objects. An unchanged conversation costs no new
// space however often it is backed up.

// Appends the manifest as a JSON array, one entry per line, its lines indented by indent
// spaces.
void appendManifestText(QByteArray& text, const RolloutManifest& manifest, int indent);
// Nothing when the list is missing or any entry is malformed.
std::optional<RolloutManifest> manifestFromJson(const Json& list);

QString backupObjectsPath(const CodexHome& home);

// The rollout files of one backup folder, kept while the live files are about to be
// replaced. A new content becomes an object by a hard link to the live file itself, so no
// byte is written; seal() then makes sure no object is still a live file.
class RolloutBackup {
public:
    RolloutBackup(const CodexHome& home, QString rolloutDirectory);
    RolloutBackup(const RolloutBackup&) = delete;
    RolloutBackup& operator=(const RolloutBackup&) = delete;
    ~RolloutBackup(); // seals what is kept

    // Keeps the live file, whose bytes were just read as content.
    Expected<> keep(const QString& livePath, const QByteArray& content);
    // Once the live files were replaced, or were not after all: an object that still is
    // its live file gets a copy of its own (Codex appends to live files in place), and the
    // objects become read-only.
    void seal();
    // Takes back everything kept, for a backup that is given up before anything changed.
    void discard();
    // For live files left half replaced: what is kept stays linked to the live files not
    // replaced, so that putting the backup back leaves those alone; sealEntriesStillLive()
    // finishes it afterwards.
    void leaveForPutBack();

    const RolloutManifest& manifest() const { return m_manifest; }

private:
    QString objectPath(const QString& hash, int attempt) const;

    QString m_objectsDirectory;
    QString m_rolloutDirectory;
    RolloutManifest m_manifest;
    std::vector<quint8> m_attempts;  // the object of each entry: its hash, numbered this far past a collision
    std::vector<bool> m_newObjects;  // whether this backup created it
    std::vector<bool> m_copiedEntries; // whether the entry is a copy rather than a link to its object
    bool m_directoriesMade = false;
    bool m_sealed = false;
};

// Whether the backup's entry still is the live file: the file was never replaced, and
// there is nothing of it to put back.
bool isEntryStillLive(const QString& rolloutDirectory, const RolloutBackupEntry& entry);
// What seal() does, for a backup whose RolloutBackup is gone (left for a put-back, or cut
// off by a crash): every entry still linked to its live file gets bytes of its own.
void sealEntriesStillLive(const CodexHome& home, const QString& rolloutDirectory, const RolloutManifest& manifest);
