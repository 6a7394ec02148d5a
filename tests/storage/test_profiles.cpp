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

TEST(Profiles, SavingCopiesTheFilesAndDescribesThem)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), "{\"tokens\": 1}");
    temp.write(QStringLiteral("config.toml"), "model = \"o3\"\n");

    ASSERT_TRUE(saveProfileNamed(temp.home(), QStringLiteral("account"), accountFiles, false));
    const QString directory = temp.home().profileURL(QStringLiteral("account"));
    EXPECT_EQ(entriesOf(directory), (QStringList{"auth.json", "config.toml", "profile.json"}));
    EXPECT_EQ(readFileAt(directory + "/auth.json"), "{\"tokens\": 1}");
    const Json descriptor = descriptorOf(temp, QStringLiteral("account"));
    EXPECT_EQ(descriptor.size(), 3u);
    EXPECT_EQ(descriptor["profile"], "account");
    EXPECT_EQ(descriptor["files"], Json({"auth.json", "config.toml"}));
    EXPECT_TRUE(descriptor["saved_at"].is_string());
    EXPECT_TRUE(profileExists(temp.home(), QStringLiteral("account")));
    EXPECT_EQ(modeOf(temp.path(QStringLiteral("morvane/profiles"))), 0700u);
}

TEST(Profiles, SavingWithoutLoginFailsWithCode10AndKeepsWhatWasCopied)
{
    TempHome temp;
    temp.write(QStringLiteral("config.toml"), "x");
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

TEST(Profiles, SavingAgainReplacesTheCopiesAndTheDescriptor)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), "first");
    temp.write(QStringLiteral("auth_tevrun_last.json"), "last");
    const QStringList apiFiles = {"auth.json", "config.toml", "auth_tevrun_last.json"};
    ASSERT_TRUE(saveProfileNamed(temp.home(), QStringLiteral("api"), apiFiles, false));
    temp.write(QStringLiteral("auth.json"), "second");
    temp.write(QStringLiteral("config.toml"), "cfg");
    QFile::remove(temp.path(QStringLiteral("auth_tevrun_last.json")));
    ASSERT_TRUE(saveProfileNamed(temp.home(), QStringLiteral("api"), apiFiles, false));

    const QString directory = temp.home().profileURL(QStringLiteral("api"));
    EXPECT_EQ(readFileAt(directory + "/auth.json"), "second");
    EXPECT_EQ(readFileAt(directory + "/auth_tevrun_last.json"), "last");
    EXPECT_EQ(descriptorOf(temp, QStringLiteral("api"))["files"], Json({"auth.json", "config.toml"}));
    EXPECT_EQ(entriesOf(directory), (QStringList{"auth.json", "auth_tevrun_last.json", "config.toml", "profile.json"}));
}

TEST(Profiles, AFailedCopyLeavesTheEarlierProfileFileInPlace)
{
    TempHome temp;
    temp.write(QStringLiteral("auth.json"), "new login");
    temp.write(QStringLiteral("config.toml"), "new config");
    const QString directory = temp.home().profileURL(QStringLiteral("account"));
    writeFileAt(directory + "/auth.json", "old login");
    writeFileAt(directory + "/config.toml/stray", "a directory where the file goes");

    Error error;
    EXPECT_FALSE(saveProfileNamed(temp.home(), QStringLiteral("account"), accountFiles, false, &error));
    EXPECT_EQ(error.message, QStringLiteral("无法替换“config.toml”：目标是一个目录。"));
    EXPECT_EQ(readFileAt(directory + "/auth.json"), "new login");
    EXPECT_EQ(readFileAt(directory + "/config.toml/stray"), "a directory where the file goes");
    EXPECT_EQ(entriesOf(directory), (QStringList{"auth.json", "config.toml"}));
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
    temp.write(QStringLiteral("auth.json"), "{\"OPENAI_API_KEY\": \"sk-x\"}");

    ASSERT_TRUE(restoreProfileNamed(temp.home(), QStringLiteral("account"), {}));
    EXPECT_EQ(temp.read(QStringLiteral("auth.json")), "{\"tokens\": 1}");
    EXPECT_EQ(modeOf(temp.path(QStringLiteral("auth.json"))), 0600u);
    EXPECT_EQ(temp.read(QStringLiteral("config.toml")), "model_provider = \"openai\"\n");
    EXPECT_EQ(temp.read(QStringLiteral("auth_tevrun_last.json")), "stale");
    EXPECT_FALSE(temp.exists(QStringLiteral(".hidden")));
    EXPECT_FALSE(temp.exists(QStringLiteral("profile.json")));
}

TEST(Profiles, RestoreOfAMissingProfileFailsWithCode11AndTouchesNothing)
{
    TempHome temp;
    const QString directory = temp.home().profileURL(QStringLiteral("account"));
    writeFileAt(directory + "/config.toml", "x");
    writeFileAt(directory + "/profile.json", "{}");
    Error error;
    EXPECT_FALSE(profileExists(temp.home(), QStringLiteral("account")));
    EXPECT_FALSE(restoreProfileNamed(temp.home(), QStringLiteral("account"), {}, &error));
    EXPECT_EQ(error.code, 11);
    EXPECT_EQ(error.message, QStringLiteral("还没有可切回的 GPT 账号 登陆记录。"));
    EXPECT_FALSE(QFileInfo::exists(temp.codexHome() + "/config.toml"));
}

TEST(Profiles, RestoreOntoADirectoryFailsAndKeepsIt)
{
    TempHome temp;
    const QString directory = temp.home().profileURL(QStringLiteral("account"));
    writeFileAt(directory + "/auth.json", "login");
    writeFileAt(directory + "/config.toml", "cfg");
    temp.write(QStringLiteral("config.toml/inner"), "keep");
    Error error;
    EXPECT_FALSE(restoreProfileNamed(temp.home(), QStringLiteral("account"), {}, &error));
    EXPECT_EQ(error.message, QStringLiteral("无法替换“config.toml”：目标是一个目录。"));
    EXPECT_EQ(temp.read(QStringLiteral("config.toml/inner")), "keep");
}
