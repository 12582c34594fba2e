#include "SuggestionCard.h"

#include "HoverLift.h"
#include "browser/FolderCard.h"
#include "ui/Spinner.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace ovra {

namespace {
constexpr int kPad = 18;
constexpr int kIcon = 36;
constexpr int kRowSpacing = 14;
constexpr int kTextSpacing = 3;
constexpr double kRadius = 16;
constexpr int kHoverLift = 2;

int titleHeight()
{
    return QFontMetrics(Theme::font(13)).height();
}

int headlineHeight()
{
    return QFontMetrics(Theme::font(24, QFont::DemiBold)).height();
}

} // namespace

SuggestionCard::SuggestionCard(Content content, QWidget* parent)
    : QAbstractButton(parent)
    , m_content(std::move(content))
    , m_previews(new PreviewStack(this))
    , m_spinner(new Spinner(this))
    , m_lift(new HoverLift(this))
{
    connect(m_lift, &HoverLift::moved, this, &SuggestionCard::placeChildren);
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_Hover);
    setAccessibleName(m_content.title);
    m_previews->setContent(m_content.previews, 0, m_content.tint);
    m_previews->setVisible(!m_content.busy);
    m_spinner->setVisible(m_content.busy);
}

QSize SuggestionCard::sizeHint() const
{
    return {240, kHoverLift + kPad + kIcon + kRowSpacing + titleHeight() + kTextSpacing +
                     headlineHeight() + kPad};
}

void SuggestionCard::resizeEvent(QResizeEvent*)
{
    placeChildren();
}

void SuggestionCard::placeChildren()
{
    const int top = kHoverLift + kPad - int(std::lround(m_lift->value() * kHoverLift));
    const QSize stack = m_previews->sizeHint();
    m_previews->setGeometry(width() - kPad - stack.width(), top + (kIcon - stack.height()) / 2,
                            stack.width(), stack.height());
    const QSize spin = m_spinner->sizeHint();
    m_spinner->setGeometry(width() - kPad - spin.width(), top + (kIcon - spin.height()) / 2,
                           spin.width(), spin.height());
}

void SuggestionCard::enterEvent(QEnterEvent* event)
{
    m_hovering = true;
    m_lift->setHovering(true);
    QAbstractButton::enterEvent(event);
}

void SuggestionCard::leaveEvent(QEvent* event)
{
    m_hovering = false;
    m_lift->setHovering(false);
    QAbstractButton::leaveEvent(event);
}

void SuggestionCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor tint = m_content.tint;
    const double risen = m_lift->value() * kHoverLift;
    const QRectF card = QRectF(rect()).adjusted(0.5, kHoverLift - risen + 0.5, -0.5, -0.5 - risen);

    QPainterPath shape;
    shape.addRoundedRect(card, kRadius, kRadius);
    if (m_lift->value() > 0) {
        // A soft tinted glow under the lifted card.
        for (int i = 1; i <= 4; ++i) {
            QPainterPath halo;
            halo.addRoundedRect(card.translated(0, 3).adjusted(-i, -i + 2, i, i), kRadius + i,
                                kRadius + i);
            painter.fillPath(halo, withAlpha(tint, 0.05 * m_lift->value()));
        }
    }
    painter.fillPath(shape, Theme::card());
    QLinearGradient gradient(card.topLeft(), card.bottomRight());
    gradient.setColorAt(0, withAlpha(tint, 0.06));
    gradient.setColorAt(1, withAlpha(tint, 0.14));
    painter.fillPath(shape, gradient);
    painter.setPen(QPen(withAlpha(tint, 0.22), 1));
    painter.drawPath(shape);

    const double left = kPad;
    const double top = card.top() + kPad;
    const QRectF icon(left, top, kIcon, kIcon);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(tint, 0.16));
    painter.drawEllipse(icon);
    Symbols::paint(painter, m_content.symbol, icon.adjusted(10, 10, -10, -10), tint);

    double y = top + kIcon + kRowSpacing;
    painter.setPen(Theme::secondary());
    painter.setFont(Theme::font(13));
    painter.drawText(QRectF(left, y, width() - 2 * kPad, titleHeight()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_content.title);
    y += titleHeight() + kTextSpacing;

    // The detail and its chevron, right-aligned on the headline's baseline.
    const QFont detailFont = Theme::font(12);
    const QFontMetrics detailMetrics(detailFont);
    const QFont headlineFont = Theme::font(24, QFont::DemiBold);
    const QFontMetrics headlineMetrics(headlineFont);
    const double baseline = y + headlineMetrics.ascent();
    const int chevron = 9;
    const double detailWidth = detailMetrics.horizontalAdvance(m_content.detail);
    const double detailRight = width() - kPad - chevron - 4;
    painter.setFont(detailFont);
    painter.setPen(Theme::secondary());
    painter.drawText(QPointF(detailRight - detailWidth, baseline), m_content.detail);
    Symbols::paint(painter, QStringLiteral("chevron.right"),
                   QRectF(width() - kPad - chevron,
                          baseline - detailMetrics.ascent() / 2.0 - chevron / 2.0 + 1, chevron,
                          chevron),
                   Theme::secondary());

    painter.setFont(headlineFont);
    painter.setPen(Theme::primary());
    const double headlineRoom = detailRight - detailWidth - left - 8;
    painter.drawText(
        QPointF(left, baseline),
        headlineMetrics.elidedText(m_content.headline, Qt::ElideRight, int(headlineRoom)));
}

} // namespace ovra
