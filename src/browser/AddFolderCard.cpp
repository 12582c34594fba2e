#include "AddFolderCard.h"

#include "CardPainting.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QFontMetricsF>
#include <QPainter>

namespace ovra {

namespace {

constexpr double kCornerRadius = 16;
constexpr double kLineWidth = 1.5;
// Drawn and left out, in points; a pen counts its dashes in line widths.
constexpr double kDash = 5;
constexpr double kGap = 4;
constexpr double kIdleOpacity = 0.15;
constexpr int kPlusSize = 18;
constexpr int kLabelSize = 12;
constexpr double kStackSpacing = 8;
constexpr int kMinimumWidth = 120;

QString label()
{
    return AddFolderCard::tr("Add to Favourites");
}

} // namespace

AddFolderCard::AddFolderCard(QWidget* parent)
    : QAbstractButton(parent)
{
    // Like the cards, it never takes the keyboard from the view it stands in.
    setFocusPolicy(Qt::NoFocus);
    setFixedHeight(kTopPadding + kOutlineHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setText(label());
    setAccessibleName(label());
    if (ThemeNotifier* notifier = Theme::notifier())
        connect(notifier, &ThemeNotifier::appearanceChanged, this, qOverload<>(&QWidget::update));
}

QRect AddFolderCard::outlineRect() const
{
    return QRect(0, kTopPadding, width(), kOutlineHeight);
}

QSize AddFolderCard::sizeHint() const
{
    const int text = int(QFontMetricsF(Theme::font(kLabelSize)).horizontalAdvance(label()));
    return {std::max(kMinimumWidth, text + 2 * kTopPadding), kTopPadding + kOutlineHeight};
}

QSize AddFolderCard::minimumSizeHint() const
{
    return {kMinimumWidth, kTopPadding + kOutlineHeight};
}

void AddFolderCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);

    const QRectF outline(outlineRect());
    const QColor stroke = m_hovering ? Theme::secondary() : fadedBy(Theme::primary(), kIdleOpacity);
    QPen pen(stroke, kLineWidth);
    pen.setDashPattern({kDash / kLineWidth, kGap / kLineWidth});
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double half = kLineWidth / 2;
    painter.drawRoundedRect(outline.adjusted(half, half, -half, -half), kCornerRadius - half,
                            kCornerRadius - half);

    const QFont font = Theme::font(kLabelSize);
    const double textHeight = CardPainting::lineHeight(font);
    const double stackHeight = kPlusSize + kStackSpacing + textHeight;
    const double top = outline.center().y() - stackHeight / 2;
    Symbols::paint(painter, QStringLiteral("plus"),
                   QRectF(outline.center().x() - kPlusSize / 2.0, top, kPlusSize, kPlusSize),
                   Theme::secondary());
    painter.setFont(font);
    painter.setPen(Theme::secondary());
    const QRectF text(outline.left(), top + kPlusSize + kStackSpacing, outline.width(), textHeight);
    painter.drawText(text, Qt::AlignCenter,
                     QFontMetricsF(font).elidedText(label(), Qt::ElideRight, text.width()));
}

void AddFolderCard::enterEvent(QEnterEvent* event)
{
    m_hovering = true;
    update();
    QAbstractButton::enterEvent(event);
}

void AddFolderCard::leaveEvent(QEvent* event)
{
    m_hovering = false;
    update();
    QAbstractButton::leaveEvent(event);
}

} // namespace ovra
