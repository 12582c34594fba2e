#pragma once

#include "library/FileItem.h"
#include "platform/KeyedTask.h"
#include "services/Thumbnails.h"

#include <QObject>
#include <QPixmap>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

class QPainter;

namespace ovra {

// The picture area of a gallery card: the file's thumbnail fitted without
// cropping into the space the card offers, or its placeholder cover while
// there is no picture of its content. Not a widget of its own: the card draws
// it beneath its badges and buttons. What it draws is rendered once and kept
// in the shared pixmap cache, so a card re-pointed at a file shown before,
// as when scrolling back, draws one pixmap.
//
// It loads through the shared loader at the bucket of the offered size, only
// while its card is shown: a new file, a size in another bucket or hiding
// cancels the request, and a picture loaded for another file is never drawn.
class CardThumbnail : public QObject {
    Q_OBJECT
public:
    explicit CardThumbnail(Thumbnails& loader, QObject* parent = nullptr);
    ~CardThumbnail() override;

    const FileItem& item() const { return m_item; }
    void setItem(const FileItem& item);
    // The space offered, in device-independent pixels.
    QSizeF size() const { return m_size; }
    void setSize(QSizeF size);
    // Whether the card is on screen: asks for the picture when it becomes so,
    // and drops the request when it stops being so.
    void setActive(bool active);

    // The picture shown now: the one loaded for this very file, else the
    // cache's picture of the file at this size or larger; none otherwise.
    std::optional<Thumbnail> shownThumbnail() const;
    // Whether the content is a picture of the file rather than a cover.
    bool showsPicture() const;
    // Whether the cover would show its spinner (an icon cover without icon).
    bool showsSpinner() const;
    // The bucket and path of the running request; empty while none runs.
    QString loadKey() const { return m_load.key().value_or(QString()); }

    // A list of cards scrolled or was filled anew: for a moment, new
    // renderings are spread over the turns of the event loop instead of all
    // made in one frame.
    static void noteListMoved();

    // While its card is hovered, the content grows about its centre and lifts.
    static constexpr double kHoverScale = 1.03;
    static constexpr double kHoverLift = 2;

    // Draws the content in `rect` (of the offered size) at `hoverProgress`
    // (0 at rest, 1 fully hovered), with the play badge of a video picture at
    // `badgeOpacity` (0 for none).
    void paint(QPainter& painter, const QRectF& rect, double hoverProgress,
               double badgeOpacity) const;

signals:
    // What is shown has changed: a picture arrived.
    void changed();

private:
    struct Rendering {
        QString key;
        QPixmap pixmap;
    };

    double side() const;
    void ensureLoad();
    void cancelLoad();
    QString renderKey(const std::optional<Thumbnail>& thumbnail, double scale, double ratio) const;
    QPixmap render(const std::optional<Thumbnail>& thumbnail, double scale, double ratio) const;
    // None when this turn may render no more; the card is asked to paint again.
    const QPixmap* rendering(const std::optional<Thumbnail>& thumbnail, double scale,
                             double ratio) const;

    Thumbnails& m_loader;
    FileItem m_item;
    QSizeF m_size;
    bool m_active = false;
    // The last picture a request delivered; cleared when the file changes.
    std::optional<Thumbnail> m_thumb;
    KeyedTask<QString> m_load;
    // The drawn content at rest and at full hover scale; in between, the one
    // at rest is scaled as it is drawn.
    mutable Rendering m_atRest;
    mutable Rendering m_hovered;
};

} // namespace ovra
