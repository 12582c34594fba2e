#include "PreviewStack.h"

#include "services/ThumbnailView.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>

namespace ovra {

namespace {
constexpr int kMaxShown = 3;
constexpr int kMaxExtra = 99;
constexpr int kRing = 2;

class Ring : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::card());
        painter.drawEllipse(QRectF(rect()));
    }
};
} // namespace

PreviewStack::PreviewStack(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void PreviewStack::setPreviews(const QList<FileItem>& items, int extra, const QColor& tint)
{
    m_items = items.mid(0, kMaxShown);
    m_extra = extra;
    m_tint = tint;
    qDeleteAll(m_views);
    m_views.clear();
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        // Each disc sits in a ring of the card's colour, so the one above
        // stands apart from the one it overlaps.
        auto* ring = new Ring(this);
        ring->setGeometry(int(i) * (kSide - kOverlap), 0, kSide, kSide);
        auto* view = new ThumbnailView(ring);
        view->setItem(m_items[i]);
        view->setCornerRadius((kSide - 2 * kRing) / 2.0);
        view->setGeometry(kRing, kRing, kSide - 2 * kRing, kSide - 2 * kRing);
        ring->show();
        m_views.append(ring);
    }
    updateGeometry();
    update();
}

int PreviewStack::discCount() const
{
    if (m_items.isEmpty() && m_extra == 0) return 1;
    return int(m_items.size()) + (m_extra >= 1 ? 1 : 0);
}

QSize PreviewStack::sizeHint() const
{
    const int discs = discCount();
    return {discs * kSide - (discs - 1) * kOverlap, kSide};
}

void PreviewStack::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto disc = [&](int index) {
        return QRectF(index * (kSide - kOverlap), 0, kSide, kSide);
    };
    if (m_items.isEmpty() && m_extra == 0) {
        QColor fill = m_tint;
        fill.setAlphaF(0.16f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(disc(0));
        Symbols::paint(painter, QStringLiteral("folder"), disc(0).adjusted(7, 7, -7, -7), m_tint);
        return;
    }
    if (m_extra >= 1) {
        const QRectF rect = disc(int(m_items.size()));
        painter.setPen(QPen(Theme::card(), 1.5));
        painter.setBrush(Theme::fill());
        painter.drawEllipse(rect);
        painter.setPen(Theme::secondary());
        painter.setFont(Theme::font(10, QFont::DemiBold));
        painter.drawText(rect, Qt::AlignCenter,
                         QStringLiteral("+") + QString::number(std::min(m_extra, kMaxExtra)));
    }
}

} // namespace ovra
