#include "gui/window_texts.h"

#include "wording/workflow_wording.h"

QString statusText(const WorkflowResult& result)
{
    QString text = outcomeText(result);
    if (!result.codex.empty())
        text.prepend(codexRunningMessage(result.codex));
    if (result.restoreByHand)
        text += QStringLiteral(" 请在“恢复备份…”中恢复“%1”。").arg(*result.restoreByHand);
    if (result.repairWith)
        text += QStringLiteral(" 可以点“修复配置”按标准模板重写它。");
    return text;
}

QString codexRunningMessage(const std::vector<CodexProcess>& running)
{
    return codexAppRuns(running) ? QStringLiteral("已检测到 Dock 里的 Codex 正在运行，退出后会自动恢复按钮。")
                                 : QStringLiteral("已检测到终端或编辑器里的 Codex 正在运行，退出后会自动恢复按钮。");
}

QString codexRunningExplanation(const std::vector<CodexProcess>& running)
{
    return codexAppRuns(running)
        ? QStringLiteral("Dock 里的 Codex 正在运行，可能会缓存或覆盖配置。请先退出 Codex；退出后按钮会自动恢复。")
        : QStringLiteral("终端或编辑器里的 Codex 正在运行，可能会缓存或覆盖配置。请先退出 Codex；退出后按钮会自动恢复。");
}
