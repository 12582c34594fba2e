#include "ScrollBarStyle.h"

#include "Theme.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyleOptionSlider>

#include <algorithm>

namespace ovra {
namespace {

constexpr int kExtent = 12;
constexpr int kMinThumb = 28;
constexpr double kThumbWidth = 6;
constexpr double kThumbWidthActive = 8;
constexpr double kThumbOpacity = 0.28;
constexpr double kThumbOpacityActive = 0.45;

} // namespace

ScrollBarStyle* ScrollBarStyle::instance()
{
    // One for the whole app, gone with the application object.
    static QPointer<ScrollBarStyle> style;
    if (!style) {
        style = new ScrollBarStyle;
        style->setParent(qApp);
    }
    return style.data();
}

void ScrollBarStyle::apply(QAbstractScrollArea* area)
{
    for (QScrollBar* bar : {area->verticalScrollBar(), area->horizontalScrollBar()}) {
        bar->setStyle(instance());
        if (ThemeNotifier* notifier = Theme::notifier())
            QObject::connect(notifier, &ThemeNotifier::appearanceChanged, bar,
                             qOverload<>(&QWidget::update));
    }
}

int ScrollBarStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                const QWidget* widget) const
{
    if (metric == PM_ScrollBarExtent) return kExtent;
    if (metric == PM_ScrollBarSliderMin) return kMinThumb;
    return QProxyStyle::pixelMetric(metric, option, widget);
}

QRect ScrollBarStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                     SubControl sub, const QWidget* widget) const
{
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar)
        return QProxyStyle::subControlRect(control, option, sub, widget);
    const QRect r = bar->rect;
    const bool vertical = bar->orientation == Qt::Vertical;
    const int length = vertical ? r.height() : r.width();
    const qint64 range = qint64(bar->maximum) - bar->minimum;
    int thumb = range > 0 ? int(qint64(length) * bar->pageStep / (range + bar->pageStep)) : length;
    thumb = std::clamp(thumb, std::min(length, kMinThumb), std::max(0, length));
    const int start = sliderPositionFromValue(bar->minimum, bar->maximum, bar->sliderPosition,
                                              length - thumb, bar->upsideDown);
    const auto span = [&](int from, int extent) {
        return vertical ? QRect(r.x(), r.y() + from, r.width(), extent)
                        : QRect(r.x() + from, r.y(), extent, r.height());
    };
    switch (sub) {
    case SC_ScrollBarSlider: return span(start, thumb);
    case SC_ScrollBarSubPage: return span(0, start);
    case SC_ScrollBarAddPage: return span(start + thumb, length - start - thumb);
    case SC_ScrollBarGroove: return r;
    default: return {}; // no arrow buttons
    }
}

void ScrollBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                        QPainter* painter, const QWidget* widget) const
{
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // No groove: the view's own ground shows through.
    if (bar->maximum <= bar->minimum) return;
    const bool active =
        (bar->state & State_Sunken) ||
        ((bar->state & State_MouseOver) && (bar->activeSubControls & SC_ScrollBarSlider));
    const double width = active ? kThumbWidthActive : kThumbWidth;
    const QRectF slot = subControlRect(control, option, SC_ScrollBarSlider, widget);
    const bool vertical = bar->orientation == Qt::Vertical;
    const QRectF thumb =
        vertical ? QRectF(slot.center().x() - width / 2, slot.top() + 2, width, slot.height() - 4)
                 : QRectF(slot.left() + 2, slot.center().y() - width / 2, slot.width() - 4, width);
    QColor colour = Theme::primary();
    colour.setAlphaF(float(active ? kThumbOpacityActive : kThumbOpacity));
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(colour);
    painter->drawRoundedRect(thumb, width / 2, width / 2);
    painter->restore();
}

} // namespace ovra
