#include "ThumbnailView.h"

#include "RoundedCorners.h"

#include "CategoryTile.h"
#include "PixelCopy.h"
#include "SoftShadow.h"
#include "Symbols.h"
#include "Theme.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

constexpr double kBackdropTopOpacity = 0.04;
constexpr double kBackdropBottomOpacity = 0.09;
constexpr double kPicturePaddingShare = 0.10;
constexpr double kPictureShadowOpacity = 0.18;
constexpr double kPictureShadowRadius = 3;
constexpr QPointF kPictureShadowOffset{0, 1};

// The picture resampled once, with a good filter, to the pixels it covers.
QImage resampled(const QImage& image, const QRect& source, QSizeF size, double ratio)
{
    const QSize pixels = (size * ratio).toSize().expandedTo(QSize(1, 1));
    QImage out = image.copy(source).scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    out.setDevicePixelRatio(ratio);
    return out;
}

// Scaled to fill the rectangle, the overflow cropped evenly off both sides.
void paintFilling(QPainter& painter, const QRectF& rect, const QImage& image, double ratio)
{
    const QSizeF imageSize = image.size();
    const double scale =
        std::max(rect.width() / imageSize.width(), rect.height() / imageSize.height());
    const QSizeF visible(rect.width() / scale, rect.height() / scale);
    const QRect source = QRectF(QPointF((imageSize.width() - visible.width()) / 2,
                                        (imageSize.height() - visible.height()) / 2),
                                visible)
                             .toAlignedRect()
                             .intersected(image.rect());
    drawPixelCopy(painter, rect.topLeft(), resampled(image, source, rect.size(), ratio));
}

// Fitted inside a padded area over a light backdrop, with a soft shadow.
void paintFitted(QPainter& painter, const QRectF& rect, const QImage& image, double ratio,
                 const QColor& primary)
{
    QLinearGradient backdrop(rect.topLeft(), rect.bottomLeft());
    backdrop.setColorAt(0, withAlpha(primary, kBackdropTopOpacity));
    backdrop.setColorAt(1, withAlpha(primary, kBackdropBottomOpacity));
    painter.fillRect(rect, backdrop);

    const double padding = rect.width() * kPicturePaddingShare;
    const QRectF area = rect.adjusted(padding, padding, -padding, -padding);
    if (area.isEmpty()) return;
    const QSizeF size = QSizeF(image.size()).scaled(area.size(), Qt::KeepAspectRatio);
    const QPointF topLeft = area.center() - QPointF(size.width() / 2, size.height() / 2);
    const QImage picture = resampled(image, image.rect(), size, ratio);
    SoftShadow{withAlpha(Qt::black, kPictureShadowOpacity), kPictureShadowRadius,
               kPictureShadowOffset}
        .paint(painter, picture, topLeft);
    drawPixelCopy(painter, topLeft, picture);
}

} // namespace

ThumbnailView::ThumbnailView(QWidget* parent)
    : ThumbnailView(Thumbnails::shared(), parent)
{
}

ThumbnailView::ThumbnailView(Thumbnails& loader, QWidget* parent)
    : QWidget(parent)
    , m_loader(loader)
{
}

ThumbnailView::~ThumbnailView() = default;

void ThumbnailView::setItem(const FileItem& item)
{
    // Items compare by path; a newer reading of the same file may differ in
    // category or name, which the tile shows.
    m_item = item;
    update();
}

void ThumbnailView::setCornerRadius(double radius)
{
    if (m_cornerRadius == radius) return;
    m_cornerRadius = radius;
    update();
}

QColor ThumbnailView::primaryColor() const
{
    return m_primary.value_or(palette().color(QPalette::WindowText));
}

void ThumbnailView::setPrimaryColor(const QColor& color)
{
    m_primary = color;
    update();
}

double ThumbnailView::side() const
{
    return std::max(width(), height());
}

std::optional<Thumbnail> ThumbnailView::shownThumbnail() const
{
    const qint64 version = Thumbnails::version(m_item.modified);
    if (m_thumb && m_thumb->path == m_item.path && m_thumb->version == version) return m_thumb;
    return m_loader.cached(m_item.path, side(), version);
}

// One load per item and bucket: a new item or a size in another bucket
// cancels the running load and starts another; a size change within the
// bucket keeps it.
void ThumbnailView::ensureLoad()
{
    const qint64 version = Thumbnails::version(m_item.modified);
    const QString key = Thumbnails::cacheKey(Thumbnails::bucket(side()), m_item.path, version);
    if (m_load.key() == key) return;
    if (!(side() > 0) || m_item.path.isEmpty()) {
        m_load.cancel(); // nothing to show a picture in
        return;
    }
    m_load.run(
        key, [this, version] { return m_loader.load(m_item.path, side(), version); },
        [this](const Thumbnail& thumbnail) {
            m_thumb = thumbnail;
            update();
        });
}

void ThumbnailView::cancelLoad()
{
    m_load.cancel();
}

QString ThumbnailView::renderKey(const std::optional<Thumbnail>& thumbnail) const
{
    // Joined, not formatted with arg(): a path may itself contain "%1".
    const QString picture =
        thumbnail ? QString::number(thumbnail->image.cacheKey()) + (thumbnail->isIcon ? u'i' : u'p')
                  : QStringLiteral("none");
    const QChar separator(u'|');
    // A category tile drawn before the symbols' artwork was read lacks its symbol.
    const QChar symbols = Symbols::isLoaded() ? u's' : u'-';
    return picture + separator + m_item.path + separator + QString::number(int(m_item.category)) +
           separator + QString::number(width()) + u'x' + QString::number(height()) + u'@' +
           QString::number(devicePixelRatioF()) + separator + QString::number(m_cornerRadius) +
           separator + QString::number(primaryColor().rgba()) + separator + symbols;
}

QPixmap ThumbnailView::render(const std::optional<Thumbnail>& thumbnail) const
{
    const double ratio = devicePixelRatioF();
    QPixmap pixmap((QSizeF(size()) * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const QRectF rect(QPointF(0, 0), QSizeF(size()));
    paintContent(painter, rect, m_item, thumbnail, primaryColor());
    cutCornersRound(painter, rect, m_cornerRadius);
    return pixmap;
}

void ThumbnailView::paintContent(QPainter& painter, const QRectF& rect, const FileItem& item,
                                 const std::optional<Thumbnail>& thumbnail, const QColor& primary)
{
    if (rect.isEmpty()) return;
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const double ratio = painter.device()->devicePixelRatioF();
    if (thumbnail && !thumbnail->isIcon && !thumbnail->image.isNull()) {
        painter.setClipRect(rect);
        if (fillsTile(item.category))
            paintFilling(painter, rect, thumbnail->image, ratio);
        else
            paintFitted(painter, rect, thumbnail->image, ratio, primary);
    } else {
        painter.translate(rect.topLeft());
        CategoryTile(item, thumbnail ? thumbnail->image : QImage(), rect.size())
            .paint(painter, primary);
    }
    painter.restore();
}

void ThumbnailView::paintEvent(QPaintEvent*)
{
    ensureLoad();
    if (!m_awaitsSymbols && !Symbols::isLoaded()) {
        m_awaitsSymbols = true;
        Symbols::whenLoaded(this, [this] {
            m_awaitsSymbols = false;
            update();
        });
    }
    const std::optional<Thumbnail> thumbnail = shownThumbnail();
    const QString key = renderKey(thumbnail);
    if (key != m_renderedKey) {
        m_rendered = render(thumbnail);
        m_renderedKey = key;
    }
    QPainter(this).drawPixmap(0, 0, m_rendered);
}

void ThumbnailView::hideEvent(QHideEvent* event)
{
    // Off screen, the picture is no longer urgent: the next paint asks again.
    cancelLoad();
    QWidget::hideEvent(event);
}

void ThumbnailView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

} // namespace ovra
