#include "core/json.h"
#include "storage/profiles.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

const QStringList accountFiles = {QStringLiteral("auth.json"), QStringLiteral("config.toml")};

Json descriptorOf(const TempHome& temp, const QString& profile)
{
    return parseJson(readFileAt(temp.home().profileURL(profile) + "/profile.json")).value_or(Json());
}

} // namespace

TEST(Profiles, SavingCopiesTheFilesThatExistAndDescribesThem)
{
    TempHome temp;
    temp.write("auth.json", "first");
    temp.write("auth_tevrun_last.json", "last");
    const QStringList apiFiles = {"auth.json", "config.toml", "auth_tevrun_last.json"};
    ASSERT_TRUE(saveProfileNamed(temp.home(), QStringLiteral("api"), apiFiles, false));
    temp.write("auth.json", "second");
    temp.write("config.toml", "cfg");
    QFile::remove(temp.path("auth_tevrun_last.json"));
    ASSERT_TRUE(saveProfileNamed(temp.home(), QStringLiteral("api"), apiFiles, false));

    // Saving again replaces the copies and the descriptor; a copy whose source is gone stays.
    const QString directory = temp.home().profileURL(QStringLiteral("api"));
    EXPECT_EQ(entriesOf(directory), (QStringList{"auth.json", "auth_tevrun_last.json", "config.toml", "profile.json"}));
    EXPECT_EQ(readFileAt(directory + "/auth.json"), "second");
    EXPECT_EQ(readFileAt(directory + "/auth_tevrun_last.json"), "last");
    const Json descriptor = descriptorOf(temp, QStringLiteral("api"));
    EXPECT_EQ(descriptor.size(), 3u);
    EXPECT_EQ(descriptor["profile"], "api");
    EXPECT_EQ(descriptor["files"], Json({"auth.json", "config.toml"}));
    EXPECT_TRUE(descriptor["saved_at"].is_string());
    EXPECT_TRUE(profileExists(temp.home(), QStringLiteral("api")));
    EXPECT_EQ(modeOf(temp.path("morvane/profiles")), 0700u);
}

TEST(Profiles, SavingWithoutLoginFailsWithCode10UnlessAllowed)
{
    TempHome temp;
    temp.write("config.toml", "x");
    Error error;
    EXPECT_FALSE(saveProfileNamed(temp.home(), QStringLiteral("account"), accountFiles, false, &error));
    EXPECT_EQ(error.domain, QStringLiteral("Morvane"));
    EXPECT_EQ(error.code, 10);
    EXPECT_EQ(error.message, QStringLiteral("当前没有 Codex 登录信息，无法记录账号状态。"));
    EXPECT_EQ(entriesOf(temp.home().profileURL(QStringLiteral("account"))), QStringList{"config.toml"});
    EXPECT_FALSE(profileExists(temp.home(), QStringLiteral("account")));

    EXPECT_TRUE(saveProfileNamed(temp.home(), QStringLiteral("loose"), accountFiles, true));
    EXPECT_EQ(descriptorOf(temp, QStringLiteral("loose"))["files"], Json({"config.toml"}));
}

TEST(Profiles, RestoreCopiesEveryVisibleEntryBackOwnerOnly)
{
    TempHome temp;
    const QString directory = temp.home().profileURL(QStringLiteral("account"));
    writeFileAt(directory + "/auth.json", "{\"tokens\": 1}");
    QFile::setPermissions(directory + "/auth.json", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    writeFileAt(directory + "/config.toml", "model_provider = \"openai\"\n");
    writeFileAt(directory + "/auth_tevrun_last.json", "stale");
    writeFileAt(directory + "/profile.json", "{}");
    writeFileAt(directory + "/.hidden", "not restored");
    temp.write("auth.json", "{\"OPENAI_API_KEY\": \"sk-x\"}");

    ASSERT_TRUE(restoreProfileNamed(temp.home(), QStringLiteral("account"), {}));
    EXPECT_EQ(temp.read("auth.json"), "{\"tokens\": 1}");
    EXPECT_EQ(modeOf(temp.path("auth.json")), 0600u);
    EXPECT_EQ(temp.read("config.toml"), "model_provider = \"openai\"\n");
    EXPECT_EQ(temp.read("auth_tevrun_last.json"), "stale");
    EXPECT_FALSE(temp.exists(".hidden"));
    EXPECT_FALSE(temp.exists("profile.json"));
}

TEST(Profiles, RestoreOfAProfileWithoutLoginFailsWithCode11AndTouchesNothing)
{
    TempHome temp;
    const QString directory = temp.home().profileURL(QStringLiteral("account"));
    writeFileAt(directory + "/config.toml", "x");
    Error error;
    EXPECT_FALSE(restoreProfileNamed(temp.home(), QStringLiteral("account"), {}, &error));
    EXPECT_EQ(error.code, 11);
    EXPECT_EQ(error.message, QStringLiteral("还没有可切回的 GPT 账号 登陆记录。"));
    EXPECT_FALSE(temp.exists("config.toml"));
}
