#pragma once

#include <QPainterPath>
#include <QRectF>

namespace ovra {

// The outline of a folder with its tab at the top left: the folder cards fill
// and stroke it. Nothing is clamped; the caller picks values that fit the
// rectangle.
struct FolderShape {
    qreal tabWidthFraction; // the tab's width as a fraction of the rectangle's width
    qreal tabHeight;        // how far the body's top edge lies below the tab's
    qreal radius;           // corner size

    // The shoulder from the tab down to the body is always this wide, centred on
    // the tab's width.
    static constexpr qreal kShoulderWidth = 28;

    QPainterPath path(const QRectF& rect) const;

    friend bool operator==(const FolderShape&, const FolderShape&) = default;
};

} // namespace ovra
