#pragma once

#include <QProxyStyle>

class QAbstractScrollArea;

namespace ovra {

// The app's scroll bars: a slim rounded thumb on the view's own ground, with
// no arrow buttons. Drawn plainly: the default style's gradients and
// full-length lines go down Qt's slow raster path, which hands every frame of
// a scroll to its thread pool and waits.
class ScrollBarStyle : public QProxyStyle {
public:
    // Gives the area's scroll bars this look, kept in step with the theme.
    static void apply(QAbstractScrollArea* area);

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override;

private:
    ScrollBarStyle() = default;
    static ScrollBarStyle* instance();
};

} // namespace ovra
