#pragma once

#include <QString>

// " 已同步 N 条对话记录。" when threads were moved, nothing otherwise.
inline QString syncNote(qint64 movedThreads)
{
    if (movedThreads < 1)
        return QString();
    return QStringLiteral(" 已同步 %1 条对话记录。").arg(movedThreads);
}
