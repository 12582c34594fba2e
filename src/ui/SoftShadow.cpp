#include "SoftShadow.h"

#include "PixelCopy.h"

#include <QCache>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace ovra {

namespace {

constexpr int kBoxPasses = 3;                       // three box blurs come close to a Gaussian
constexpr qsizetype kCacheBytes = 32 * 1024 * 1024; // of kept shadow images

void boxBlurLine(uchar* line, int length, std::ptrdiff_t stride, int halfWidth,
                 std::vector<uchar>& scratch)
{
    scratch.resize(std::size_t(length));
    for (int i = 0; i < length; ++i)
        scratch[std::size_t(i)] = line[i * stride];
    const int width = 2 * halfWidth + 1;
    int sum = 0;
    for (int i = -halfWidth; i <= halfWidth; ++i)
        if (i >= 0 && i < length) sum += scratch[std::size_t(i)];
    for (int i = 0; i < length; ++i) {
        line[i * stride] = uchar(sum / width);
        const int leaving = i - halfWidth;
        const int entering = i + halfWidth + 1;
        if (leaving >= 0) sum -= scratch[std::size_t(leaving)];
        if (entering < length) sum += scratch[std::size_t(entering)];
    }
}

void blurAlpha(QImage& alpha, int halfWidth)
{
    std::vector<uchar> scratch;
    const int w = alpha.width();
    const int h = alpha.height();
    const auto stride = std::ptrdiff_t(alpha.bytesPerLine());
    for (int pass = 0; pass < kBoxPasses; ++pass) {
        for (int y = 0; y < h; ++y)
            boxBlurLine(alpha.scanLine(y), w, 1, halfWidth, scratch);
        for (int x = 0; x < w; ++x)
            boxBlurLine(alpha.bits() + x, h, stride, halfWidth, scratch);
    }
}

// Half the width of each box pass, in device pixels, for a blur radius in points.
int boxHalfWidth(qreal blurRadius, qreal ratio)
{
    return std::max(1, int(std::lround(blurRadius * ratio / 2)));
}

// The blurred coverage, tinted, with room around it for the blur to spread into.
QImage tintedBlur(QImage alpha, int halfWidth, const QColor& color)
{
    blurAlpha(alpha, halfWidth);
    QImage shadow(alpha.size(), QImage::Format_ARGB32_Premultiplied);
    shadow.fill(color);
    QPainter p(&shadow);
    p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    p.drawImage(0, 0, alpha);
    return shadow;
}

class ShadowCache {
public:
    template <typename Make> QImage get(const QString& key, Make make)
    {
        {
            const std::lock_guard lock(m_mutex);
            if (const QImage* found = m_images.object(key)) return *found;
        }
        QImage made = make();
        const std::lock_guard lock(m_mutex);
        m_images.insert(key, new QImage(made), std::max<qsizetype>(1, made.sizeInBytes()));
        return made;
    }

private:
    std::mutex m_mutex;
    QCache<QString, QImage> m_images{kCacheBytes};
};

ShadowCache& cache()
{
    static ShadowCache shadows;
    return shadows;
}

QString colorKey(const QColor& color)
{
    return QString::number(color.rgba(), 16);
}

} // namespace

qreal SoftShadow::reach() const
{
    return blurRadius + std::max(std::abs(offset.x()), std::abs(offset.y()));
}

void SoftShadow::paint(QPainter& painter, const QRectF& shape, qreal cornerRadius) const
{
    if (shape.isEmpty() || color.alpha() == 0) return;
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (shape.size() * ratio).toSize();
    const int halfWidth = boxHalfWidth(blurRadius, ratio);
    const int margin = kBoxPasses * halfWidth;
    const QString key = QStringLiteral("rect:%1x%2:%3:%4:%5")
                            .arg(pixels.width())
                            .arg(pixels.height())
                            .arg(cornerRadius * ratio)
                            .arg(halfWidth)
                            .arg(colorKey(color));
    QImage shadow = cache().get(key, [&] {
        QImage mask(pixels + QSize(2 * margin, 2 * margin), QImage::Format_Alpha8);
        mask.fill(0);
        {
            QPainter p(&mask);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::black);
            p.drawRoundedRect(QRectF(QPointF(margin, margin), QSizeF(pixels)), cornerRadius * ratio,
                              cornerRadius * ratio);
        }
        return tintedBlur(std::move(mask), halfWidth, color);
    });
    shadow.setDevicePixelRatio(ratio);
    drawPixelCopy(painter, shape.topLeft() + offset - QPointF(margin, margin) / ratio, shadow);
}

void SoftShadow::paint(QPainter& painter, const QImage& image, QPointF topLeft) const
{
    if (image.isNull() || color.alpha() == 0) return;
    const qreal ratio = image.devicePixelRatio();
    const int halfWidth = boxHalfWidth(blurRadius, ratio);
    const int margin = kBoxPasses * halfWidth;
    const QString key =
        QStringLiteral("image:%1:%2:%3").arg(image.cacheKey()).arg(halfWidth).arg(colorKey(color));
    QImage shadow = cache().get(key, [&] {
        QImage alpha(image.width() + 2 * margin, image.height() + 2 * margin,
                     QImage::Format_Alpha8);
        alpha.fill(0);
        // Pixel for pixel: the copy forgets the ratio, or it would be drawn shrunk.
        QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        source.setDevicePixelRatio(1.0);
        {
            QPainter p(&alpha);
            p.drawImage(QPoint(margin, margin), source);
        }
        return tintedBlur(std::move(alpha), halfWidth, color);
    });
    shadow.setDevicePixelRatio(ratio);
    drawPixelCopy(painter, topLeft + offset - QPointF(margin, margin) / ratio, shadow);
}

} // namespace ovra
