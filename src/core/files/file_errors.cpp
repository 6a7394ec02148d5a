#include "core/files/file_errors.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace files {
namespace {

QString reasonForErrno(int value)
{
    switch (value) {
    case ENOENT: return QStringLiteral("文件或目录不存在");
    case EEXIST: return QStringLiteral("目标已存在");
    case EACCES:
    case EPERM: return QStringLiteral("没有权限");
    case ENOTDIR: return QStringLiteral("路径中有一项不是目录");
    case EISDIR: return QStringLiteral("目标是一个目录");
    case ENOTEMPTY: return QStringLiteral("目录不是空的");
    case ENOSPC: return QStringLiteral("磁盘空间不足");
    case EDQUOT: return QStringLiteral("超出磁盘配额");
    case EFBIG: return QStringLiteral("文件过大");
    case EROFS: return QStringLiteral("文件系统是只读的");
    case EIO: return QStringLiteral("读写设备出错");
    case ENAMETOOLONG: return QStringLiteral("路径太长");
    case ELOOP: return QStringLiteral("符号链接层数过多");
    case EMFILE:
    case ENFILE: return QStringLiteral("打开的文件太多");
    case EBUSY: return QStringLiteral("文件正被占用");
    case EXDEV: return QStringLiteral("不能跨文件系统移动");
    default: return QString::fromLocal8Bit(std::strerror(value));
    }
}

QString displayName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

} // namespace

Error systemError(const QString& operation, const QString& path, int errnoValue)
{
    Error error = fileErrorWithReason(operation, path, reasonForErrno(errnoValue));
    error.code = errnoValue;
    return error;
}

Error fileErrorWithReason(const QString& operation, const QString& path, const QString& reason)
{
    return Error{fileErrorDomain, 0, QStringLiteral("无法%1“%2”：%3。").arg(operation, displayName(path), reason)};
}

Error notRegularFileError(const QString& operation, const QString& path)
{
    return fileErrorWithReason(operation, path, QStringLiteral("不是普通文件"));
}

Error danglingLinkError(const QString& operation, const QString& path)
{
    return fileErrorWithReason(operation, path, QStringLiteral("它是一个指向不存在的文件的符号链接"));
}

} // namespace files
