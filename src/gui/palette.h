#pragma once

#include <QColor>
#include <QPalette>

// The window's fixed light colours, whatever the desktop's theme.
namespace palette {

QColor bgColor();
QColor separatorColor();
QColor titleColor();
QColor labelColor();
QColor bodyColor();

QColor disabledFill();
QColor fieldBorder();

QColor systemBlue();
QColor systemGreen();
QColor systemRed();
QColor systemOrange();

// Fusion's light palette with our background.
QPalette light();

} // namespace palette
