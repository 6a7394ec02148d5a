#include "relay/text_utils.h"

#include <gtest/gtest.h>

TEST(CleanOneLine, JoinsLinesTrimsAndCutsAt48UnitsNeverInsideAnEmoji)
{
    EXPECT_EQ(cleanOneLineText(QStringLiteral("  第一行\n第二行\n ")), QStringLiteral("第一行 第二行"));
    EXPECT_EQ(cleanOneLineText(QStringLiteral("a  b\tc\r")), QStringLiteral("a  b\tc"));
    const QString exactly48 = QString(48, QLatin1Char('x'));
    EXPECT_EQ(cleanOneLineText(exactly48), exactly48);
    EXPECT_EQ(cleanOneLineText(QString(60, QLatin1Char('y'))), QString(48, QLatin1Char('y')) + QStringLiteral("..."));
    EXPECT_EQ(cleanOneLineText(QString(60, QChar(0x914D))), QString(48, QChar(0x914D)) + QStringLiteral("..."));

    const QString emoji = QStringLiteral("🎉");
    // The 48th unit is the first half of the pair: cut before it.
    const QString text = QString(47, QLatin1Char('a')) + emoji + QStringLiteral("tail");
    EXPECT_EQ(cleanOneLineText(text), QString(47, QLatin1Char('a')) + QStringLiteral("..."));
    // The pair ends exactly at the cut: it stays whole.
    const QString whole = QString(46, QLatin1Char('a')) + emoji + QStringLiteral("tail");
    EXPECT_EQ(cleanOneLineText(whole), QString(46, QLatin1Char('a')) + emoji + QStringLiteral("..."));
}
