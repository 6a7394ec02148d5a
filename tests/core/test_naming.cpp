#include "core/codex_home.h"
#include "core/naming.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QRegularExpression>

TEST(Naming, TimestampIsLocalTimeWithTwentyFourHoursAndLeadingZeros)
{
    const QDateTime before = QDateTime::currentDateTime();
    const QString text = timestamp();
    const QDateTime after = QDateTime::currentDateTime();

    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{8}-\\d{6}$")).match(text).hasMatch()) << text.toStdString();
    const QDateTime parsed = QDateTime::fromString(text, QStringLiteral("yyyyMMdd-HHmmss"));
    ASSERT_TRUE(parsed.isValid());
    EXPECT_GE(parsed.toSecsSinceEpoch(), before.toSecsSinceEpoch());
    EXPECT_LE(parsed.toSecsSinceEpoch(), after.toSecsSinceEpoch());
}

TEST(Naming, Sha256IsLowercaseHexOfUtf8Bytes)
{
    EXPECT_EQ(sha256(QString()), QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    EXPECT_EQ(sha256(QStringLiteral("sk-test")),
              QStringLiteral("f3abf2a6cc4f00987743db5f544ba345b4899ae31f326d8ee9c4816de153c9e0"));
    EXPECT_EQ(sha256(QStringLiteral("对话")),
              QStringLiteral("6bf6d3f3d6261b7505285078ddb2f7f1b5fa98c2777ccd67bafb222ea05d8e9a"));
}

TEST(Naming, LocationsAreDerivedFromTheHomeAndNothingIsCreated)
{
    const CodexHome home(QStringLiteral("/nonexistent/user"));
    EXPECT_EQ(home.codexHomeURL(), QStringLiteral("/nonexistent/user/.codex"));
    EXPECT_EQ(home.morvaneRootURL(), QStringLiteral("/nonexistent/user/.codex/morvane"));
    EXPECT_EQ(home.profileURL(QStringLiteral("account")), QStringLiteral("/nonexistent/user/.codex/morvane/profiles/account"));
    EXPECT_EQ(home.historyRootURL(), QStringLiteral("/nonexistent/user/.codex/morvane/api-key-history"));
    EXPECT_EQ(home.backupsURL(), QStringLiteral("/nonexistent/user/.codex/morvane/backups"));
}
