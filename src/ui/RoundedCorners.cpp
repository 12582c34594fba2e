#include "RoundedCorners.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>

#include <map>
#include <tuple>

namespace ovra {

namespace {

// Rows and cards of one size repaint with a new picture every frame while a
// list scrolls: the mask of their corners is made once per size, where cutting
// a path out of a rectangle each time cost more than the rest of the picture.
constexpr std::size_t kMaskCacheSize = 32;

using MaskKey = std::tuple<int, int, double>;

QImage makeMask(QSize pixels, double radius)
{
    QImage mask(pixels, QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    QPainter painter(&mask);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(mask.rect()), radius, radius);
    return mask;
}

// Per thread: pictures are also rounded on the loaders' threads.
const QImage& maskFor(QSize pixels, double radius)
{
    thread_local std::map<MaskKey, QImage> masks;
    const MaskKey key{pixels.width(), pixels.height(), radius};
    auto it = masks.find(key);
    if (it != masks.end()) return it->second;
    if (masks.size() >= kMaskCacheSize) masks.clear();
    return masks.emplace(key, makeMask(pixels, radius)).first->second;
}

} // namespace

void cutCornersRound(QPainter& painter, const QRectF& rect, double radius)
{
    if (rect.isEmpty() || radius <= 0) return;
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (rect.size() * ratio).toSize().expandedTo(QSize(1, 1));
    const QImage& mask = maskFor(pixels, radius * ratio);
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(rect, mask);
    painter.restore();
}

} // namespace ovra
