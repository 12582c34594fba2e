#include "CardThumbnail.h"

#include "CardPainting.h"
#include "PlaceholderCover.h"
#include "desktop/IconTheme.h"
#include "ui/PixelCopy.h"
#include "ui/RoundedCorners.h"
#include "ui/SoftShadow.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QPainter>
#include <QPixmapCache>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

constexpr double kPictureRadius = 6;
const SoftShadow kPictureShadow{QColor(0, 0, 0, 46), 6, QPointF(0, 3)}; // black at 18 %
constexpr double kBadgeSide = 36;
constexpr double kBadgeSymbolSize = 13;
constexpr double kBadgeOpacity = 0.45;
// Room around the content for the shadows of pictures and covers, and for the
// content grown on hover.
constexpr double kRenderMargin = 20;

// The picture resampled once to the pixels it covers, its corners cut round.
QImage roundedPicture(const QImage& image, QSizeF size, double ratio, double radius)
{
    const QSize pixels = (size * ratio).toSize().expandedTo(QSize(1, 1));
    QImage out = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(ratio);
    QPainter painter(&out);
    cutCornersRound(painter, QRectF(QPointF(0, 0), QSizeF(pixels) / ratio), radius);
    painter.end();
    return out;
}

} // namespace

CardThumbnail::CardThumbnail(Thumbnails& loader, QObject* parent)
    : QObject(parent)
    , m_loader(loader)
{
    // Icons of files without a picture are drawn from the desktop's theme on
    // the loader's threads, which cannot ask Qt for its name.
    IconTheme::setDesktopTheme(QIcon::themeName());
}

CardThumbnail::~CardThumbnail() = default;

void CardThumbnail::setItem(const FileItem& item)
{
    // A file rewritten in place is another picture too.
    const bool otherFile = item.path != m_item.path || item.modified != m_item.modified;
    m_item = item;
    if (otherFile) {
        cancelLoad();
        m_thumb.reset();
    }
    ensureLoad();
}

void CardThumbnail::setSize(QSizeF size)
{
    if (size == m_size) return;
    m_size = size;
    ensureLoad();
}

void CardThumbnail::setActive(bool active)
{
    if (active == m_active) return;
    m_active = active;
    if (active)
        ensureLoad();
    else
        cancelLoad();
}

double CardThumbnail::side() const
{
    return std::max(m_size.width(), m_size.height());
}

std::optional<Thumbnail> CardThumbnail::shownThumbnail() const
{
    if (m_item.path.isEmpty()) return std::nullopt;
    const qint64 version = Thumbnails::version(m_item.modified);
    if (m_thumb && m_thumb->path == m_item.path && m_thumb->version == version) return m_thumb;
    if (!(side() > 0)) return std::nullopt;
    return m_loader.cached(m_item.path, side(), version);
}

bool CardThumbnail::showsPicture() const
{
    const std::optional<Thumbnail> thumbnail = shownThumbnail();
    return thumbnail && !thumbnail->isIcon && !thumbnail->image.isNull();
}

bool CardThumbnail::showsSpinner() const
{
    if (m_item.path.isEmpty()) return false;
    const std::optional<Thumbnail> thumbnail = shownThumbnail();
    // A finished request without even an icon stops the spinner.
    if (thumbnail) return false;
    return PlaceholderCover::styleFor(m_item.category) == PlaceholderCover::Style::icon;
}

// One request per file and bucket: a size change within the bucket keeps the
// running one.
void CardThumbnail::ensureLoad()
{
    if (!m_active || !(side() > 0) || m_item.path.isEmpty()) return;
    const QString path = m_item.path;
    const double wanted = side();
    const qint64 version = Thumbnails::version(m_item.modified);
    m_load.run(
        Thumbnails::cacheKey(Thumbnails::bucket(wanted), path, version),
        [this, &path, wanted, version] { return m_loader.load(path, wanted, version); },
        [this](const Thumbnail& thumbnail) {
            // The key names the file, so the answer is this file's.
            m_thumb = thumbnail;
            emit changed();
        });
}

void CardThumbnail::cancelLoad()
{
    m_load.cancel();
}

QString CardThumbnail::renderKey(const std::optional<Thumbnail>& thumbnail, double scale,
                                 double ratio) const
{
    // Joined, not formatted with arg(): a path may itself contain "%1".
    const QChar separator(u'|');
    const QString picture =
        thumbnail ? QString::number(thumbnail->image.cacheKey()) + (thumbnail->isIcon ? u'i' : u'p')
                  : QStringLiteral("none");
    return picture + separator + m_item.path + separator + m_item.name + separator +
           m_item.displayTitle() + separator + m_item.artist.value_or(QString()) + separator +
           QString::number(int(m_item.category)) + separator + QString::number(m_size.width()) +
           u'x' + QString::number(m_size.height()) + u'@' + QString::number(ratio) + separator +
           QString::number(scale) + separator + (Theme::isDark() ? u'd' : u'l');
}

QPixmap CardThumbnail::render(const std::optional<Thumbnail>& thumbnail, double scale,
                              double ratio) const
{
    const QSizeF logical = m_size + QSizeF(2 * kRenderMargin, 2 * kRenderMargin);
    QPixmap pixmap((logical * ratio).toSize());
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    const QRectF content(QPointF(kRenderMargin, kRenderMargin), m_size);
    painter.translate(content.center());
    painter.scale(scale, scale);
    painter.translate(-content.center());

    if (thumbnail && !thumbnail->isIcon && !thumbnail->image.isNull()) {
        const QImage& image = thumbnail->image;
        const QRectF shape = CardPainting::fitted(double(image.width()) / image.height(), content);
        if (!shape.isEmpty()) {
            if (!CardPainting::hasClearPixels(image))
                kPictureShadow.paint(painter, shape, kPictureRadius);
            drawPixelCopy(painter, shape.topLeft(),
                          roundedPicture(image, shape.size(), ratio * scale, kPictureRadius));
        }
    } else {
        const PlaceholderCover cover(m_item, thumbnail ? thumbnail->image : QImage(),
                                     m_size.height());
        cover.paint(painter, content);
        if (thumbnail && cover.showsSpinner())
            PlaceholderCover::paintMissingIcon(painter, content, m_item.category, m_size.height());
    }
    return pixmap;
}

namespace {

QElapsedTimer& lastScroll()
{
    static QElapsedTimer timer;
    return timer;
}

// A fast scroll brings a row of new cards into every frame; rendering all of
// them in one frame would miss it, and so would a list filled anew. While a
// list moves, each turn of the event loop renders a few, and a card left
// without its rendering draws it at a later turn; at rest every card renders
// at once.
bool takeRenderTurn()
{
    constexpr int kRendersPerTurn = 2;
    constexpr qint64 kScrollingMs = 150;
    if (!lastScroll().isValid() || lastScroll().elapsed() > kScrollingMs) return true;
    static int used = 0;
    static bool resetQueued = false;
    if (!resetQueued) {
        resetQueued = true;
        // A timer, not a queued call: queued calls made while the event loop
        // sends its posted events are sent in that same pass, with no turn
        // of the loop between them.
        QTimer::singleShot(1, [] {
            used = 0;
            resetQueued = false;
        });
    }
    if (used >= kRendersPerTurn) return false;
    ++used;
    return true;
}

} // namespace

void CardThumbnail::noteListMoved()
{
    lastScroll().start();
}

const QPixmap* CardThumbnail::rendering(const std::optional<Thumbnail>& thumbnail, double scale,
                                        double ratio) const
{
    Rendering& slot = scale == 1.0 ? m_atRest : m_hovered;
    const QString key = renderKey(thumbnail, scale, ratio);
    if (slot.key == key) return &slot.pixmap;
    const QString shared = QStringLiteral("ovra-card|") + key;
    QPixmap pixmap;
    if (!QPixmapCache::find(shared, &pixmap)) {
        if (!takeRenderTurn()) {
            // Asked again once this turn's paint is over.
            QTimer::singleShot(1, const_cast<CardThumbnail*>(this), &CardThumbnail::changed);
            return nullptr;
        }
        pixmap = render(thumbnail, scale, ratio);
        QPixmapCache::insert(shared, pixmap);
    }
    slot.key = key;
    slot.pixmap = pixmap;
    return &slot.pixmap;
}

void CardThumbnail::paint(QPainter& painter, const QRectF& rect, double hoverProgress,
                          double badgeOpacity) const
{
    if (rect.isEmpty() || m_item.path.isEmpty()) return;
    const double progress = std::clamp(hoverProgress, 0.0, 1.0);
    const double scale = 1.0 + (kHoverScale - 1.0) * progress;
    const double lift = kHoverLift * progress;
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const std::optional<Thumbnail> thumbnail = shownThumbnail();
    const QPointF origin = rect.topLeft() - QPointF(kRenderMargin, kRenderMargin + lift);

    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (progress >= 1.0) {
        if (const QPixmap* pixmap = rendering(thumbnail, kHoverScale, ratio))
            drawPixelCopy(painter, origin, *pixmap);
    } else {
        // On the way in or out, the picture at rest is grown as it is drawn.
        const QPointF centre = rect.center() - QPointF(0, lift);
        painter.translate(centre);
        painter.scale(scale, scale);
        painter.translate(-centre);
        if (const QPixmap* pixmap = rendering(thumbnail, 1.0, ratio))
            drawPixelCopy(painter, origin, *pixmap);
    }
    painter.restore();

    if (badgeOpacity <= 0 || m_item.category != FileCategory::videos || !showsPicture()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * std::min(badgeOpacity, 1.0));
    const QPointF centre = rect.center() - QPointF(0, lift);
    const double badge = kBadgeSide * scale;
    painter.setPen(Qt::NoPen);
    painter.setBrush(fadedBy(Qt::black, kBadgeOpacity));
    painter.drawEllipse(centre, badge / 2, badge / 2);
    const double symbol = kBadgeSymbolSize * scale;
    Symbols::paint(painter, QStringLiteral("play.fill"),
                   QRectF(centre - QPointF(symbol / 2, symbol / 2), QSizeF(symbol, symbol)),
                   Qt::white);
    painter.restore();
}

} // namespace ovra
