#include "SidebarRow.h"

#include "Tone.h"
#include "ui/AppIcons.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QLocale>
#include <QPainter>

#include <algorithm>

namespace ovra {

namespace {

constexpr int kPaddingX = 12;
constexpr int kSpacing = 12;
constexpr qreal kCornerRadius = 10;
constexpr double kSelectedOpacity = 0.06;
constexpr double kHoverOpacity = 0.03;

constexpr int kTitleFontSize = 13;
constexpr int kSymbolSize = 14;
constexpr int kSymbolFrame = 20;

constexpr int kIconSize = 20;
constexpr int kIconPadding = 2;
constexpr qreal kIconPlateRadius = 6;
constexpr int kStarSize = 11;

constexpr int kFigureFontSize = 11;
constexpr int kCapsulePaddingX = 7;
constexpr int kCapsuleMinWidth = 22;
constexpr int kCapsuleHeight = 20;

QFont figureFont(QFont::Weight weight)
{
    return Theme::font(kFigureFontSize, weight);
}

} // namespace

// Where each part of the row goes at its current width, leading to trailing.
struct SidebarRow::Geometry {
    QRectF leading; // the symbol's frame or the icon's plate
    QRectF title;
    QRectF detail;
    QRectF badge; // the capsule for an alert, else the digits
    QRectF star;
};

SidebarRow::SidebarRow(SidebarItem entry, const QString& title, const QString& symbol,
                       QWidget* parent)
    : QAbstractButton(parent)
    , m_entry(std::move(entry))
    , m_title(title)
    , m_symbol(symbol)
{
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(title);
    setAttribute(Qt::WA_Hover);
    followAppearance(this, [this] { update(); });
}

SidebarRow* SidebarRow::folder(const Location& location, bool starred, QWidget* parent)
{
    auto* row =
        new SidebarRow(SidebarItem::location(location), location.title, location.symbol, parent);
    row->m_isFolder = true;
    row->m_starred = starred;
    // The folder's icon is looked up off the GUI thread: draw it when it arrives.
    connect(AppIcons::notifier(), &AppIcons::Notifier::iconsArrived, row,
            qOverload<>(&QWidget::update));
    return row;
}

void SidebarRow::setSelected(bool selected)
{
    if (selected == m_selected) return;
    m_selected = selected;
    update();
}

void SidebarRow::setBadge(std::optional<qint64> count, bool alert)
{
    const QString badge = count && *count > 0 ? QLocale().toString(*count) : QString();
    if (badge == m_badge && alert == m_alert) return;
    m_badge = badge;
    m_alert = alert;
    update();
}

void SidebarRow::setDetail(const QString& detail)
{
    if (detail == m_detail) return;
    m_detail = detail;
    update();
}

QFont SidebarRow::titleFont() const
{
    return Theme::font(kTitleFontSize, m_selected ? QFont::Medium : QFont::Normal);
}

SidebarRow::Geometry SidebarRow::layOut() const
{
    Geometry g;
    const qreal midY = height() / 2.0;
    const int leadingSide = m_isFolder ? kIconSize + 2 * kIconPadding : kSymbolFrame;
    const qreal leadingHeight = m_isFolder ? leadingSide : kSymbolSize;
    g.leading = QRectF(kPaddingX, midY - leadingHeight / 2, leadingSide, leadingHeight);

    qreal right = width() - kPaddingX;
    if (m_starred) {
        g.star = QRectF(right - kStarSize, midY - kStarSize / 2.0, kStarSize, kStarSize);
        right = g.star.left() - kSpacing;
    }
    if (!m_badge.isEmpty()) {
        const QFontMetricsF metrics(figureFont(m_alert ? QFont::DemiBold : QFont::Normal));
        const qreal textWidth = metrics.horizontalAdvance(m_badge);
        const qreal w = m_alert
                            ? std::max<qreal>(kCapsuleMinWidth, textWidth + 2 * kCapsulePaddingX)
                            : textWidth;
        const qreal h = m_alert ? kCapsuleHeight : metrics.height();
        g.badge = QRectF(right - w, midY - h / 2, w, h);
        right = g.badge.left() - kSpacing;
    }
    if (!m_detail.isEmpty()) {
        const QFontMetricsF metrics(figureFont(QFont::Medium));
        const qreal w = metrics.horizontalAdvance(m_detail);
        g.detail = QRectF(right - w, midY - metrics.height() / 2, w, metrics.height());
        right = g.detail.left() - kSpacing;
    }
    const qreal titleLeft = g.leading.right() + kSpacing;
    g.title = QRectF(titleLeft, 0, std::max<qreal>(0, right - titleLeft), height());
    return g;
}

QString SidebarRow::shownTitle() const
{
    return QFontMetrics(titleFont())
        .elidedText(m_title, Qt::ElideRight, int(layOut().title.width()));
}

QSize SidebarRow::sizeHint() const
{
    return {kPaddingX * 2 + kSymbolFrame + kSpacing + 120, kHeight};
}

QSize SidebarRow::minimumSizeHint() const
{
    return {kPaddingX * 2 + kSymbolFrame, kHeight};
}

void SidebarRow::enterEvent(QEnterEvent* event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SidebarRow::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SidebarRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const Geometry g = layOut();

    if (m_selected || m_hovered) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(fadedBy(Theme::primary(), m_selected ? kSelectedOpacity : kHoverOpacity));
        painter.drawRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    }

    if (m_isFolder) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::fill());
        painter.drawRoundedRect(g.leading, kIconPlateRadius, kIconPlateRadius);
        const QRectF icon =
            g.leading.adjusted(kIconPadding, kIconPadding, -kIconPadding, -kIconPadding);
        AppIcons::icon(m_entry.as<Location>()->path).paint(&painter, icon.toAlignedRect());
    } else {
        const QRectF symbol(g.leading.center().x() - kSymbolSize / 2.0, g.leading.top(),
                            kSymbolSize, kSymbolSize);
        Symbols::paint(painter, m_symbol, symbol,
                       toneColor(m_selected ? Tone::primary : Tone::secondary));
    }

    painter.setFont(titleFont());
    painter.setPen(Theme::primary());
    painter.drawText(g.title, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shownTitle());

    if (!m_detail.isEmpty()) {
        painter.setFont(figureFont(QFont::Medium));
        painter.setPen(Theme::green());
        painter.drawText(g.detail, Qt::AlignCenter | Qt::TextSingleLine, m_detail);
    }
    if (!m_badge.isEmpty()) {
        if (m_alert) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(Theme::red());
            const qreal radius = g.badge.height() / 2;
            painter.drawRoundedRect(g.badge, radius, radius);
            painter.setFont(figureFont(QFont::DemiBold));
            painter.setPen(Qt::white);
        } else {
            painter.setFont(figureFont(QFont::Normal));
            painter.setPen(Theme::tertiary());
        }
        painter.drawText(g.badge, Qt::AlignCenter | Qt::TextSingleLine, m_badge);
    }
    if (m_starred) Symbols::paint(painter, QStringLiteral("star.fill"), g.star, Theme::star());
}

} // namespace ovra
