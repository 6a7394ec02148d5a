#include "core/json.h"
#include "storage/backups.h"
#include "storage/rollout_backup.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

TEST(Backups, CopiesTheListedFilesThatExistAndDescribesTheBackup)
{
    TempHome temp;
    ASSERT_TRUE(createBackupWithKind(temp.home(), QStringLiteral("switch-api")));
    temp.write("auth.json", "{\"tokens\": {}}");
    temp.write("config.toml", "model = \"o3\"\n");
    temp.write(".codex-global-state.json", "{}");
    temp.write("cap_sid/inside", "sid");
    temp.write("state_5.sqlite", "not copied here");
    temp.write("sessions/2026/01/01/rollout.jsonl", "{}");
    ASSERT_TRUE(createBackupWithKind(temp.home(), QStringLiteral("repair-config")));
    ASSERT_TRUE(createBackupWithKind(temp.home(), QStringLiteral("repair-config")));

    // An empty home gives the descriptor alone; a second backup in the same second a
    // folder of its own.
    const QStringList names = entriesOf(temp.home().backupsURL());
    ASSERT_EQ(names.size(), 3);
    const QString empty = temp.home().backupsURL() + "/" + names.filter("switch-api-").value(0);
    EXPECT_EQ(entriesOf(empty), QStringList{"backup-info.json"});
    EXPECT_EQ(modeOf(temp.path("morvane")), 0700u);
    EXPECT_EQ(modeOf(empty), 0700u);
    const QStringList repairs = names.filter("repair-config-");
    ASSERT_EQ(repairs.size(), 2);

    const QString directory = temp.home().backupsURL() + "/" + repairs[0];
    EXPECT_EQ(entriesOf(directory), (QStringList{".codex-global-state.json", "auth.json", "backup-info.json", "cap_sid",
                                                 "config.toml"}));
    EXPECT_EQ(readFileAt(directory + "/auth.json"), "{\"tokens\": {}}");
    EXPECT_EQ(readFileAt(directory + "/cap_sid/inside"), "sid");
    const Json descriptor = parseJson(readFileAt(directory + "/backup-info.json")).value_or(Json());
    EXPECT_EQ(descriptor.size(), 3u);
    EXPECT_EQ(descriptor["kind"], "repair-config");
    // Each file with its size and hash, to tell a damaged backup before it is put back.
    EXPECT_EQ(descriptor["files"].size(), 3u);
    EXPECT_EQ(descriptor["files"]["auth.json"]["size"], 14);
    EXPECT_EQ(descriptor["files"]["auth.json"]["hash"].get<std::string>().size(), 32u);
    EXPECT_EQ(QFileInfo(directory).fileName(), QStringLiteral("repair-config-") + fromUtf8(descriptor["created_at"].get<std::string>()));
    EXPECT_TRUE(readFileAt(directory + "/backup-info.json").contains("\n  \"kind\""));
}

TEST(Backups, TheSummaryCountsRestorePointsAndEachFileOnce)
{
    TempHome temp;
    EXPECT_EQ(summarizeBackups(temp.home()).count, 0);
    temp.write("auth.json", QByteArray(100'000, 'x'));
    const std::optional<QString> first = createBackupWithKind(temp.home(), QStringLiteral("switch-api"));
    const std::optional<QString> second = createBackupWithKind(temp.home(), QStringLiteral("switch-account"));
    ASSERT_TRUE(first && second);
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
