#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The hash that backups record of each file they hold: fast rather than cryptographic, as
// it tells damage and equal contents apart, not forgery. 32 lowercase hex digits.
QString contentHash(QByteArrayView content);

struct HashedFile {
    qint64 size = 0;
    QString hash;
};
// Of a regular file, read in pieces; nothing when it cannot be read.
std::optional<HashedFile> hashFile(const QString& path);
