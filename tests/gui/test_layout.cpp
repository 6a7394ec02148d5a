#include "support/window_fixture.h"

#include <QApplication>
#include <QTest>

TEST_F(WindowTest, ContentIsAFixedCardWithTheLayoutsPositions)
{
    launch();
    const QWidget* content = widget("content");
    EXPECT_EQ(content->size(), QSize(780, 460));
    EXPECT_EQ(app->window()->minimumSize(), app->window()->maximumSize());
    EXPECT_EQ(app->window()->windowTitle(), QStringLiteral("tevrun cloud Morvane"));

    EXPECT_EQ(placeOf("topHairline"), QRect(0, 0, 780, 1));
    EXPECT_EQ(placeOf("logo"), QRect(32, 30, 58, 58));
    EXPECT_EQ(placeOf("titleLabel").left(), 104);
    EXPECT_EQ(placeOf("titleLabel").top(), 28);
    EXPECT_EQ(placeOf("statusPill"), QRect(566, 36, 142, 28));
    EXPECT_EQ(placeOf("pillDot"), QRect(579, 46, 8, 8));
    EXPECT_EQ(placeOf("headlineLabel").left(), 104);
    EXPECT_EQ(placeOf("headlineLabel").top(), placeOf("titleLabel").bottom() + 1 + 7);
    EXPECT_EQ(placeOf("sectionSeparator"), QRect(32, 118, 716, 1));
    EXPECT_EQ(placeOf("sectionLabel").topLeft(), QPoint(32, 143));

    const QRect mode = placeOf("modeControl");
    EXPECT_EQ(mode.left(), 32);
    EXPECT_EQ(mode.size(), QSize(716, 38));
    EXPECT_EQ(mode.top(), placeOf("sectionLabel").bottom() + 1 + 8);
    const QRect panel = placeOf("apiPanel");
    EXPECT_EQ(panel, QRect(32, mode.bottom() + 1 + 20, 716, 116));
    const QRect box = placeOf("keyFieldBox");
    EXPECT_EQ(box.size(), QSize(556, 42));
    EXPECT_EQ(box.left(), 32);
    EXPECT_EQ(box.top(), placeOf("apiPanelTitle").bottom() + 1 + 8);
    EXPECT_EQ(placeOf("secureField").width(), 530);
    EXPECT_EQ(placeOf("secureField").left(), 32 + 13);
    EXPECT_EQ(placeOf("plainField").width(), 530);
    const QRect reveal = placeOf("revealButton");
    const QRect check = placeOf("checkApiButton");
    EXPECT_EQ(reveal.size(), QSize(58, 34));
    EXPECT_EQ(check.size(), QSize(82, 34));
    EXPECT_EQ(check.right() + 1, 748);
    EXPECT_EQ(reveal.right() + 1, check.left() - 8);
    EXPECT_EQ(box.right() + 1, reveal.left() - 12);
    EXPECT_EQ(reveal.center().y(), box.center().y());
    EXPECT_EQ(check.center().y(), box.center().y());
    EXPECT_EQ(placeOf("actionButton"), QRect(32, panel.bottom() + 1 + 18, 716, 46));

    // The card's background moves the window by as much as the pointer dragged it.
    const QPoint before = app->window()->pos();
    QTest::mousePress(widget("content"), Qt::LeftButton, {}, QPoint(400, 440));
    QMouseEvent drag(QEvent::MouseMove, QPointF(430, 460), widget("content")->mapToGlobal(QPointF(430, 460)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget("content"), &drag);
    EXPECT_EQ(app->window()->pos(), before + QPoint(30, 20));
}

TEST_F(WindowTest, TheAccountModeCollapsesThePanelAndMovesTheButtonUp)
{
    temp.write("auth.json", R"({"tokens": {}})");
    launch();
    EXPECT_FALSE(apiPanelShown());
    EXPECT_EQ(placeOf("actionButton").top(), placeOf("modeControl").bottom() + 1 + 38);
    const int statusTop = placeOf("statusLabel").top();
    EXPECT_EQ(statusTop, placeOf("actionButton").bottom() + 1 + 15);
}

TEST_F(WindowTest, ALongStatusStaysClearOfTheLinksShortenedInTheMiddle)
{
    launch();
    const QString longMessage = QStringLiteral("开头") + QString(300, QChar(0x957F)) + QStringLiteral("结尾");
    app->setStatus(longMessage, red);
    auto* label = widget<ElidingLabel>("statusLabel");
    EXPECT_EQ(label->text(), longMessage);
    EXPECT_LE(placeOf("statusLabel").right() + 1, placeOf("repairButton").left() - 12);
    const QString shown = label->displayedText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("开头")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("结尾")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_EQ(placeOf("keyPageButton").right() + 1, 748);
    EXPECT_EQ(placeOf("repairButton").right() + 1 + 16, placeOf("keyPageButton").left());
    EXPECT_EQ(placeOf("statusDot").size(), QSize(8, 8));
    EXPECT_EQ(widget("repairButton")->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(widget("keyPageButton")->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(WindowTest, StaysLightUnderADarkDesktopPalette)
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(20, 20, 20));
    QApplication::setPalette(dark);
    launch();
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor::fromRgbF(0.965f, 0.972f, 0.982f));
    EXPECT_EQ(app->window()->palette().color(QPalette::Window), QColor::fromRgbF(0.965f, 0.972f, 0.982f));
    const QImage picture = app->window()->grab().toImage();
    EXPECT_GT(qGray(picture.pixel(picture.width() - 10, picture.height() - 10)), 230);
}

TEST_F(WindowTest, TheLogoResourceIsShown)
{
    launch();
    const QImage logo = widget("logo")->grab().toImage();
    // The mark's blue background, not the stand-in icon.
    const QColor middle = logo.pixelColor(logo.width() / 8, logo.height() / 2);
    EXPECT_GT(middle.blue(), middle.red() + 40);
}
