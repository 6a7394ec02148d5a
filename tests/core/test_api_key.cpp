#include "core/api_key.h"
#include "core/current_key.h"

#include <gtest/gtest.h>

TEST(KeyRule, AcceptsOnlyWellFormedTevrunKeys)
{
    for (const char* key : {"sk-a", "sk-AZaz09._-x", "  sk-live.Key_1-2\n"})
        EXPECT_TRUE(isLikelyApiKey(QString::fromUtf8(key))) << key;
    for (const char* key : {"", "sk-", "SK-abc", "sk-ab c", "sk-ab/c", "sk-abcé", "ak-abc"})
        EXPECT_FALSE(isLikelyApiKey(QString::fromUtf8(key))) << key;
    for (const auto& [value, likely] : std::vector<std::pair<std::optional<Json>, bool>>{{{}, false}, {nullptr, false}, {42, false}, {"sk-abc", true}})
        EXPECT_EQ(isLikelyApiKey(value), likely) << (value ? value->dump() : "none");
}

TEST(KeyRule, AShortenedKeyNeverShowsItsMiddle)
{
    EXPECT_EQ(shortenedKey(QStringLiteral(" sk-abcdefghijklmnop1234\n")), QStringLiteral("sk-abcd…1234"));
    EXPECT_EQ(shortenedKey(QStringLiteral("sk-abcdefghijk12")), QStringLiteral("sk-abcd…jk12"));
    EXPECT_EQ(shortenedKey(QStringLiteral("sk-abcdefghijk1")), QStringLiteral("sk-…"));
}
