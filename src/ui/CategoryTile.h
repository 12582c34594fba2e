#pragma once

#include "library/FileItem.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

namespace ovra {

// The placeholder for a file without a picture of its content: for apps,
// folders and other files with a known icon, the icon on a quiet backdrop;
// otherwise the category's gradient with its symbol and, on tiles wide enough,
// a badge with the file's extension.
class CategoryTile {
public:
    // `icon` is the file's icon when one is known, else a null image.
    CategoryTile(const FileItem& item, const QImage& icon, QSizeF size);

    // Where everything goes, in the tile's coordinates.
    struct Layout {
        bool showsIcon = false; // the icon layer; otherwise the symbol layer
        QRectF iconRect;        // icon layer: the area the icon is fitted into
        QRectF symbolRect;      // symbol layer: the symbol's square
        bool hasBadge = false;
        QRectF badgeRect;  // the capsule
        QString badgeText; // the extension, uppercased, elided to fit
        QFont badgeFont;
    };
    Layout layout() const;

    // Draws the tile with its top-left corner at the painter's origin.
    // `primary` is the theme's primary (text) colour, which the icon backdrop is
    // mixed from. GUI thread only. Until the symbols' artwork has been read
    // (Symbols::isLoaded) the tile is drawn without its symbol: its painter
    // draws it again once it has (Symbols::whenLoaded).
    void paint(QPainter& painter, const QColor& primary) const;

    // The category's symbol (a name of Symbols).
    static QString symbolName(FileCategory category);

private:
    void paintIconLayer(QPainter& painter, const Layout& layout, const QColor& primary) const;
    void paintSymbolLayer(QPainter& painter, const Layout& layout) const;
    QImage symbolStack(const Layout& layout, double ratio) const;
    QImage makeSymbolStack(const Layout& layout, double ratio, bool withSymbol) const;

    FileCategory m_category;
    QString m_extension;
    QImage m_icon;
    QSizeF m_size;
};

} // namespace ovra
