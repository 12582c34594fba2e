#include "ThemeStyle.h"

#include "Symbols.h"
#include "Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QStyleOptionMenuItem>

namespace ovra {

namespace {

constexpr qreal kRadius = 8;
constexpr int kMinimumHeight = 30;
constexpr int kPaddingX = 14;
constexpr double kHoverOverlay = 0.04;
constexpr double kPressedOverlay = 0.09;
const char* const kRoleProperty = "ovraButtonRole";
const char* const kTintProperty = "ovraButtonTint";
const char* const kFollowsProperty = "ovraFollowsAppearance";

constexpr qreal kMenuRadius = 8;
constexpr int kMenuMargin = 5;
constexpr qreal kMenuRowRadius = 5;
constexpr double kMenuRowOpacity = 0.08;
constexpr int kSeparatorInset = 8;
// Tall enough that the line stands clear of the plate of a row pointed at.
constexpr int kSeparatorHeight = 9;
// Where the platform's menu puts a row's check box, which the check mark takes.
constexpr qreal kCheckColumnMin = 21;
constexpr qreal kCheckColumnShare = 0.79;
constexpr qreal kCheckInset = 7.5;
constexpr qreal kCheckMargin = 3.5;

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

QPainterPath menuOutline(const QRect& rect)
{
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect), kMenuRadius, kMenuRadius);
    return outline;
}

// The menu's card: filled to the edge, which the menu's mask rounds off.
void paintMenuPanel(const QStyleOption* option, QPainter* painter)
{
    painter->fillRect(option->rect, Theme::card());
}

void paintMenuFrame(const QStyleOption* option, QPainter* painter)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(Theme::line(), 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), kMenuRadius,
                             kMenuRadius);
    painter->restore();
}

void paintMenuSeparator(const QStyleOptionMenuItem* item, QPainter* painter)
{
    const QRect& r = item->rect;
    const qreal y = r.center().y() + 0.5;
    painter->save();
    painter->setPen(QPen(Theme::line(), 1));
    painter->drawLine(QPointF(r.left() + kSeparatorInset, y),
                      QPointF(r.right() - kSeparatorInset, y));
    painter->restore();
}

void paintMenuRowPlate(const QStyleOptionMenuItem* item, QPainter* painter)
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(withAlpha(Theme::primary(), kMenuRowOpacity));
    painter->drawRoundedRect(QRectF(item->rect), kMenuRowRadius, kMenuRowRadius);
    painter->restore();
}

void paintMenuCheck(const QStyleOptionMenuItem* item, QPainter* painter)
{
    const QRect& r = item->rect;
    const qreal column = std::max(r.height() * kCheckColumnShare,
                                  std::max<qreal>(item->maxIconWidth, kCheckColumnMin));
    const qreal side = column - 2 * kCheckMargin;
    const QRectF box(r.left() + kCheckInset, r.center().y() - side / 2 + 1, side, side);
    const QColor colour =
        item->state & QStyle::State_Enabled ? Theme::primary() : Theme::tertiary();
    Symbols::paint(*painter, QStringLiteral("checkmark"), box.adjusted(2, 2, -2, -2), colour);
}

// The row in the theme's colours: its text in the label tones on the card,
// whether pointed at or not, a plate showing the row pointed at.
QStyleOptionMenuItem themedRow(const QStyleOptionMenuItem& item)
{
    QStyleOptionMenuItem row = item;
    row.state &= ~QStyle::State_Selected;
    row.checkType = QStyleOptionMenuItem::NotCheckable;
    row.checked = false;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const QColor text = group == QPalette::Disabled ? Theme::tertiary() : Theme::primary();
        for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText,
                                         QPalette::HighlightedText})
            row.palette.setColor(group, role, text);
    }
    return row;
}

// Open message boxes draw their symbol again in the new look.
void followAppearance(QMessageBox* box)
{
    if (box->property(kFollowsProperty).toBool()) return;
    box->setProperty(kFollowsProperty, true);
    if (ThemeNotifier* notifier = Theme::notifier())
        QObject::connect(notifier, &ThemeNotifier::appearanceChanged, box, [box] {
            if (box->icon() != QMessageBox::NoIcon) box->setIcon(box->icon());
        });
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
    if (element == PE_PanelMenu) {
        paintMenuPanel(option, painter);
        return;
    }
    if (element == PE_FrameMenu) {
        paintMenuFrame(option, painter);
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
    if (element == CE_MenuItem) {
        if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
            if (item->menuItemType == QStyleOptionMenuItem::Separator) {
                paintMenuSeparator(item, painter);
                return;
            }
            if ((item->state & State_Selected) && (item->state & State_Enabled))
                paintMenuRowPlate(item, painter);
            const QStyleOptionMenuItem row = themedRow(*item);
            QProxyStyle::drawControl(element, &row, painter, widget);
            if (item->checkType != QStyleOptionMenuItem::NotCheckable && item->checked)
                paintMenuCheck(item, painter);
            return;
        }
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
    if (type == CT_MenuItem) {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        if (item && item->menuItemType == QStyleOptionMenuItem::Separator)
            return {size.width(), kSeparatorHeight};
    }
    if (type != CT_PushButton) return QProxyStyle::sizeFromContents(type, option, size, widget);
    return {size.width() + 2 * kPaddingX, std::max(size.height() + 10, kMinimumHeight)};
}

int ThemeStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                            const QWidget* widget) const
{
    switch (metric) {
    case PM_MenuPanelWidth: return 1;
    // Room between the rows' plates and the rounded edge.
    case PM_MenuHMargin:
    case PM_MenuVMargin: return kMenuMargin;
    default: return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

int ThemeStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                          QStyleHintReturn* returnData) const
{
    if (hint == SH_DialogButtonBox_ButtonsHaveIcons) return 0;
    if (hint == SH_Menu_Mask && option) {
        // A mask rounds the corners with or without a compositor.
        if (auto* mask = qstyleoption_cast<QStyleHintReturnMask*>(returnData))
            mask->region = QRegion(menuOutline(option->rect).toFillPolygon().toPolygon());
        return 1;
    }
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QIcon ThemeStyle::standardIcon(StandardPixmap icon, const QStyleOption* option,
                               const QWidget* widget) const
{
    switch (icon) {
    case SP_MessageBoxWarning:
        return Symbols::icon(QStringLiteral("exclamationmark.triangle"), &Theme::red);
    case SP_MessageBoxCritical:
        return Symbols::icon(QStringLiteral("xmark.circle.fill"), &Theme::red);
    case SP_MessageBoxInformation: return Symbols::icon(QStringLiteral("info.circle"), &Theme::ink);
    case SP_MessageBoxQuestion:
        return Symbols::icon(QStringLiteral("questionmark.circle"), &Theme::ink);
    default: return QProxyStyle::standardIcon(icon, option, widget);
    }
}

void ThemeStyle::polish(QWidget* widget)
{
    QProxyStyle::polish(widget);
    // Hover shades the plate, which needs the hover events.
    if (qobject_cast<QPushButton*>(widget)) widget->setAttribute(Qt::WA_Hover);
    if (auto* box = qobject_cast<QMessageBox*>(widget)) followAppearance(box);
}

} // namespace ovra
