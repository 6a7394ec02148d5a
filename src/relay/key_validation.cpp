#include "relay/key_validation.h"

#include "core/json.h"
#include "relay/relay_request.h"
#include "relay/text_utils.h"

namespace {

// The member as text; any other value counts as empty.
QString textMember(const Json& object, const char* name)
{
    const auto member = object.find(name);
    if (member == object.end() || !member->is_string())
        return QString();
    return fromUtf8(member->get<std::string>());
}

} // namespace

Expected<> validateTevrunApiKey(const RelayEndpoint& endpoint, const QString& key)
{
    const Json body = {{"model", "gpt-5.5"}, {"input", "ping"}, {"max_output_tokens", 1}};
    const RelayAnswer answer = postToRelay(endpoint, key, QByteArray::fromStdString(body.dump()));
    switch (answer.outcome) {
    case RelayAnswer::Outcome::TimedOut:
        return std::unexpected(Error{morvaneErrorDomain, 0, QStringLiteral("TEVRUN API 校验超时，请检查网络后重试。")});
    case RelayAnswer::Outcome::TransferFailed:
        return std::unexpected(Error{morvaneErrorDomain, 0, QStringLiteral("无法连接 TEVRUN，请检查网络后重试。")});
    case RelayAnswer::Outcome::Answered:
        break;
    }
    if (answer.status >= 200 && answer.status <= 299)
        return {};
    return std::unexpected(Error{morvaneErrorDomain, int(answer.status), apiErrorMessageFromData(answer.body, answer.status)});
}

QString apiErrorMessageFromData(const std::optional<QByteArray>& body, qint64 status)
{
    const QString fallback = QStringLiteral("TEVRUN API 校验失败，HTTP 状态码：%1。").arg(status);
    if (!body)
        return fallback;
    const std::optional<Json> value = parseJson(*body);
    if (!value || !value->is_object())
        return fallback;

    QString code;
    QString message;
    const auto errorMember = value->find("error");
    if (errorMember != value->end() && errorMember->is_object()) {
        code = textMember(*errorMember, "code");
        message = textMember(*errorMember, "message");
    }
    if (code.isEmpty() && message.isEmpty()) {
        code = textMember(*value, "code");
        message = textMember(*value, "message");
    }
    if (code.isEmpty() && message.isEmpty())
        return fallback;
    // The relay's words are shown on the status line: one line, and not a page of it.
    return QStringLiteral("TEVRUN API 校验失败：")
        + cleanOneLineText(code + (message.isEmpty() ? QString() : QStringLiteral("，") + message), 200);
}
