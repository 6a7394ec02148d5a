#include "wording/workflow_wording.h"

#include "wording/restore_point_wording.h"

#include <map>

namespace {

using Event = WorkflowResult::Event;
using Step = WorkflowResult::Step;

// Said after the count of moved conversations when some lost what only the old login reads.
QString sealedNote(const MovedConversations& moved)
{
    if (moved.withoutSealedItems < 1)
        return QString();
    return QStringLiteral("其中 %1 条对话去掉了只有原来的登录方式才能读的推理记录。").arg(moved.withoutSealedItems);
}

// " 已同步 N 条对话记录。" when conversations were moved, nothing otherwise.
QString syncNote(const MovedConversations& moved)
{
    if (moved.listed < 1)
        return QString();
    return QStringLiteral(" 已同步 %1 条对话记录。").arg(moved.listed) + sealedNote(moved);
}

// Said of a failed step when its error has no words of its own.
QString stepFailureText(Step step)
{
    switch (step) {
    case Step::CheckKey:
        return QStringLiteral("TEVRUN API 检查失败。");
    case Step::ValidateKey:
        return QStringLiteral("TEVRUN API 校验失败。");
    case Step::BackUp:
        return QStringLiteral("备份失败。");
    case Step::RecordAccount:
        return QStringLiteral("自动记录 GPT 账号 登陆状态失败。");
    case Step::WriteApiConfig:
        return QStringLiteral("写入 API 配置失败。");
    case Step::SaveKey:
        return QStringLiteral("保存 API Key 记录失败。");
    case Step::SaveApiProfile:
        return QStringLiteral("保存 API 配置档案失败。");
    case Step::MoveConversations:
        return QStringLiteral("迁移对话 provider 失败。");
    case Step::RepairConfig:
        return QStringLiteral("修复配置失败。");
    case Step::SwitchToAccount:
        return QStringLiteral("切回 GPT 账号 登陆失败。");
    case Step::PrepareAccountLogin:
        return QStringLiteral("设置 GPT 账号 登陆失败。");
    case Step::Restore:
        return QStringLiteral("恢复备份失败。");
    case Step::Prune:
        return QStringLiteral("清理备份失败。");
    case Step::FinishJournal:
        return QStringLiteral("结束操作记录失败。");
    }
    return QString();
}

// What happened, before anything is said of putting the home back.
QString eventText(const WorkflowResult& result)
{
    switch (result.event) {
    case Event::Nothing:
    case Event::CodexRunning:
    case Event::CodexStarted:
        return QString(); // the front end says that Codex runs
    case Event::KeyUsable:
        return QStringLiteral("TEVRUN API 可用，可以切换或修复配置。");
    case Event::SwitchedToApi:
        return (result.accountRecorded ? QStringLiteral("已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。")
                                       : QStringLiteral("已切到 TEVRUN API。"))
            + syncNote(result.moved) + QStringLiteral("正在打开 Codex。");
    case Event::SwitchedToAccount:
        return QStringLiteral("已切回 GPT 账号 登陆。") + syncNote(result.moved) + QStringLiteral("正在打开 Codex。");
    case Event::AccountLoginRecorded:
        return QStringLiteral("当前已经是 GPT 账号 登陆，已自动记录好后续切换需要的状态。");
    case Event::AccountLoginPrepared:
        return QStringLiteral("已设置为 GPT 账号 登陆。") + syncNote(result.moved)
            + QStringLiteral("正在打开 Codex。请按提示登陆账号。");
    case Event::RepairedForApi:
        return (result.diagnosis ? QStringLiteral("AI 诊断：") + *result.diagnosis + QStringLiteral(" 已按标准模板修复。")
                                 : QStringLiteral("TEVRUN API 已校验通过，配置已按标准模板修复。"))
            + syncNote(result.moved);
    case Event::RepairedForAccount:
        return QStringLiteral("GPT 账号 登陆配置已按标准模板修复。") + syncNote(result.moved)
            + QStringLiteral("现在可以重新打开 Codex 登陆。");
    case Event::ConversationsMoved:
        return QStringLiteral("已把 %1 条对话移到 provider “%2”上，Codex 会列出它们。")
                   .arg(result.moved.listed)
                   .arg(result.provider)
            + sealedNote(result.moved);
    case Event::ConversationsInPlace:
        return QStringLiteral("所有对话都已经在 provider “%1”上，不用移动。").arg(result.provider);
    case Event::BackupRestored:
        return QStringLiteral("已恢复备份“%1”：%2。恢复前的状态已存为备份“%3”。")
            .arg(result.restored->id, restorePointContents(*result.restored), result.newRestorePoint);
    case Event::BackupsPruned:
        return QStringLiteral("已删除 %1 个较早的备份，保留了最新的 %2 个。").arg(result.removedBackups).arg(result.keptBackups);
    case Event::NoBackupsToPrune:
        return QStringLiteral("没有需要删除的备份。");
    case Event::KeyForgotten:
        return QStringLiteral("已删除保存的 TEVRUN API %1。").arg(result.forgottenKey);
    case Event::CutOffPutBack:
        return QStringLiteral("上次的操作没有完成，已恢复到开始前的状态。");
    case Event::NoKeyToCheck:
        return QStringLiteral("请先输入以 sk- 开头的 TEVRUN API。");
    case Event::NoKeyToSwitch:
        return QStringLiteral("TEVRUN API 必须以 sk- 开头。");
    case Event::NoKeyToRepair:
        return QStringLiteral("请先输入有效的 TEVRUN API，再修复配置。");
    case Event::Stopped:
    case Event::ConfigNotEditable:
        return result.error.message;
    case Event::StepFailed:
        return result.error.message.isEmpty() ? stepFailureText(result.step) : result.error.message;
    case Event::CutOffWhileCodexRuns:
        return QStringLiteral("上次的操作没有完成。Codex 正在运行，退出 Codex 后会恢复到开始前的状态。");
    case Event::CutOffNotYet:
        return QStringLiteral("上次的操作没有完成，现在还不能恢复：") + result.error.message;
    case Event::CutOffNotPutBack:
        return QStringLiteral("上次的操作没有完成，也没能恢复到开始前的状态：") + result.error.message;
    case Event::CutOffUnreadable:
        return QStringLiteral("上次的操作没有完成，它的记录也读不出来：%1").arg(result.error.message);
    }
    return QString();
}

} // namespace

QString outcomeText(const WorkflowResult& result)
{
    switch (result.putBack) {
    case WorkflowResult::PutBack::NotNeeded:
        break;
    case WorkflowResult::PutBack::Done:
        return eventText(result) + QStringLiteral(" 已恢复到切换前的状态。");
    case WorkflowResult::PutBack::DoneAfterCodexWrote:
        return QStringLiteral("Codex 在切换过程中写入了对话，已恢复到切换前的状态。请先退出 Codex 再切换。");
    case WorkflowResult::PutBack::Failed:
        return eventText(result) + QStringLiteral(" 恢复原状也失败了：") + result.putBackError.message;
    }
    return eventText(result);
}

QString taskText(WorkflowTask task)
{
    static const std::map<WorkflowTask, QString> texts = {
        {WorkflowTask::CheckingKey, QStringLiteral("正在检查 TEVRUN API...")},
        {WorkflowTask::SwitchingToApi, QStringLiteral("正在切到 TEVRUN API...")},
        {WorkflowTask::SwitchingToAccount, QStringLiteral("正在切回 GPT 账号 登陆...")},
        {WorkflowTask::PreparingAccountLogin, QStringLiteral("正在设置 GPT 账号 登陆...")},
        {WorkflowTask::Repairing, QStringLiteral("正在修复配置...")},
        {WorkflowTask::MovingConversations, QStringLiteral("正在移动对话...")},
        {WorkflowTask::Restoring, QStringLiteral("正在恢复备份...")},
    };
    const auto text = texts.find(task);
    return text != texts.end() ? text->second : QString();
}

QString conversationsElsewhereText(qint64 count)
{
    return QStringLiteral("有 %1 条对话不在当前的 provider 上，Codex 不会列出它们。").arg(count);
}

StatusTone toneOf(const WorkflowResult& result)
{
    if (result.outcome != WorkflowResult::Outcome::Done)
        return StatusTone::Failure;
    switch (result.event) {
    case Event::AccountLoginRecorded: // nothing was switched
    case Event::ConversationsInPlace:
    case Event::CutOffPutBack:
        return StatusTone::Ready;
    default:
        return StatusTone::Success;
    }
}
