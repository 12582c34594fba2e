#pragma once

#include "library/FileItem.h"
#include "platform/KeyedTask.h"
#include "services/Thumbnails.h"

#include <QColor>
#include <QPixmap>
#include <QWidget>

#include <optional>

namespace ovra {

// One file as a rounded picture filling the widget: its thumbnail, laid out by
// the kind of file, or its category tile while there is no picture of its
// content. The picture is asked for only once the view is painted, so the
// files on screen come first; a view that is hidden or shows another file
// cancels its request.
class ThumbnailView : public QWidget {
    Q_OBJECT
public:
    explicit ThumbnailView(QWidget* parent = nullptr);
    // With another loader than the shared one (tests).
    explicit ThumbnailView(Thumbnails& loader, QWidget* parent = nullptr);
    ~ThumbnailView() override;

    const FileItem& item() const { return m_item; }
    void setItem(const FileItem& item);
    double cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(double radius);
    // The theme's primary (text) colour, which the light backdrops are mixed
    // from; the palette's text colour until one is set.
    QColor primaryColor() const;
    void setPrimaryColor(const QColor& color);

    // The picture shown now: the one this view loaded when it is of the
    // current item, else what the cache holds for the item at this size.
    std::optional<Thumbnail> shownThumbnail() const;
    // The bucket and path of the load started for the current item and size
    // (as the cache keys them); empty while none was started.
    QString loadKey() const { return m_load.key().value_or(QString()); }

    // Draws the content for a thumbnail (none while there is none) into
    // `rect`, unclipped: the picture filling the tile for pictures, videos and
    // songs; fitted on a light backdrop for other files; else the category
    // tile. For delegates that draw many files without a widget each.
    static void paintContent(QPainter& painter, const QRectF& rect, const FileItem& item,
                             const std::optional<Thumbnail>& thumbnail, const QColor& primary);

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    double side() const;
    void ensureLoad();
    void cancelLoad();
    QPixmap render(const std::optional<Thumbnail>& thumbnail) const;
    QString renderKey(const std::optional<Thumbnail>& thumbnail) const;

    Thumbnails& m_loader;
    FileItem m_item;
    double m_cornerRadius = 0;
    std::optional<QColor> m_primary;
    // The last picture a load of this view delivered, whichever item it was for.
    std::optional<Thumbnail> m_thumb;
    // Delivers the load's result on the GUI thread, never a stale one and never
    // after the view is gone.
    KeyedTask<QString> m_load;
    // The drawn content, kept until the picture, size or colours change.
    QPixmap m_rendered;
    QString m_renderedKey;
    // Drawn again once the symbols' artwork has been read: a category tile
    // drawn before lacks its symbol.
    bool m_awaitsSymbols = false;
};

} // namespace ovra
