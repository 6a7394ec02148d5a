#include "gui/palette.h"

namespace palette {

QColor bgColor() { return QColor::fromRgbF(0.965f, 0.972f, 0.982f); }
QColor separatorColor() { return QColor::fromRgbF(0.875f, 0.89f, 0.914f); }
QColor titleColor() { return QColor::fromRgbF(0.075f, 0.09f, 0.12f); }
QColor labelColor() { return QColor::fromRgbF(0.125f, 0.145f, 0.175f); }
QColor bodyColor() { return QColor::fromRgbF(0.435f, 0.47f, 0.535f); }

QColor disabledFill() { return QColor::fromRgbF(0.62f, 0.63f, 0.66f); }
QColor fieldBorder() { return QColor::fromRgbF(0.735f, 0.765f, 0.815f); }

QColor systemBlue() { return QColor(0, 122, 255); }
QColor systemGreen() { return QColor(52, 199, 89); }
QColor systemRed() { return QColor(255, 59, 48); }
QColor systemOrange() { return QColor(255, 149, 0); }

QPalette light()
{
    QPalette colours;
    colours.setColor(QPalette::Window, bgColor());
    colours.setColor(QPalette::WindowText, titleColor());
    colours.setColor(QPalette::Base, Qt::white);
    colours.setColor(QPalette::AlternateBase, QColor(245, 245, 245));
    colours.setColor(QPalette::Text, titleColor());
    colours.setColor(QPalette::PlaceholderText, QColor(160, 165, 175));
    colours.setColor(QPalette::Button, QColor(252, 252, 253));
    colours.setColor(QPalette::ButtonText, titleColor());
    colours.setColor(QPalette::BrightText, Qt::white);
    colours.setColor(QPalette::Highlight, systemBlue());
    colours.setColor(QPalette::HighlightedText, Qt::white);
    colours.setColor(QPalette::ToolTipBase, Qt::white);
    colours.setColor(QPalette::ToolTipText, titleColor());
    colours.setColor(QPalette::Light, Qt::white);
    colours.setColor(QPalette::Midlight, QColor(227, 229, 233));
    colours.setColor(QPalette::Mid, QColor(190, 194, 201));
    colours.setColor(QPalette::Dark, QColor(160, 164, 171));
    colours.setColor(QPalette::Shadow, QColor(110, 113, 120));
    colours.setColor(QPalette::Link, systemBlue());
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        colours.setColor(QPalette::Disabled, role, QColor(160, 164, 171));
    return colours;
}

} // namespace palette
