#include "core/api_key.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

TEST(KeyRule, AcceptsOnlyWellFormedTevrunKeys)
{
    EXPECT_FALSE(isLikelyApiKey(QStringLiteral("sk-")));
    EXPECT_FALSE(isLikelyApiKey(QString()));
    EXPECT_TRUE(isLikelyApiKey(QStringLiteral("sk-a")));
    EXPECT_FALSE(isLikelyApiKey(QStringLiteral("SK-abc")));
    EXPECT_FALSE(isLikelyApiKey(QStringLiteral("sk-ab c")));
    EXPECT_FALSE(isLikelyApiKey(QStringLiteral("sk-ab/c")));
    EXPECT_FALSE(isLikelyApiKey(QStringLiteral("sk-abcé")));
    EXPECT_FALSE(isLikelyApiKey(QStringLiteral("ak-abc")));
    EXPECT_TRUE(isLikelyApiKey(QStringLiteral("sk-Az09._-x")));
    EXPECT_TRUE(isLikelyApiKey(QStringLiteral("  sk-live.Key_1-2\n")));
}

TEST(KeyRule, OnlyJsonStringsCanBeKeys)
{
    EXPECT_FALSE(isLikelyApiKey(std::optional<Json>()));
    EXPECT_FALSE(isLikelyApiKey(std::optional<Json>(Json(nullptr))));
    EXPECT_FALSE(isLikelyApiKey(std::optional<Json>(Json(42))));
    EXPECT_TRUE(isLikelyApiKey(std::optional<Json>(Json("sk-abc"))));
}

TEST(KeyReading, ActiveKeyIsTheMemberOfAuthJsonOfAnyType)
{
    TempHome temp;
    EXPECT_FALSE(readActiveApiKey(temp.home()));

    temp.write(QStringLiteral("auth.json"), R"({"OPENAI_API_KEY": "  sk-spaced  "})");
    EXPECT_EQ(readActiveApiKey(temp.home()), Json("  sk-spaced  "));

    temp.write(QStringLiteral("auth.json"), R"({"OPENAI_API_KEY": 17})");
    EXPECT_EQ(readActiveApiKey(temp.home()), Json(17));

    temp.write(QStringLiteral("auth.json"), R"({"tokens": {}})");
    EXPECT_FALSE(readActiveApiKey(temp.home()));
}

TEST(KeyReading, MalformedAuthFilesGiveNoKey)
{
    TempHome temp;
    for (const QByteArray& bytes : {QByteArray(R"(["sk-in-array"])"), QByteArray("\x00\xff\xfe binary", 11),
                                    QByteArray("{\"OPENAI_API_KEY\": \"sk-\xff\"}"), QByteArray()}) {
        temp.write(QStringLiteral("auth.json"), bytes);
        EXPECT_FALSE(readActiveApiKey(temp.home())) << bytes.toStdString();
    }
    temp.makeDirectory(QStringLiteral("auth.json.d"));
    QFile::remove(temp.path(QStringLiteral("auth.json")));
    QDir().rename(temp.path(QStringLiteral("auth.json.d")), temp.path(QStringLiteral("auth.json")));
    EXPECT_FALSE(readActiveApiKey(temp.home()));
}

TEST(KeyReading, CurrentKeyFallsBackToTheLastTevrunKeyUnchecked)
{
    TempHome temp;
    EXPECT_FALSE(readCurrentApiKey(temp.home()));

    temp.write(QStringLiteral("auth.json"), R"({"OPENAI_API_KEY": null, "tokens": {"id_token": "x"}})");
    temp.write(QStringLiteral("auth_tevrun_last.json"), R"({"OPENAI_API_KEY": "not a key"})");
    EXPECT_EQ(readCurrentApiKey(temp.home()), Json("not a key"));

    temp.write(QStringLiteral("auth.json"), R"({"OPENAI_API_KEY": " sk-active "})");
    EXPECT_EQ(readCurrentApiKey(temp.home()), Json(" sk-active "));
}
