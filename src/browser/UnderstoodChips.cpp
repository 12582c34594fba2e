#include "UnderstoodChips.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>

namespace ovra {

namespace {

constexpr int kFontSize = 11;
constexpr int kSpacing = 6;
constexpr int kChipPaddingX = 9;
constexpr int kChipPaddingY = 4;
constexpr int kTopPadding = 14;
constexpr float kChipFillOpacity = 0.12f;
constexpr float kChipStrokeOpacity = 0.25f;
const QString kLead = QStringLiteral("Understood as");

QColor chipColor(float opacity)
{
    QColor color = Theme::pastels()[0];
    color.setAlphaF(opacity);
    return color;
}

} // namespace

UnderstoodChips::UnderstoodChips(const QStringList& chips, QWidget* parent)
    : QWidget(parent)
    , m_chips(chips)
{
    setFont(Theme::font(kFontSize));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize UnderstoodChips::sizeHint() const
{
    const QFontMetrics plain(font());
    const QFontMetrics medium(Theme::font(kFontSize, QFont::Medium));
    int width = kFontSize + kSpacing + plain.horizontalAdvance(kLead);
    for (const QString& chip : m_chips)
        width += kSpacing + medium.horizontalAdvance(chip) + 2 * kChipPaddingX;
    const int height = std::max(plain.height(), medium.height() + 2 * kChipPaddingY);
    return {width, kTopPadding + height};
}

void UnderstoodChips::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFont plainFont = font();
    const QFont mediumFont = Theme::font(kFontSize, QFont::Medium);
    const QFontMetrics plain(plainFont);
    const QFontMetrics medium(mediumFont);
    const int rowHeight = std::max(plain.height(), medium.height() + 2 * kChipPaddingY);
    const QRectF row(0, kTopPadding, width(), rowHeight);

    qreal x = 0;
    const QRectF sparkle(x, row.center().y() - kFontSize / 2.0, kFontSize, kFontSize);
    Symbols::paint(painter, QStringLiteral("sparkles"), sparkle, Theme::pastels()[0]);
    x += kFontSize + kSpacing;

    painter.setFont(plainFont);
    painter.setPen(Theme::secondary());
    const int leadWidth = plain.horizontalAdvance(kLead);
    painter.drawText(QRectF(x, row.top(), leadWidth, row.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, kLead);
    x += leadWidth + kSpacing;

    painter.setFont(mediumFont);
    const qreal chipHeight = medium.height() + 2 * kChipPaddingY;
    for (const QString& chip : m_chips) {
        const qreal chipWidth = medium.horizontalAdvance(chip) + 2 * kChipPaddingX;
        const QRectF capsule(x, row.center().y() - chipHeight / 2, chipWidth, chipHeight);
        const qreal radius = chipHeight / 2;
        painter.setPen(Qt::NoPen);
        painter.setBrush(chipColor(kChipFillOpacity));
        painter.drawRoundedRect(capsule, radius, radius);
        painter.setPen(QPen(chipColor(kChipStrokeOpacity), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(capsule.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
        painter.setPen(Theme::primary());
        painter.drawText(capsule, Qt::AlignCenter | Qt::TextSingleLine, chip);
        x += chipWidth + kSpacing;
    }
}

} // namespace ovra
