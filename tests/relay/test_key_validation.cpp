#include "core/json.h"
#include "relay/key_validation.h"
#include "support/local_relay.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>

using Reply = LocalRelay::Reply;

// Every way a check fails, with the error's code and the text the user sees.
TEST(KeyValidation, EachFailureHasItsCodeAndMessage)
{
    const QString noConnection = QStringLiteral("无法连接 TEVRUN，请检查网络后重试。");
    const QString timedOut = QStringLiteral("TEVRUN API 校验超时，请检查网络后重试。");
    const QByteArray huge = "{\"error\":{\"code\":\"too_long\",\"message\":\"" + QByteArray("第一行\\n").repeated(10)
                            + QByteArray("x").repeated(3'500'000) + "\"}}";
    const struct {
        std::vector<Reply> replies; // a connection closed early may be tried once more
        int requestTimeoutMs;
        int overallWaitMs;
        int code; // the HTTP status of a refusal; 0 without an answer
        QString message;
    } cases[] = {
        {{Reply{199, "{}"}}, 3000, 4000, 199, QStringLiteral("TEVRUN API 校验失败，HTTP 状态码：199。")},
        {{Reply{300, "{}"}}, 3000, 4000, 300, QStringLiteral("TEVRUN API 校验失败，HTTP 状态码：300。")},
        {{Reply{401, R"({"error":{"code":"invalid_api_key","message":"无效的令牌","type":"auth"}})"}}, 3000, 4000,
         401, QStringLiteral("TEVRUN API 校验失败：invalid_api_key，无效的令牌")},
        {{Reply{403, R"({"error":{"code":403,"message":"禁止访问"}})"}}, 3000, 4000, 403, QStringLiteral("TEVRUN API 校验失败：，禁止访问")},
        {{Reply{502, "<html><body>Bad gateway</body></html>"}}, 3000, 4000, 502,
         QStringLiteral("TEVRUN API 校验失败，HTTP 状态码：502。")},
        // An oversized refusal is shown on one short line.
        {{Reply{400, huge}}, 3000, 4000, 400,
         QStringLiteral("TEVRUN API 校验失败：too_long，") + QStringLiteral("第一行 ").repeated(10)
             + QString(200 - 9 - 40, QLatin1Char('x')) + QStringLiteral("...")},
        {{Reply{.hangUp = true}, Reply{.hangUp = true}}, 3000, 4000, 0, noConnection},
        {{Reply{.silent = true}}, 300, 3000, 0, noConnection},
        {{Reply{.silent = true}}, 3000, 300, 0, timedOut},
        {{Reply{.delayMs = 600}}, 3000, 200, 0, timedOut},
    };
    for (const auto& c : cases) {
        LocalRelay relay;
        for (const Reply& reply : c.replies)
            relay.enqueue(reply);
        QElapsedTimer timer;
        timer.start();
        const Expected<> valid = validateTevrunApiKey(relay.endpoint(c.requestTimeoutMs, c.overallWaitMs), QStringLiteral("sk-key"));
        EXPECT_LT(timer.elapsed(), 2500);
        ASSERT_FALSE(valid);
        EXPECT_EQ(valid.error().domain, QStringLiteral("Morvane"));
        EXPECT_EQ(valid.error().code, c.code);
        EXPECT_EQ(valid.error().message, c.message);
        if (c.replies[0].delayMs) {
            // Let the late answer arrive: the next check is not confused by it.
            QTest::qWait(700);
            EXPECT_TRUE(validateTevrunApiKey(relay.endpoint(), QStringLiteral("sk-key")));
        }
    }
    const RelayEndpoint nobody = LocalRelay().endpoint(); // its relay gone, nothing listens there
    EXPECT_EQ(validateTevrunApiKey(nobody, QStringLiteral("sk-key")).error().message, noConnection);
}
