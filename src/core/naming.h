#pragma once

#include <QString>

// Local time as "yyyyMMdd-HHmmss": names backups and dates records.
QString timestamp();

// Lowercase hexadecimal SHA-256 of the string's UTF-8 bytes.
QString sha256(const QString& text);
