// The "检查 API" button: validates the key in the field and remembers it.

#include "core/api_key.h"
#include "history/key_history.h"
#include "relay/key_validation.h"
#include "ui/app_delegate.h"
#include "ui/palette.h"

void AppDelegate::checkApiKey()
{
    if (!guardCodexNotRunning()) {
        refreshCodexRunningGate();
        return;
    }
    const QString key = currentApiKeyInput().trimmed();
    if (!isLikelyApiKey(key)) {
        refuse(QStringLiteral("请先输入以 sk- 开头的 TEVRUN API。"));
        return;
    }
    beginBusy(QStringLiteral("正在检查 TEVRUN API..."));
    Error error;
    if (!validateTevrunApiKey(m_relay, key, &error)) {
        failWorkflow(error, QStringLiteral("TEVRUN API 检查失败。"));
        return;
    }
    saveApiKeyToHistory(m_home, key);
    setApiFieldText(key);
    endBusy(QStringLiteral("TEVRUN API 可用，可以切换或修复配置。"), palette::systemGreen(), normalActionButtonTitle());
}
