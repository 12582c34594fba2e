#include "DropShadow.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ovra {

namespace {

// Three passes of a box blur come close to a Gaussian blur.
constexpr int kBoxPasses = 3;

void boxBlurLine(std::uint8_t* line, int length, std::ptrdiff_t stride, int halfWidth,
                 std::vector<std::uint8_t>& scratch)
{
    scratch.resize(std::size_t(length));
    for (int i = 0; i < length; ++i)
        scratch[std::size_t(i)] = line[i * stride];
    const int width = 2 * halfWidth + 1;
    int sum = 0;
    for (int i = -halfWidth; i <= halfWidth; ++i)
        if (i >= 0 && i < length) sum += scratch[std::size_t(i)];
    for (int i = 0; i < length; ++i) {
        line[i * stride] = std::uint8_t(sum / width);
        const int leaving = i - halfWidth;
        const int entering = i + halfWidth + 1;
        if (leaving >= 0) sum -= scratch[std::size_t(leaving)];
        if (entering < length) sum += scratch[std::size_t(entering)];
    }
}

void blurAlpha(QImage& alpha, int halfWidth)
{
    std::vector<std::uint8_t> scratch;
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

} // namespace

void drawDropShadow(QPainter& painter, const QImage& image, QPointF topLeft, const QColor& color,
                    double radius, QPointF offset)
{
    if (image.isNull() || color.alpha() == 0) return;
    const double ratio = image.devicePixelRatio();
    const int halfWidth = std::max(1, int(std::lround(radius * ratio / 2)));
    const int margin = kBoxPasses * halfWidth;

    // The coverage, with room around it for the blur to spread into.
    QImage alpha(image.width() + 2 * margin, image.height() + 2 * margin, QImage::Format_Alpha8);
    alpha.fill(0);
    {
        // Pixel for pixel: the copy forgets the ratio, or it would be drawn shrunk.
        QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        source.setDevicePixelRatio(1.0);
        QPainter p(&alpha);
        p.drawImage(QPoint(margin, margin), source);
    }
    blurAlpha(alpha, halfWidth);

    QImage shadow(alpha.size(), QImage::Format_ARGB32_Premultiplied);
    shadow.fill(color);
    {
        QPainter p(&shadow);
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, alpha);
    }
    shadow.setDevicePixelRatio(ratio);
    painter.drawImage(topLeft + offset - QPointF(margin / ratio, margin / ratio), shadow);
}

} // namespace ovra
