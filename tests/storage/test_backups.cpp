#include "core/json.h"
#include "storage/backups.h"
#include "storage/rollout_backup.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

// A second backup in the same second gets a folder of its own; the summary counts each
// file once however many points link it.
TEST(Backups, CopiesTheFilesThatExistDescribesThemAndCountsEachFileOnce)
{
    TempHome temp;
    temp.write("auth.json", QByteArray(100'000, 'x'));
    temp.write("cap_sid/inside", "sid");
    temp.write("state_5.sqlite", "not copied here");
    const std::optional<QString> first = createBackupWithKind(temp.home(), QStringLiteral("repair-config"));
    const std::optional<QString> second = createBackupWithKind(temp.home(), QStringLiteral("repair-config"));
    ASSERT_TRUE(first && second && *first != *second);
    EXPECT_EQ(entriesOf(*first), (QStringList{"auth.json", "backup-info.json", "cap_sid"}));
    EXPECT_EQ(modeOf(*first), 0700u);
    const Json descriptor = parseJson(readFileAt(*first + "/backup-info.json")).value_or(Json());
    EXPECT_EQ(descriptor["files"]["auth.json"]["size"], 100'000);
    EXPECT_EQ(QFileInfo(*first).fileName(), QStringLiteral("repair-config-") + fromUtf8(descriptor["created_at"].get<std::string>()));

    ASSERT_TRUE(QFile::remove(*second + "/auth.json"));
    ASSERT_EQ(::link(QFile::encodeName(*first + "/auth.json").constData(), QFile::encodeName(*second + "/auth.json").constData()), 0);
    temp.write("morvane/backups/not-a-backup/file", "no info file");
    const BackupSummary summary = summarizeBackups(temp.home());
    EXPECT_EQ(summary.count, 2);
    EXPECT_GE(summary.sizeBytes, 100'000);
    EXPECT_LT(summary.sizeBytes, 150'000);
}

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
