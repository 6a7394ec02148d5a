#include "core/json.h"
#include "history/key_history.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

namespace {

QString historyFile(const TempHome& temp, const QString& key) { return historyPathForKey(temp.home(), key).value_or(QString()); }

} // namespace

// One owner-only file per key, named by its digest; newest first; saving again moves a
// key to the top; malformed keys are never saved.
TEST(KeyHistory, SavesEachWellFormedKeyOnceNewestFirst)
{
    TempHome temp;
    saveApiKeyToHistory(temp.home(), QStringLiteral("not-a-key"));
    EXPECT_FALSE(temp.exists(QStringLiteral("morvane")));
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-one"));
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-test"));
    EXPECT_EQ(historyFile(temp, "sk-test"), temp.path(QStringLiteral("morvane/api-key-history/api-key-f3abf2a6cc4f0098.json")));
    EXPECT_EQ(modeOf(historyFile(temp, "sk-test")), 0600u);
    EXPECT_EQ(modeOf(temp.home().historyRootURL()), 0700u);
    setModificationTime(historyFile(temp, "sk-one"), QDateTime::fromSecsSinceEpoch(1'700'000'000));
    setModificationTime(historyFile(temp, "sk-test"), QDateTime::fromSecsSinceEpoch(1'700'000'100));
    EXPECT_EQ(latestHistoricalApiKey(temp.home()), QStringLiteral("sk-test"));
    saveApiKeyToHistory(temp.home(), QStringLiteral("sk-one"));
    const std::vector<HistoryItem> items = historyItems(temp.home());
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].apiKey, QStringLiteral("sk-one"));
    EXPECT_EQ(items[1].apiKey, QStringLiteral("sk-test"));
}

TEST(KeyHistory, ListsOnlyVisibleJsonFilesHoldingWellFormedKeys)
{
    TempHome temp;
    const QString root = temp.home().historyRootURL();
    writeFileAt(root + "/good.json", R"({"api_key": "sk-good"})");
    writeFileAt(root + "/number.json", R"({"api_key": 7})");
    writeFileAt(root + "/space.json", R"({"api_key": "sk-a b"})");
    writeFileAt(root + "/upper.JSON", R"({"api_key": "sk-upper"})");
    writeFileAt(root + "/.hidden.json", R"({"api_key": "sk-hidden"})");
    writeFileAt(root + "/broken.json", "{");
    writeFileAt(root + "/array.json", R"(["sk-array"])");
    writeFileAt(root + "/dir.json/x", "");
    const std::vector<HistoryItem> items = historyItems(temp.home());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].apiKey, QStringLiteral("sk-good"));

    // A file where the folder goes leaves the history empty and the file alone.
    TempHome blocked;
    blocked.write(QStringLiteral("morvane/api-key-history"), "file");
    saveApiKeyToHistory(blocked.home(), QStringLiteral("sk-abc"));
    EXPECT_TRUE(historyItems(blocked.home()).empty());
    EXPECT_EQ(blocked.read(QStringLiteral("morvane/api-key-history")), "file");
}
