#include "ui/PixelCopy.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

// A picture with hard edges, so any resampling shows.
QImage checkerboard()
{
    QImage image(24, 16, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, (x + y) % 2 ? qRgba(200, 40, 40, 255) : qRgba(0, 0, 0, 0));
    return image;
}

QImage canvas()
{
    QImage image(64, 48, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

} // namespace

// A picture that only moves lands on whole pixels, unblurred, whether the
// painter asked for smooth drawing or not; the painter's hints are as they were.
TEST(PixelCopy, AMovedPictureIsCopiedPixelForPixel)
{
    const QImage picture = checkerboard();
    QImage expected = canvas();
    {
        QPainter painter(&expected);
        painter.drawImage(QPoint(11, 8), picture);
    }
    QImage drawn = canvas();
    {
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.translate(3, 2);
        drawPixelCopy(painter, QPointF(7.6, 6.3), picture);
        EXPECT_TRUE(painter.testRenderHint(QPainter::SmoothPixmapTransform));
    }
    EXPECT_EQ(drawn, expected);

    QImage fromPixmap = canvas();
    {
        QPainter painter(&fromPixmap);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        drawPixelCopy(painter, QPointF(10.8, 8.2), QPixmap::fromImage(picture));
    }
    EXPECT_EQ(fromPixmap, expected);
}

// Under a scale the picture must be resampled: the painter's smooth drawing
// stands.
TEST(PixelCopy, AScaledPictureIsStillDrawnSmoothly)
{
    const QImage picture = checkerboard();
    QImage expected = canvas();
    {
        QPainter painter(&expected);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(1.5, 1.5);
        painter.drawImage(QPointF(4, 3), picture);
    }
    QImage drawn = canvas();
    {
        QPainter painter(&drawn);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(1.5, 1.5);
        drawPixelCopy(painter, QPointF(4, 3), picture);
    }
    EXPECT_EQ(drawn, expected);
}
