#pragma once

#include "core/error.h"
#include "workflows/workflow_result.h"

#include <QString>

// " 已同步 N 条对话记录。" when threads were moved, nothing otherwise.
inline QString syncNote(qint64 movedThreads)
{
    if (movedThreads < 1)
        return QString();
    return QStringLiteral(" 已同步 %1 条对话记录。").arg(movedThreads);
}

// A failed step: its error's message, or the step's own text when the error has none.
inline WorkflowResult failure(const Error& error, const QString& fallback)
{
    return WorkflowResult::failed(error.message.isEmpty() ? fallback : error.message);
}
