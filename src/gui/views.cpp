#include "gui/views.h"

#include "gui/palette.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>

QFont systemFont(int points, QFont::Weight weight)
{
    QFont font = QApplication::font();
    font.setPixelSize(points); // the layout is in points: one point is one logical pixel
    font.setWeight(weight);
    return font;
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette colours = widget->palette();
    colours.setColor(QPalette::WindowText, colour);
    widget->setPalette(colours);
}

RoundedView::RoundedView(const QColor& fill, qreal radius, const QColor& border, qreal borderWidth, QWidget* parent)
    : QWidget(parent), m_fill(fill), m_radius(radius), m_border(border), m_borderWidth(borderWidth)
{
}

void RoundedView::setFillColor(const QColor& fill)
{
    m_fill = fill;
    update();
}

void RoundedView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal inset = m_borderWidth / 2;
    const QRectF box = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    painter.setPen(m_borderWidth > 0 ? QPen(m_border, m_borderWidth) : QPen(Qt::NoPen));
    painter.setBrush(m_fill);
    painter.drawRoundedRect(box, m_radius, m_radius);
}

PrimaryButton::PrimaryButton(const QString& title, QWidget* parent) : QPushButton(title, parent)
{
    setFont(systemFont(15, QFont::DemiBold));
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
}

QColor PrimaryButton::backgroundColor() const
{
    return isEnabled() ? palette::systemBlue() : palette::disabledFill();
}

void PrimaryButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = backgroundColor();
    if (isDown())
        fill = fill.darker(115);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()), 10, 10);
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}

SecondaryButton::SecondaryButton(const QString& title, QWidget* parent) : QPushButton(title, parent)
{
    setFont(systemFont(13, QFont::Medium));
    setAutoDefault(false);
}

LinkButton::LinkButton(const QString& title, const QColor& colour, QWidget* parent) : QPushButton(title, parent)
{
    setFlat(true);
    setFont(systemFont(12, QFont::Medium));
    QPalette colours = palette();
    colours.setColor(QPalette::ButtonText, colour);
    setPalette(colours);
    setCursor(Qt::PointingHandCursor);
    setAutoDefault(false);
}

void LinkButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QColor colour = palette().color(QPalette::ButtonText);
    if (!isEnabled())
        colour.setAlphaF(0.45f);
    painter.setPen(colour);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
}

QSize LinkButton::sizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(text()) + 2, metrics.height() + 4);
}

BackgroundView::BackgroundView(QWidget* parent) : QWidget(parent) {}

void BackgroundView::paintEvent(QPaintEvent*)
{
    QPainter(this).fillRect(rect(), palette::bgColor());
}

void BackgroundView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_grabOffset = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void BackgroundView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        window()->move(event->globalPosition().toPoint() - m_grabOffset);
}

QString ElidingLabel::displayedText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, width());
}

void ElidingLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, displayedText());
}

QString KeyField::displayedText() const
{
    if (hasFocus())
        return displayText();
    return fontMetrics().elidedText(displayText(), Qt::ElideMiddle, width() - 4);
}

void KeyField::paintEvent(QPaintEvent* event)
{
    const QString shown = displayedText();
    if (shown == displayText()) { // focused, or short enough to show whole
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    painter.drawText(rect().adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, shown);
}

SegmentedControl::SegmentedControl(const QString& first, const QString& second, QWidget* parent) : QWidget(parent)
{
    const QString titles[2] = {first, second};
    for (int segment = 0; segment < 2; ++segment) {
        auto* button = new QPushButton(titles[segment], this);
        button->setCheckable(true);
        button->setAutoDefault(false);
        button->setFont(systemFont(14, QFont::Medium));
        m_group.addButton(button, segment);
        m_buttons[segment] = button;
    }
    m_group.setExclusive(true);
    // Separated segments; the chosen one is outlined in the accent colour.
    setStyleSheet(QStringLiteral(
        "QPushButton { background: rgb(238, 241, 245); border: 1px solid rgb(188, 195, 208); border-radius: 8px;"
        " color: rgb(32, 37, 45); }"
        "QPushButton:checked { background: white; border: 2px solid rgb(0, 122, 255); color: rgb(0, 122, 255); }"
        "QPushButton:disabled { color: rgb(160, 164, 171); }"
        "QPushButton:checked:disabled { border-color: rgb(160, 164, 171); }"));
    // clicked is only emitted for the user's own clicks, not for setChecked.
    connect(&m_group, &QButtonGroup::idClicked, this, &SegmentedControl::changedByUser);
}

int SegmentedControl::selectedSegment() const { return m_group.checkedId(); }

void SegmentedControl::setSelectedSegment(int segment)
{
    if (segment >= 0 && segment < 2)
        m_buttons[segment]->setChecked(true);
}

QPushButton* SegmentedControl::segmentButton(int segment) const { return m_buttons[segment]; }

void SegmentedControl::resizeEvent(QResizeEvent*)
{
    // Separated segments sharing the width, 8 points apart.
    const int gap = 8;
    const int half = (width() - gap) / 2;
    m_buttons[0]->setGeometry(0, 0, half, height());
    m_buttons[1]->setGeometry(width() - half, 0, half, height());
}
