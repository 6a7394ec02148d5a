#include "history/key_history.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

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
