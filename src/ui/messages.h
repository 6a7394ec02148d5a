#pragma once

#include <QString>

// Shown in red while the Codex app runs, by the monitor and at the end of a workflow.
inline QString codexRunningMessage()
{
    return QStringLiteral("已检测到 Dock 里的 Codex 正在运行，退出后会自动恢复按钮。");
}
