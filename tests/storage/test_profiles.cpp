#include "core/json.h"
#include "storage/profiles.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <QFile>

// Saving again replaces the copies and the descriptor; a copy whose source is gone stays.
TEST(Profiles, SavingCopiesTheFilesThatExistAndALoginIsRequiredUnlessAllowed)
{
    TempHome temp;
    const QStringList apiFiles = {"auth.json", "config.toml", "auth_tevrun_last.json"};
    temp.write("auth.json", "first");
    temp.write("auth_tevrun_last.json", "last");
    ASSERT_TRUE(saveProfileNamed(temp.home(), QStringLiteral("api"), apiFiles, false));
    temp.write("auth.json", "second");
    temp.write("config.toml", "cfg");
    QFile::remove(temp.path("auth_tevrun_last.json"));
    ASSERT_TRUE(saveProfileNamed(temp.home(), QStringLiteral("api"), apiFiles, false));
    const QString directory = temp.home().profileURL(QStringLiteral("api"));
    EXPECT_EQ(entriesOf(directory), (QStringList{"auth.json", "auth_tevrun_last.json", "config.toml", "profile.json"}));
    EXPECT_EQ(readFileAt(directory + "/auth.json"), "second");
    const Json descriptor = parseJson(readFileAt(directory + "/profile.json")).value_or(Json());
    EXPECT_EQ(descriptor["files"], Json({"auth.json", "config.toml"}));
    EXPECT_EQ(modeOf(temp.path("morvane/profiles")), 0700u);

    QFile::remove(temp.path("auth.json"));
    Error error;
    EXPECT_FALSE(saveProfileNamed(temp.home(), QStringLiteral("account"), {"auth.json", "config.toml"}, false, &error));
    EXPECT_EQ(error.code, 10);
    EXPECT_FALSE(profileExists(temp.home(), QStringLiteral("account")));
    EXPECT_TRUE(saveProfileNamed(temp.home(), QStringLiteral("loose"), {"auth.json", "config.toml"}, true));
}

TEST(Profiles, RestoreCopiesEveryVisibleEntryBackOwnerOnlyAndNeedsALogin)
{
    TempHome temp;
    const QString directory = temp.home().profileURL(QStringLiteral("account"));
    writeFileAt(directory + "/config.toml", "x");
    Error error;
    EXPECT_FALSE(restoreProfileNamed(temp.home(), QStringLiteral("account"), {}, &error));
    EXPECT_EQ(error.code, 11);
    EXPECT_FALSE(temp.exists("config.toml"));

    writeFileAt(directory + "/auth.json", "{\"tokens\": 1}");
    QFile::setPermissions(directory + "/auth.json", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    writeFileAt(directory + "/profile.json", "{}");
    writeFileAt(directory + "/.hidden", "not restored");
    temp.write("auth.json", "{\"OPENAI_API_KEY\": \"sk-x\"}");
    ASSERT_TRUE(restoreProfileNamed(temp.home(), QStringLiteral("account"), {}));
    EXPECT_EQ(temp.read("auth.json"), "{\"tokens\": 1}");
    EXPECT_EQ(modeOf(temp.path("auth.json")), 0600u);
    EXPECT_EQ(temp.read("config.toml"), "x");
    EXPECT_EQ(entriesOf(temp.codexHome()), (QStringList{"auth.json", "config.toml", "morvane"}));
}
