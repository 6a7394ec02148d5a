#include "wording/health_wording.h"

#include <QStringList>

namespace {

QString problemText(const HealthProblem& problem)
{
    const QString& code = problem.code;
    if (code == QLatin1String("key-not-sent"))
        return QStringLiteral("config.toml 的 [model_providers.tevrun] 里没有 requires_openai_auth = true，"
                              "Codex 不会把 TEVRUN API 发给中转。");
    if (code == QLatin1String("mode-mismatch")) {
        return problem.fix == HealthFix::RepairApi
            ? QStringLiteral("auth.json 里是 TEVRUN API，config.toml 的 provider 却是“%1”。").arg(problem.provider)
            : QStringLiteral("auth.json 里是 GPT 账号 登陆，config.toml 的 provider 却是“%1”。").arg(problem.provider);
    }
    if (code == QLatin1String("legacy-profile")) {
        return QStringLiteral("config.toml 里有 profile = \"%1\"，现在的 Codex 不再接受它，会拒绝启动："
                              "删掉这一行，改用 codex --profile %1 和 %1.config.toml。")
            .arg(problem.name);
    }
    if (code == QLatin1String("profile-provider-mismatch")) {
        return QStringLiteral("“%1”的 provider 是“%2”，不是当前的 provider “%3”：用这个配置打开 Codex 时不会用当前的登录方式。")
            .arg(problem.name, problem.otherProvider, problem.provider);
    }
    if (code == QLatin1String("conversations-elsewhere")) {
        return QStringLiteral("有 %1 条对话在 provider “%2”上，不在当前的 provider “%3”上，Codex 不会列出它们。")
            .arg(problem.count)
            .arg(problem.otherProvider, problem.provider);
    }
    if (code == QLatin1String("rollout-missing"))
        return QStringLiteral("对话索引里有 %1 条对话的文件不见了，Codex 打不开它们；可以在备份中找回。").arg(problem.count);
    if (code == QLatin1String("rollout-provider-mismatch"))
        return QStringLiteral("有 %1 个对话文件里记的 provider 和对话索引里的不一样。").arg(problem.count);
    if (code == QLatin1String("sealed-content-refused")) {
        return QStringLiteral("有 %1 条对话还带着只有原来的登录方式才能读的推理记录，provider “%2”会拒绝它们的每一轮，"
                              "它们无法继续。")
            .arg(problem.count)
            .arg(problem.provider);
    }
    if (code == QLatin1String("interrupted-workflow"))
        return QStringLiteral("上次的操作没有完成，还没有恢复到开始前的状态。");
    if (code == QLatin1String("staging-files"))
        return QStringLiteral("有 %1 个没有写完的临时文件，是被打断的写入留下的。").arg(problem.count);
    if (code == QLatin1String("backup-damaged"))
        return QStringLiteral("备份“%1”已损坏：“%2”").arg(problem.name, problem.names.join(QStringLiteral("”、“")));
    if (code == QLatin1String("auth-not-private"))
        return QStringLiteral("auth.json 不是只有自己能读写。");
    if (code == QLatin1String("key-file-readable"))
        return QStringLiteral("“%1”保存着密钥，别人也能读。").arg(problem.name);
    if (code == QLatin1String("codex-running"))
        return QStringLiteral("Codex 正在运行：切换、修复和恢复都会被拒绝，请先退出 Codex。");
    if (code == QLatin1String("conversations-open")) {
        return QStringLiteral("Codex 正开着 %1 条对话：%2。切换、修复和恢复都会被拒绝，请先退出 Codex。")
            .arg(problem.open.size())
            .arg(openConversationsText(problem.open));
    }
    return problem.reason; // the home or a thread index cannot be read
}

} // namespace

QString healthProblemText(const HealthProblem& problem)
{
    QString text = problemText(problem);
    if (!problem.threadIndex.isEmpty())
        text += QStringLiteral("（对话索引“%1/state_5.sqlite”）").arg(problem.threadIndex);
    return text;
}

QString openConversationsText(const std::vector<OpenConversation>& conversations)
{
    QStringList parts;
    for (const OpenConversation& conversation : conversations) {
        parts << (conversation.title.isEmpty() ? conversation.id
                                               : QStringLiteral("“%1”（%2）").arg(conversation.title, conversation.id));
    }
    return parts.join(QStringLiteral("、"));
}
