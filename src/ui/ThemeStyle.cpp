#include "ThemeStyle.h"

#include "Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionButton>

namespace ovra {

namespace {

constexpr qreal kRadius = 8;
constexpr int kMinimumHeight = 30;
constexpr int kPaddingX = 14;
constexpr double kHoverOverlay = 0.04;
constexpr double kPressedOverlay = 0.09;
const char* const kRoleProperty = "ovraButtonRole";
const char* const kTintProperty = "ovraButtonTint";

ThemeStyle::ButtonRole roleOf(const QWidget* widget)
{
    return widget &&
                   widget->property(kRoleProperty).toInt() == int(ThemeStyle::ButtonRole::prominent)
               ? ThemeStyle::ButtonRole::prominent
               : ThemeStyle::ButtonRole::bordered;
}

QColor tintOf(const QWidget* widget)
{
    const QColor tint = widget ? widget->property(kTintProperty).value<QColor>() : QColor();
    return tint.isValid() ? tint : Theme::ink();
}

// The plate's colour with the state's shade of the text colour laid over it.
QColor shaded(const QColor& plate, const QStyleOption* option)
{
    double overlay = 0;
    if (option->state & QStyle::State_Sunken)
        overlay = kPressedOverlay;
    else if (option->state & QStyle::State_MouseOver)
        overlay = kHoverOverlay;
    const QColor over = Theme::isDark() ? QColor(Qt::white) : QColor(Qt::black);
    return QColor::fromRgbF(float(plate.redF() * (1 - overlay) + over.redF() * overlay),
                            float(plate.greenF() * (1 - overlay) + over.greenF() * overlay),
                            float(plate.blueF() * (1 - overlay) + over.blueF() * overlay),
                            plate.alphaF());
}

bool isChecked(const QStyleOption* option)
{
    return option->state & QStyle::State_On;
}

QColor labelColour(const QStyleOption* option, const QWidget* widget)
{
    if (!(option->state & QStyle::State_Enabled)) return Theme::tertiary();
    if (roleOf(widget) == ThemeStyle::ButtonRole::prominent) return Qt::white;
    return isChecked(option) ? Theme::bg() : Theme::primary();
}

void paintPlate(const QStyleOption* option, QPainter* painter, const QWidget* widget)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF plate = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
    if (roleOf(widget) == ThemeStyle::ButtonRole::prominent) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(shaded(tintOf(widget), option));
    } else if (isChecked(option)) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(shaded(Theme::ink(), option));
    } else {
        painter->setPen(QPen(Theme::line(), 1));
        painter->setBrush(shaded(Theme::card(), option));
    }
    painter->drawRoundedRect(plate, kRadius, kRadius);
    painter->restore();
}

} // namespace

ThemeStyle::ThemeStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
}

void ThemeStyle::install()
{
    if (!qobject_cast<ThemeStyle*>(QApplication::style())) QApplication::setStyle(new ThemeStyle);
}

void ThemeStyle::setButtonRole(QAbstractButton* button, ButtonRole role, QColor tint)
{
    button->setProperty(kRoleProperty, int(role));
    button->setProperty(kTintProperty, tint);
    button->update();
}

void ThemeStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const
{
    if (element == PE_PanelButtonCommand || element == PE_PanelButtonBevel) {
        paintPlate(option, painter, widget);
        return;
    }
    // The plate's own colours show the state; a focus frame over them is noise.
    if (element == PE_FrameFocusRect && qobject_cast<const QPushButton*>(widget)) return;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

void ThemeStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const
{
    if (element == CE_PushButtonBevel) {
        paintPlate(option, painter, widget);
        return;
    }
    if (element == CE_PushButtonLabel) {
        if (const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option)) {
            QStyleOptionButton label = *button;
            const QColor colour = labelColour(option, widget);
            label.palette.setColor(QPalette::ButtonText, colour);
            label.palette.setColor(QPalette::BrightText, colour);
            // Drawn as a plain label: no shift of a pressed bevel.
            label.state &= ~(State_Sunken | State_On);
            QProxyStyle::drawControl(element, &label, painter, widget);
            return;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

QSize ThemeStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                   const QWidget* widget) const
{
    if (type != CT_PushButton) return QProxyStyle::sizeFromContents(type, option, size, widget);
    return {size.width() + 2 * kPaddingX, std::max(size.height() + 10, kMinimumHeight)};
}

void ThemeStyle::polish(QWidget* widget)
{
    QProxyStyle::polish(widget);
    // Hover shades the plate, which needs the hover events.
    if (qobject_cast<QPushButton*>(widget)) widget->setAttribute(Qt::WA_Hover);
}

} // namespace ovra
