#include "OvraLogo.h"

#include "RoundedCorners.h"

#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>

#include <cmath>

namespace ovra {

namespace {

constexpr char kLogoResource[] = ":/Logo";
constexpr double kCornerShare = 0.225;
constexpr double kBorderOpacity = 0.08;
constexpr double kBorderWidth = 0.5;

} // namespace

OvraLogo::OvraLogo(double size, QWidget* parent)
    : QWidget(parent)
    , m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void OvraLogo::setLogoSize(double size)
{
    if (m_size == size) return;
    m_size = size;
    updateGeometry();
    update();
}

QColor OvraLogo::primaryColor() const
{
    return m_primary.value_or(palette().color(QPalette::WindowText));
}

void OvraLogo::setPrimaryColor(const QColor& color)
{
    m_primary = color;
    update();
}

QSize OvraLogo::sizeHint() const
{
    const int side = int(std::ceil(m_size));
    return QSize(side, side);
}

const QImage& OvraLogo::bundledLogo()
{
    static const QImage logo(QString::fromLatin1(kLogoResource));
    return logo;
}

void OvraLogo::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QRectF frame(0, 0, m_size, m_size);
    const QImage& logo = bundledLogo();
    if (logo.isNull()) {
        const QIcon icon = QGuiApplication::windowIcon();
        const QPixmap pixmap = icon.pixmap(frame.size().toSize(), devicePixelRatioF());
        painter.drawPixmap(frame, pixmap, pixmap.rect());
        return;
    }

    const double radius = m_size * kCornerShare;
    const double ratio = devicePixelRatioF();
    const QSize pixels = (frame.size() * ratio).toSize().expandedTo(QSize(1, 1));
    QImage layer(pixels, QImage::Format_ARGB32_Premultiplied);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    {
        QImage scaled = logo.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        scaled.setDevicePixelRatio(ratio);
        QPainter p(&layer);
        p.drawImage(QPointF(0, 0), scaled);
        cutCornersRound(p, frame, radius);
    }
    painter.drawImage(QPointF(0, 0), layer);

    // The border lies inside the edge: its centre line is inset by half its width.
    const double inset = kBorderWidth / 2;
    QColor border = primaryColor();
    border.setAlphaF(float(kBorderOpacity));
    painter.setPen(QPen(border, kBorderWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(frame.adjusted(inset, inset, -inset, -inset), radius - inset,
                            radius - inset);
}

void OvraLogo::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::PaletteChange) update();
    QWidget::changeEvent(event);
}

} // namespace ovra
