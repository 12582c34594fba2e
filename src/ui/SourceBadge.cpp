#include "SourceBadge.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>

namespace ovra {

QColor sourceTint(const DownloadSource& source)
{
    return Theme::pastel(source.name);
}

SourceBadge::SourceBadge(DownloadSource source, int size, QWidget* parent)
    : QWidget(parent)
    , m_source(std::move(source))
    , m_size(size)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SourceBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor tint = sourceTint(m_source);
    QColor disc = tint;
    disc.setAlphaF(0.16f);
    painter.setPen(Qt::NoPen);
    painter.setBrush(disc);
    painter.drawEllipse(QRectF(0, 0, m_size, m_size));
    const double symbol = m_size * 0.42;
    const double inset = (m_size - symbol) / 2;
    Symbols::paint(painter, m_source.symbol, QRectF(inset, inset, symbol, symbol), tint);
}

} // namespace ovra
