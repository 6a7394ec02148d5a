#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// Every file error names the operation, the file and the reason, in Chinese:
// "无法<operation>“<name>”：<reason>。"
namespace files {

Error systemError(const QString& operation, const QString& path, int errnoValue);
Error fileErrorWithReason(const QString& operation, const QString& path, const QString& reason);
Error notRegularFileError(const QString& operation, const QString& path);
Error danglingLinkError(const QString& operation, const QString& path);


// The path as the system takes it.
inline QByteArray nativePath(const QString& path) { return QFile::encodeName(path); }

} // namespace files
