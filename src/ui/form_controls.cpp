#include "ui/form_controls.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace FormControls {

QFont baseFont()
{
    QFont font;
    // A Japanese gothic first, so that the captions do not depend on whichever font fontconfig picks for
    // Japanese in a Latin default. Sized in pixels: the layout is in pixels, not points.
    font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL PGothic"), QStringLiteral("Sans Serif")});
    font.setPixelSize(12);
    return font;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry)
{
    auto* widget = place(new QLabel(caption, parent), name, geometry);
    widget->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return widget;
}

QLabel* label1(QWidget* parent, int index, const QString& caption, const QRect& geometry)
{
    return label(parent, QStringLiteral("Label1(%1)").arg(index), caption, geometry);
}

QLabel* twoLineLabel(QLabel* widget)
{
    widget->setWordWrap(true);
    return widget;
}

QLabel* displayLabel(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                     const QString& toolTip)
{
    auto* widget = place(new QLabel(caption, parent), name, geometry, toolTip);
    widget->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    widget->setLineWidth(1);
    widget->setAlignment(Qt::AlignCenter);
    widget->setTextInteractionFlags(Qt::NoTextInteraction);
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, QApplication::palette("QMenu").color(QPalette::Window));
    palette.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
    widget->setPalette(palette);
    return widget;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                    const QString& toolTip)
{
    auto* widget = place(new QPushButton(caption, parent), name, geometry, toolTip);
    widget->setAutoDefault(false);
    return widget;
}

QLineEdit* textBox(QWidget* parent, const QString& name, const QString& text, const QRect& geometry,
                   const QString& toolTip)
{
    return place(new QLineEdit(text, parent), name, geometry, toolTip);
}

QCheckBox* checkBox(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                    const QString& toolTip, bool checked)
{
    auto* widget = place(new QCheckBox(caption, parent), name, geometry, toolTip);
    widget->setChecked(checked);
    return widget;
}

OptionButton* optionButton(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                           const QString& toolTip, bool selected)
{
    auto* widget = place(new OptionButton(caption, parent), name, geometry, toolTip);
    widget->setValue(selected);
    return widget;
}

QGroupBox* frame(QWidget* parent, const QString& name, const QString& caption, const QRect& geometry,
                 const QString& toolTip)
{
    return place(new QGroupBox(caption, parent), name, geometry, toolTip);
}

void showCheck(QCheckBox* box, qint16 value)
{
    box->setChecked(value == 1);
}

qint16 checkValue(const QCheckBox* box)
{
    return box->isChecked() ? 1 : 0;
}

} // namespace FormControls
