#include "ui/SoftShadow.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

const SoftShadow kShadow{QColor(0, 0, 0, 128), 8, QPointF(0, 4)};
const QRectF kShape(30, 30, 40, 30);

QImage canvas(qreal ratio = 1)
{
    QImage image(QSize(100, 100) * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    return image;
}

int alphaAt(const QImage& image, QPointF point)
{
    return qAlpha(image.pixel((point * image.devicePixelRatio()).toPoint()));
}

} // namespace

// A card's shadow and the shadow of a picture of the same shape are one shadow.
TEST(SoftShadow, ShapesAndPicturesCastTheSameShadow)
{
    QImage underShape = canvas();
    {
        QPainter painter(&underShape);
        kShadow.paint(painter, kShape, 0);
    }
    QImage picture(kShape.size().toSize(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::red);
    QImage underPicture = canvas();
    {
        QPainter painter(&underPicture);
        kShadow.paint(painter, picture, kShape.topLeft());
    }
    EXPECT_EQ(underShape, underPicture);

    // Dark under the shape, fading past its edge, nothing beyond its reach.
    const QPointF centre = kShape.center() + kShadow.offset;
    EXPECT_GT(alphaAt(underShape, centre), 100);
    const int nearEdge = alphaAt(underShape, QPointF(kShape.right() + 2, centre.y()));
    EXPECT_GT(nearEdge, 0);
    EXPECT_LT(nearEdge, alphaAt(underShape, centre));
    EXPECT_EQ(alphaAt(underShape, QPointF(kShape.right() + kShadow.reach() + 2, centre.y())), 0);
}

// On a screen of two pixels a point, the shadow covers the same points.
TEST(SoftShadow, FollowsTheDevicePixelRatio)
{
    QImage single = canvas(1);
    QImage doubled = canvas(2);
    for (QImage* image : {&single, &doubled}) {
        QPainter painter(image);
        kShadow.paint(painter, kShape, 6);
    }
    for (const QPointF point : {kShape.center(), QPointF(kShape.right() + 3, kShape.center().y()),
                                QPointF(kShape.left() - 12, kShape.top() - 12)})
        EXPECT_NEAR(alphaAt(single, point), alphaAt(doubled, point), 12);
}
