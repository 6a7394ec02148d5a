#include "core/api_key.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

TEST(KeyRule, AcceptsOnlyWellFormedTevrunKeys)
{
    for (const char* key : {"sk-a", "sk-AZaz09._-x", "  sk-live.Key_1-2\n"})
        EXPECT_TRUE(isLikelyApiKey(QString::fromUtf8(key))) << key;
    for (const char* key : {"", "sk-", "SK-abc", "sk-ab c", "sk-ab/c", "sk-abcé", "ak-abc"})
        EXPECT_FALSE(isLikelyApiKey(QString::fromUtf8(key))) << key;
    EXPECT_FALSE(isLikelyApiKey(std::optional<Json>()));
    EXPECT_FALSE(isLikelyApiKey(std::optional<Json>(Json(nullptr))));
    EXPECT_FALSE(isLikelyApiKey(std::optional<Json>(Json(42))));
    EXPECT_TRUE(isLikelyApiKey(std::optional<Json>(Json("sk-abc"))));
}

TEST(KeyRule, AShortenedKeyNeverShowsItsMiddle)
{
    EXPECT_EQ(shortenedKey(QStringLiteral(" sk-abcdefghijklmnop1234\n")), QStringLiteral("sk-abcd…1234"));
    EXPECT_EQ(shortenedKey(QStringLiteral("sk-abcdefghijk12")), QStringLiteral("sk-abcd…jk12"));
    EXPECT_EQ(shortenedKey(QStringLiteral("sk-abcdefghijk1")), QStringLiteral("sk-…"));
}

TEST(KeyReading, ActiveKeyIsTheMemberOfAuthJsonOfAnyType)
{
    TempHome temp;
    EXPECT_FALSE(readActiveApiKey(temp.home()));
    const struct {
        QByteArray auth;
        std::optional<Json> key;
    } cases[] = {
        {R"({"OPENAI_API_KEY": "  sk-spaced  "})", Json("  sk-spaced  ")},
        {R"({"OPENAI_API_KEY": 17})", Json(17)},
        {R"({"tokens": {}})", std::nullopt},
        {R"(["sk-in-array"])", std::nullopt},
        {QByteArray("\x00\xff\xfe binary", 11), std::nullopt},
        {"{\"OPENAI_API_KEY\": \"sk-\xff\"}", std::nullopt},
        {QByteArray(), std::nullopt},
    };
    for (const auto& c : cases) {
        temp.write("auth.json", c.auth);
        EXPECT_EQ(readActiveApiKey(temp.home()), c.key) << c.auth.toStdString();
    }
    QFile::remove(temp.path("auth.json"));
    temp.makeDirectory("auth.json");
    EXPECT_FALSE(readActiveApiKey(temp.home()));
}

