#include "core/json.h"
#include "history/key_history.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace {

QString historyFile(const TempHome& temp, const QString& key) { return historyPathForKey(temp.home(), key).value_or(QString()); }

} // namespace

TEST(KeyHistory, SavesOneOwnerOnlyFilePerKeyNamedByItsDigest)
{
    TempHome temp;
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-test"));
    const QString path = historyFile(temp, QStringLiteral("sk-test"));
    EXPECT_EQ(path, temp.path(QStringLiteral("morvane/api-key-history/api-key-f3abf2a6cc4f0098.json")));
    const Json record = parseJson(readFileAt(path)).value_or(Json());
    EXPECT_EQ(record["api_key"], "sk-test");
    EXPECT_EQ(record["saved_at"].get<std::string>().size(), 15u);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(temp.home().historyRootURL()), 0700u);
}

TEST(KeyHistory, IgnoresMalformedKeys)
{
    TempHome temp;
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-"));
    saveApiKeyToHistory(temp.home(), QStringLiteral("not-a-key"));
    EXPECT_FALSE(temp.exists(QStringLiteral("morvane")));
    EXPECT_FALSE(historyPathForKey(temp.home(), QStringLiteral("sk-a b")));
    EXPECT_TRUE(historyItems(temp.home()).empty());
    EXPECT_FALSE(latestHistoricalApiKey(temp.home()));
}

TEST(KeyHistory, NewestFileFirstAndSavingAgainMovesAKeyToTheTop)
{
    TempHome temp;
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-one"));
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-two"));
    setModificationTime(historyFile(temp, "sk-one"), QDateTime::fromSecsSinceEpoch(1'700'000'000));
    setModificationTime(historyFile(temp, "sk-two"), QDateTime::fromSecsSinceEpoch(1'700'000'100));
    EXPECT_EQ(latestHistoricalApiKey(temp.home()), QStringLiteral("sk-two"));

    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-one"));
    const std::vector<HistoryItem> items = historyItems(temp.home());
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].apiKey, QStringLiteral("sk-one"));
    EXPECT_EQ(items[1].apiKey, QStringLiteral("sk-two"));
    EXPECT_EQ(entriesOf(temp.home().historyRootURL()).size(), 2);
}

TEST(KeyHistory, ListsOnlyVisibleJsonFilesHoldingWellFormedKeys)
{
    TempHome temp;
    const QString root = temp.home().historyRootURL();
    writeFileAt(root + "/good.json", R"({"api_key": "sk-good"})");
    writeFileAt(root + "/number.json", R"({"api_key": 7})");
    writeFileAt(root + "/prefix.json", R"({"api_key": "pk-x"})");
    writeFileAt(root + "/space.json", R"({"api_key": "sk-a b"})");
    writeFileAt(root + "/upper.JSON", R"({"api_key": "sk-upper"})");
    writeFileAt(root + "/.hidden.json", R"({"api_key": "sk-hidden"})");
    writeFileAt(root + "/broken.json", "{");
    writeFileAt(root + "/array.json", R"(["sk-array"])");
    writeFileAt(root + "/dir.json/x", "");

    const std::vector<HistoryItem> items = historyItems(temp.home());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].apiKey, QStringLiteral("sk-good"));
}

TEST(KeyHistory, AHistoryPathThatIsAFileLeavesTheHistoryEmpty)
{
    TempHome temp;
    temp.write(QStringLiteral("morvane/api-key-history"), "file");
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-abc"));
    EXPECT_TRUE(historyItems(temp.home()).empty());
    EXPECT_EQ(temp.read(QStringLiteral("morvane/api-key-history")), "file");
}
