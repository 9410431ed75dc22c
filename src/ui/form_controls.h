#pragma once

#include "ui/controls.h"

#include <QFont>
#include <QRect>
#include <QString>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The window's controls as its pages and the IPv6 window build them: placed in pixels, named after their
// role, in the look of the rest.
namespace FormControls {

// The window's font: a Japanese gothic, sized in pixels.
QFont baseFont();

template <class W> W* place(W* widget, const QString& name, const QRect& geometry, const QString& toolTip = {})
{
    widget->setObjectName(name);
    widget->setGeometry(geometry);
    if (!toolTip.isEmpty())
        widget->setToolTip(toolTip);
    return widget;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry);
QLabel* label1(QWidget* parent, int index, const QString& caption, const QRect& geometry);
QLabel* twoLineLabel(QLabel* widget);
// The look of the labels that programs write: single border, centred, on the menu colour.
QLabel* displayLabel(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                     const QString& toolTip = {});
QPushButton* button(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                    const QString& toolTip);
QLineEdit* textBox(QWidget* parent, const QString& name, const QString& text, const QRect& geometry,
                   const QString& toolTip = {});
QCheckBox* checkBox(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                    const QString& toolTip, bool checked);
OptionButton* optionButton(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                           const QString& toolTip, bool selected);
QGroupBox* frame(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                 const QString& toolTip = {});

// Check-box values are 0 or 1; anything else a hand-edited file may hold shows as off.
void showCheck(QCheckBox* box, qint16 value);
qint16 checkValue(const QCheckBox* box);

} // namespace FormControls
