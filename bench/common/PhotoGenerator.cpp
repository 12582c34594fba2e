#include "PhotoGenerator.h"

#include <QBuffer>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <algorithm>

namespace ovra::bench {

namespace {

// Every scene is drawn in this logical frame and scaled to the asked size.
constexpr double kWidth = 1000.0;
constexpr double kHeight = 750.0;

QColor randomColour(QRandomGenerator& random)
{
    return QColor::fromHsv(random.bounded(360), 40 + random.bounded(200), 60 + random.bounded(190));
}

} // namespace

QImage scene(quint32 seed, QSize size, double rotation)
{
    QRandomGenerator random(seed);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size.width() / kWidth, size.height() / kHeight);
    // A turned camera: rotate about the centre and zoom in enough that no
    // corner shows outside the scene.
    painter.translate(kWidth / 2, kHeight / 2);
    painter.rotate(rotation);
    painter.scale(1.0 + std::abs(rotation) * 0.03, 1.0 + std::abs(rotation) * 0.03);
    painter.translate(-kWidth / 2, -kHeight / 2);

    const double horizon = kHeight * (0.25 + random.bounded(0.5));
    QLinearGradient sky(0, 0, 0, horizon);
    sky.setColorAt(0, randomColour(random));
    sky.setColorAt(1, randomColour(random));
    painter.fillRect(QRectF(-200, -200, kWidth + 400, horizon + 200), sky);
    QLinearGradient ground(0, horizon, 0, kHeight);
    ground.setColorAt(0, randomColour(random));
    ground.setColorAt(1, randomColour(random));
    painter.fillRect(QRectF(-200, horizon, kWidth + 400, kHeight - horizon + 200), ground);

    const int hills = 1 + random.bounded(3);
    for (int h = 0; h < hills; ++h) {
        QPainterPath path;
        path.moveTo(-200, horizon);
        for (double x = -200; x <= kWidth + 200; x += 100)
            path.lineTo(x, horizon - random.bounded(kHeight * 0.25));
        path.lineTo(kWidth + 200, horizon);
        path.closeSubpath();
        painter.fillPath(path, randomColour(random));
    }
    const int bodies = 3 + random.bounded(8);
    for (int b = 0; b < bodies; ++b) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(randomColour(random));
        const QRectF box(random.bounded(kWidth), random.bounded(kHeight),
                         30 + random.bounded(300.0), 30 + random.bounded(300.0));
        switch (random.bounded(3)) {
        case 0: painter.drawEllipse(box); break;
        case 1: painter.drawRect(box); break;
        default:
            painter.drawPolygon(QPolygonF({box.topLeft(), box.bottomRight(), box.bottomLeft()}));
        }
    }
    for (int s = 0; s < 150; ++s) {
        painter.setPen(QPen(randomColour(random), 1 + random.bounded(4)));
        const QPointF from(random.bounded(kWidth), random.bounded(kHeight));
        painter.drawLine(from,
                         from + QPointF(random.bounded(40.0) - 20, random.bounded(40.0) - 20));
    }
    return image;
}

const char* variantName(Variant variant)
{
    switch (variant) {
    case Variant::resized: return "resized";
    case Variant::recompressed: return "recompressed";
    case Variant::cropped: return "cropped";
    case Variant::brighter: return "brighter";
    }
    return "";
}

QImage variant(const QImage& photo, Variant variant)
{
    switch (variant) {
    case Variant::resized:
        return photo.scaled(photo.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    case Variant::recompressed: {
        QImage again;
        again.loadFromData(jpeg(photo, 30), "JPEG");
        return again;
    }
    case Variant::cropped: {
        // 5 % off the right and the bottom edge.
        const int w = photo.width() * 95 / 100;
        const int h = photo.height() * 95 / 100;
        return photo.copy(0, 0, w, h);
    }
    case Variant::brighter: {
        QImage out = photo.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < out.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x) {
                const QRgb p = row[x];
                row[x] = qRgb(std::min(255, qRed(p) + 30), std::min(255, qGreen(p) + 30),
                              std::min(255, qBlue(p) + 30));
            }
        }
        return out;
    }
    }
    return photo;
}

QByteArray jpeg(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

} // namespace ovra::bench
