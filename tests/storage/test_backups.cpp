#include "core/json.h"
#include "storage/rollout_backup.h"

#include <gtest/gtest.h>

// A damaged list of a backup's conversations is no list: restoring from it is refused.
TEST(Backups, AManifestWithAnyMalformedEntryIsRejected)
{
    const Json entry = {{"path", "/home/u/.codex/sessions/r.jsonl"}, {"name", "00001-r.jsonl"}, {"size", 1}, {"hash", "h"}};
    ASSERT_TRUE(manifestFromJson(Json::array({entry})));
    EXPECT_FALSE(manifestFromJson(Json::object()));
    EXPECT_FALSE(manifestFromJson(Json::array({entry, 1})));
    for (const char* member : {"path", "name", "size", "hash"}) {
        Json missing = entry;
        missing.erase(member);
        Json mistyped = entry;
        mistyped[member] = std::string(member) == "size" ? Json("1") : Json(1);
        EXPECT_FALSE(manifestFromJson(Json::array({entry, missing}))) << member;
        EXPECT_FALSE(manifestFromJson(Json::array({mistyped}))) << member;
    }
    for (const char* name : {"", ".", "..", "../auth.json"}) {
        Json outside = entry;
        outside["name"] = name;
        EXPECT_FALSE(manifestFromJson(Json::array({outside}))) << name;
    }
}
