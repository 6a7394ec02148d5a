#include "core/json.h"
#include "relay/key_validation.h"
#include "support/local_relay.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSslSocket>
#include <QTest>

namespace {

Error validationError(LocalRelay& relay, const LocalRelay::Reply& reply)
{
    relay.enqueue(reply);
    Error error;
    EXPECT_FALSE(validateTevrunApiKey(relay.endpoint(), QStringLiteral("sk-key"), &error));
    return error;
}

} // namespace

TEST(KeyValidation, SendsOneMinimalResponsesRequestWithTheKeyAsGiven)
{
    LocalRelay relay;
    EXPECT_TRUE(validateTevrunApiKey(relay.endpoint(), QStringLiteral(" sk-untrimmed "), nullptr));
    const std::vector<LocalRelay::Request> requests = relay.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/v1/responses");
    EXPECT_EQ(requests[0].headers.value("authorization"), "Bearer  sk-untrimmed");
    EXPECT_EQ(requests[0].headers.value("content-type"), "application/json");
    const Json body = parseJson(requests[0].body).value_or(Json());
    EXPECT_EQ(body, Json({{"model", "gpt-5.5"}, {"input", "ping"}, {"max_output_tokens", 1}}));
    EXPECT_FALSE(requests[0].body.contains(' '));
}

TEST(KeyValidation, AcceptsExactlyThe2xxStatuses)
{
    LocalRelay relay;
    for (int status : {200, 201, 299}) {
        relay.enqueue(LocalRelay::Reply::answer(status, "{}"));
        EXPECT_TRUE(validateTevrunApiKey(relay.endpoint(), QStringLiteral("sk-key"))) << status;
    }
    for (int status : {199, 300}) {
        const Error error = validationError(relay, LocalRelay::Reply::answer(status, "{}"));
        EXPECT_EQ(error.code, status);
        EXPECT_EQ(error.message, QStringLiteral("TEVRUN API 校验失败，HTTP 状态码：%1。").arg(status));
    }
}

TEST(KeyValidation, ExplainsARefusalFromTheRelaysBody)
{
    LocalRelay relay;
    Error error = validationError(
        relay, LocalRelay::Reply::answer(401, R"({"error":{"code":"invalid_api_key","message":"无效的令牌","type":"auth"}})"));
    EXPECT_EQ(error.domain, QStringLiteral("Morvane"));
    EXPECT_EQ(error.code, 401);
    EXPECT_EQ(error.message, QStringLiteral("TEVRUN API 校验失败：invalid_api_key，无效的令牌"));

    error = validationError(relay, LocalRelay::Reply::answer(502, "<html><body>Bad gateway</body></html>"));
    EXPECT_EQ(error.code, 502);
    EXPECT_EQ(error.message, QStringLiteral("TEVRUN API 校验失败，HTTP 状态码：502。"));
}

TEST(KeyValidation, AnOversizedRefusalIsShownOnOneShortLine)
{
    LocalRelay relay;
    const QByteArray huge = "{\"error\":{\"code\":\"too_long\",\"message\":\"" + QByteArray("第一行\\n").repeated(10) +
                            QByteArray("x").repeated(3'500'000) + "\"}}";
    const Error error = validationError(relay, LocalRelay::Reply::answer(400, huge));
    EXPECT_EQ(error.message, QStringLiteral("TEVRUN API 校验失败：too_long，") + QStringLiteral("第一行 ").repeated(10)
                                 + QString(200 - 9 - 40, QLatin1Char('x')) + QStringLiteral("..."));
}

TEST(ApiErrorMessage, ReadsEveryErrorShape)
{
    const auto message = [](const char* body) { return apiErrorMessageFromData(QByteArray(body), 400); };
    EXPECT_EQ(message(R"({"error":{"code":"c1","message":"m1"}})"), QStringLiteral("TEVRUN API 校验失败：c1，m1"));
    EXPECT_EQ(message(R"({"error":"plain","code":"top","message":"level"})"), QStringLiteral("TEVRUN API 校验失败：top，level"));
    EXPECT_EQ(message(R"({"error":{"code":null,"message":"only message"}})"), QStringLiteral("TEVRUN API 校验失败：，only message"));
    EXPECT_EQ(message(R"({"error":{"code":"only_code"}})"), QStringLiteral("TEVRUN API 校验失败：only_code"));
    EXPECT_EQ(message(R"({"error":{"code":401,"message":""},"message":"top message"})"),
              QStringLiteral("TEVRUN API 校验失败：，top message"));
    EXPECT_EQ(message(R"({"error":{}})"), QStringLiteral("TEVRUN API 校验失败，HTTP 状态码：400。"));
    EXPECT_EQ(message("not json"), QStringLiteral("TEVRUN API 校验失败，HTTP 状态码：400。"));
    EXPECT_EQ(message("[1]"), QStringLiteral("TEVRUN API 校验失败，HTTP 状态码：400。"));
    EXPECT_EQ(apiErrorMessageFromData(std::nullopt, 0), QStringLiteral("TEVRUN API 校验失败，HTTP 状态码：0。"));
}

TEST(KeyValidation, NoConnectionIsCode20)
{
    Error error;
    EXPECT_FALSE(validateTevrunApiKey(LocalRelay::refusingEndpoint(), QStringLiteral("sk-key"), &error));
    EXPECT_EQ(error.code, 20);
    EXPECT_EQ(error.message, QStringLiteral("无法连接 TEVRUN，请检查网络后重试。"));

    // A connection closed before any answer: the network layer may try once more.
    LocalRelay relay;
    LocalRelay::Reply hangUp;
    hangUp.hangUp = true;
    relay.enqueue(hangUp);
    relay.enqueue(hangUp);
    EXPECT_EQ(validationError(relay, hangUp).code, 20);
}

TEST(KeyValidation, ASilentRelayEndsByTheRequestTimeOutOrTheOverallWait)
{
    LocalRelay relay;
    LocalRelay::Reply silent;
    silent.silent = true;

    relay.enqueue(silent);
    Error error;
    EXPECT_FALSE(validateTevrunApiKey(relay.endpoint(300, 3000), QStringLiteral("sk-key"), &error));
    EXPECT_EQ(error.code, 20);

    relay.enqueue(silent);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(validateTevrunApiKey(relay.endpoint(3000, 300), QStringLiteral("sk-key"), &error));
    EXPECT_EQ(error.code, 21);
    EXPECT_EQ(error.message, QStringLiteral("TEVRUN API 校验超时，请检查网络后重试。"));
    EXPECT_LT(timer.elapsed(), 2500);
}

TEST(KeyValidation, ALateAnswerAfterTheOverallWaitChangesNothing)
{
    LocalRelay relay;
    LocalRelay::Reply late;
    late.delayMs = 600;
    relay.enqueue(late);
    Error error;
    EXPECT_FALSE(validateTevrunApiKey(relay.endpoint(3000, 200), QStringLiteral("sk-key"), &error));
    EXPECT_EQ(error.code, 21);
    // Let the late answer arrive: the next validation is not confused by it.
    QTest::qWait(700);
    EXPECT_TRUE(validateTevrunApiKey(relay.endpoint(), QStringLiteral("sk-key"), &error));
}

TEST(KeyValidation, WorksOverHttpsWithTheRealTlsBackend)
{
    ASSERT_TRUE(QSslSocket::supportsSsl()) << "no TLS backend: " << QSslSocket::activeBackend().toStdString();
    LocalRelay relay(LocalRelay::Scheme::Https);
    Error error;
    EXPECT_TRUE(validateTevrunApiKey(relay.endpoint(), QStringLiteral("sk-key"), &error)) << error.message.toStdString();
    ASSERT_EQ(relay.requests().size(), 1u);
    EXPECT_EQ(relay.requests()[0].headers.value("authorization"), "Bearer sk-key");

    // Without the test authority, the system's CAs do not trust a local relay.
    LocalRelay other(LocalRelay::Scheme::Https);
    RelayEndpoint untrusted = other.endpoint();
    untrusted.extraCaCertificates.clear();
    EXPECT_FALSE(validateTevrunApiKey(untrusted, QStringLiteral("sk-key"), &error));
    EXPECT_EQ(error.code, 20);
}
