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
