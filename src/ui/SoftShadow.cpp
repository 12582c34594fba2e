#include "SoftShadow.h"

#include <QCache>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ovra {

namespace {

constexpr int kCacheEntries = 64;
constexpr int kBoxPasses = 3; // three box blurs come close to a Gaussian

// One horizontal or vertical box blur of the alpha channel, in place.
void boxBlurAlpha(QImage& image, int radius, bool horizontal)
{
    const int width = image.width();
    const int height = image.height();
    const int lines = horizontal ? height : width;
    const int length = horizontal ? width : height;
    const int window = 2 * radius + 1;
    std::vector<int> source(static_cast<size_t>(length));
    for (int line = 0; line < lines; ++line) {
        auto alphaAt = [&](int i) -> uchar& {
            const int x = horizontal ? i : line;
            const int y = horizontal ? line : i;
            return image.scanLine(y)[x];
        };
        for (int i = 0; i < length; ++i)
            source[size_t(i)] = alphaAt(i);
        int sum = 0;
        for (int i = -radius; i <= radius; ++i)
            sum += (i >= 0 && i < length) ? source[size_t(i)] : 0;
        for (int i = 0; i < length; ++i) {
            alphaAt(i) = uchar(sum / window);
            const int leaving = i - radius;
            const int entering = i + radius + 1;
            if (leaving >= 0) sum -= source[size_t(leaving)];
            if (entering < length) sum += source[size_t(entering)];
        }
    }
}

// The blurred alpha mask of the shape, `margin` device pixels of room around it.
QImage blurredMask(QSize shape, qreal cornerRadius, int blur, int margin)
{
    QImage mask(shape + QSize(2 * margin, 2 * margin), QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(QRectF(QPointF(margin, margin), QSizeF(shape)), cornerRadius,
                                cornerRadius);
    }
    // The box radius that gives the blur its spread over three passes.
    const int box = std::max(1, int(std::lround(blur / 2.0)));
    for (int pass = 0; pass < kBoxPasses; ++pass) {
        boxBlurAlpha(mask, box, true);
        boxBlurAlpha(mask, box, false);
    }
    return mask;
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
    const int blur = int(std::ceil(blurRadius * ratio));
    const int margin = blur * 2;

    static QCache<QString, QImage> masks(kCacheEntries);
    const QString key = QStringLiteral("%1x%2:%3:%4")
                            .arg(pixels.width())
                            .arg(pixels.height())
                            .arg(cornerRadius * ratio)
                            .arg(blur);
    QImage* mask = masks.object(key);
    if (!mask) {
        mask = new QImage(blurredMask(pixels, cornerRadius * ratio, blur, margin));
        masks.insert(key, mask);
    }

    QImage tinted(mask->size(), QImage::Format_ARGB32_Premultiplied);
    tinted.fill(Qt::transparent);
    {
        QPainter tint(&tinted);
        tint.drawImage(0, 0, *mask);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(tinted.rect(), color);
    }
    tinted.setDevicePixelRatio(ratio);
    painter.drawImage(shape.topLeft() + offset - QPointF(margin, margin) / ratio, tinted);
}

} // namespace ovra
