#pragma once

#include "library/FileItem.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>

#include <array>

class QPainter;

namespace ovra {

// What a gallery card shows while there is no picture of a file's content: the
// file's icon (a spinner until the icon is known), an album cover for music, or
// a paper page for pictures, videos, documents and code. Drawn entirely from
// the item; every size is a share of the height offered to it.
class PlaceholderCover {
public:
    enum class Style { icon, album, paper };

    // `icon` is the file's icon when the thumbnail loader made one, else null.
    PlaceholderCover(const FileItem& item, const QImage& icon, double height);

    static Style styleFor(FileCategory category);
    // The symbol heading a paper page.
    static QString paperSymbol(FileCategory category);
    // The badge at the foot of a paper page: the extension in capitals, or
    // "FILE" for a name without one.
    static QString extensionBadge(const FileItem& item);
    // The title on an album cover: the display title without its ".ext".
    static QString albumTitle(const FileItem& item);
    // The two pastels of an album cover, picked by the file's name.
    static std::array<QColor, 2> albumColors(const QString& name);

    Style style() const { return m_style; }
    // The icon style without an icon shows a spinner here instead (the caller
    // owns the spinner, since it turns).
    bool showsSpinner() const { return m_style == Style::icon && m_icon.isNull(); }

    // Draws the cover centred in `rect` (whose height should be the one given
    // at construction). Icon covers without an icon draw nothing.
    void paint(QPainter& painter, const QRectF& rect) const;

    // In place of an icon that could not be found at all (the spinner would
    // otherwise turn for ever): the category's symbol, faint.
    static void paintMissingIcon(QPainter& painter, const QRectF& rect, FileCategory category,
                                 double height);

    // Where the cover's drawn shape lies in `rect`: the icon's box, the album's
    // square or the page's portrait rectangle.
    QRectF shapeRect(const QRectF& rect) const;

private:
    void paintIcon(QPainter& painter, const QRectF& rect) const;
    void paintAlbum(QPainter& painter, const QRectF& rect) const;
    void paintPaper(QPainter& painter, const QRectF& rect) const;

    FileItem m_item;
    QImage m_icon;
    double m_height;
    Style m_style;
};

} // namespace ovra
