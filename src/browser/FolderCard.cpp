#include "FolderCard.h"

#include "CardPainting.h"
#include "ui/DotsButton.h"
#include "ui/FolderShape.h"
#include "ui/PixelCopy.h"
#include "ui/SoftShadow.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/ThumbnailView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEasingCurve>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <algorithm>

namespace ovra {

namespace {

constexpr FolderShape kShape{0.36, 16, 16};
constexpr double kCornerRadius = 16;
constexpr double kBackOpacity = 0.26;
constexpr double kPanelTop = 22;
constexpr double kPanelTrailingInset = 4;
constexpr double kPanelPadX = 18;
constexpr double kPanelPadBottom = 16;
constexpr double kMenuRowTop = 14;
constexpr double kTitleTop = 2;
constexpr int kTitleSize = 15;
constexpr double kRulePad = 12;
constexpr int kDetailSize = 12;
constexpr double kShadowOpacity = 0.25;
constexpr double kShadowBlur = 12;
constexpr double kShadowDrop = 6;
constexpr double kHoverLift = 2;
constexpr int kHoverMs = 180;
constexpr int kBadgeSize = 9;
constexpr int kFolderSymbolSize = 11;
constexpr int kMaxBadge = 99;

double titleHeight()
{
    return QFontMetricsF(FolderCard::titleFont()).height();
}

// A ring over one round thumbnail: the card's colour, so overlapping circles
// stay apart.
class ThumbRing : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::card(), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
};

} // namespace

// The stack's last circle: the badge or the folder symbol.
class PreviewStack::LastCircle : public QWidget {
public:
    explicit LastCircle(PreviewStack* stack)
        : QWidget(stack)
        , m_stack(stack)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        m_stack->paintLast(painter);
    }

private:
    PreviewStack* m_stack;
};

PreviewStack::PreviewStack(QWidget* parent)
    : QWidget(parent)
    , m_last(new LastCircle(this))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QString PreviewStack::badgeText(qint64 extra)
{
    if (extra <= 0) return {};
    return QLatin1Char('+') + QString::number(std::min<qint64>(extra, kMaxBadge));
}

bool PreviewStack::showsFolderSymbol(qsizetype itemCount, qint64 extra)
{
    return itemCount == 0 && extra == 0;
}

void PreviewStack::setContent(const QList<FileItem>& items, qint64 extra, const QColor& tint)
{
    const QList<FileItem> shown = items.mid(0, kMaxShown);
    if (shown == m_items && extra == m_extra && tint == m_tint) {
        // Same files; their metadata may be fresher.
        for (qsizetype i = 0; i < shown.size(); ++i)
            m_thumbs[i]->setItem(shown[i]);
        return;
    }
    m_items = shown;
    m_extra = extra;
    m_tint = tint;
    while (m_thumbs.size() < m_items.size()) {
        auto* thumb = new ThumbnailView(this);
        thumb->setCornerRadius(kSide / 2.0);
        thumb->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* ring = new ThumbRing(this);
        ring->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_thumbs.append(thumb);
        m_rings.append(ring);
    }
    for (qsizetype i = 0; i < m_thumbs.size(); ++i) {
        const bool used = i < m_items.size();
        if (used) m_thumbs[i]->setItem(m_items[i]);
        m_thumbs[i]->setVisible(used);
        m_rings[i]->setVisible(used);
    }
    relayout();
    updateGeometry();
    m_last->update();
}

void PreviewStack::relayout()
{
    int x = 0;
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        const QRect cell(x, 0, kSide, kSide);
        m_thumbs[i]->setGeometry(cell);
        m_rings[i]->setGeometry(cell);
        m_thumbs[i]->raise();
        m_rings[i]->raise();
        x += kSide - kOverlap;
    }
    // The badge, like every circle, lies over the one before it.
    m_last->setGeometry(x, 0, kSide, kSide);
    m_last->raise();
}

QSize PreviewStack::sizeHint() const
{
    qsizetype circles = m_items.size();
    if (m_extra > 0 || showsFolderSymbol(m_items.size(), m_extra)) ++circles;
    if (circles == 0) return {0, kSide};
    return {int(circles * kSide - (circles - 1) * kOverlap), kSide};
}

void PreviewStack::paintLast(QPainter& painter) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(0.5, 0.5, kSide - 1, kSide - 1);
    if (m_extra > 0) {
        painter.setPen(QPen(Theme::line(), 1));
        painter.setBrush(Theme::card());
        painter.drawEllipse(circle);
        painter.setPen(Theme::secondary());
        painter.setFont(Theme::font(kBadgeSize, QFont::DemiBold));
        painter.drawText(circle, Qt::AlignCenter, badgeText(m_extra));
    } else if (showsFolderSymbol(m_items.size(), m_extra)) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::card());
        painter.drawEllipse(circle);
        const double side = kFolderSymbolSize + 2;
        Symbols::paint(painter, QStringLiteral("folder"),
                       QRectF(circle.center() - QPointF(side / 2, side / 2), QSizeF(side, side)),
                       m_tint);
    }
}

FolderCard::FolderCard(QWidget* parent)
    : QWidget(parent)
    , m_hoverAnimation(new QVariantAnimation(this))
    , m_menuButton(new DotsButton(this))
    , m_stack(new PreviewStack(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMouseTracking(true);
    m_hoverAnimation->setDuration(kHoverMs);
    m_hoverAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_hoverAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setLift(value.toDouble()); });
    // The button opens its own menu on press and never reports a click, so
    // the menu is filled as it opens.
    QMenu* menu = m_menuButton->menu();
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        menu->clear();
        emit menuAboutToShow(menu);
    });
    m_menuButton->setToolTip(tr("More"));
    refreshStack();
}

QFont FolderCard::titleFont()
{
    return Theme::font(kTitleSize);
}

QString FolderCard::detailText(std::optional<qint64> count, const std::optional<QString>& detail)
{
    if (detail) return *detail;
    if (count) {
        return QLocale().toString(*count) +
               (*count == 1 ? QStringLiteral(" item") : QStringLiteral(" items"));
    }
    return QStringLiteral("…");
}

qint64 FolderCard::extraCount(std::optional<qint64> count, qsizetype previews)
{
    return std::max<qint64>(0, count.value_or(0) - previews);
}

void FolderCard::setTitle(const QString& title)
{
    if (title == m_title) return;
    m_title = title;
    setToolTip(title);
    update();
}

void FolderCard::setTint(const QColor& tint)
{
    if (tint == m_tint) return;
    m_tint = tint;
    refreshStack();
    update();
}

void FolderCard::setCount(std::optional<qint64> count)
{
    if (count == m_count) return;
    m_count = count;
    refreshStack();
    update();
}

void FolderCard::setDetail(std::optional<QString> detail)
{
    if (detail == m_detail) return;
    m_detail = std::move(detail);
    update();
}

void FolderCard::setPreviews(const QList<FileItem>& previews)
{
    m_previews = previews;
    refreshStack();
}

void FolderCard::setSelected(bool selected)
{
    if (selected == m_selected) return;
    m_selected = selected;
    update();
}

void FolderCard::refreshStack()
{
    // The badge counts what the drawn thumbnails leave out, so more previews
    // than are drawn never shrink it.
    const qsizetype drawn = std::min<qsizetype>(m_previews.size(), PreviewStack::kMaxShown);
    m_stack->setContent(m_previews, extraCount(m_count, drawn), m_tint);
    relayout();
}

QSize FolderCard::sizeHint() const
{
    return {240, kHeight};
}

QSize FolderCard::minimumSizeHint() const
{
    return {160, kHeight};
}

QRectF FolderCard::panelRect() const
{
    const double top = kPanelTop - m_lift;
    const double height = kMenuRowTop + m_menuButton->sizeHint().height() + kTitleTop +
                          titleHeight() + 2 * kRulePad + 1 + PreviewStack::kSide + kPanelPadBottom;
    return QRectF(0, top, width() - kPanelTrailingInset, height);
}

void FolderCard::relayout()
{
    const QRectF panel = panelRect();
    const QSize button = m_menuButton->sizeHint();
    m_menuButton->setGeometry(int(panel.right() - kPanelPadX - button.width()),
                              int(panel.top() + kMenuRowTop), button.width(), button.height());
    const QSize stack = m_stack->sizeHint();
    m_stack->setGeometry(int(panel.left() + kPanelPadX),
                         int(panel.bottom() - kPanelPadBottom - PreviewStack::kSide), stack.width(),
                         stack.height());
}

void FolderCard::setLift(double lift)
{
    m_lift = lift;
    relayout();
    update();
}

void FolderCard::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

void FolderCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double progress = m_lift / kHoverLift;
    const QRectF tile = QRectF(rect()).translated(0, -m_lift);
    if (progress > 0) {
        SoftShadow{withAlpha(m_tint, kShadowOpacity * progress), kShadowBlur,
                   QPointF(0, kShadowDrop)}
            .paint(painter, tile.adjusted(kShadowBlur, kShadowBlur, -kShadowBlur, -kShadowBlur),
                   kCornerRadius);
    }
    paintGround(painter);

    const QRectF panel = panelRect();

    const double textLeft = panel.left() + kPanelPadX;
    const double textWidth = panel.width() - 2 * kPanelPadX;
    const double titleTop = m_menuButton->geometry().bottom() + 1 + kTitleTop;
    const QFont titleFont = FolderCard::titleFont();
    painter.setFont(titleFont);
    painter.setPen(Theme::primary());
    const QRectF titleRect(textLeft, titleTop, textWidth, titleHeight());
    painter.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(titleFont).elidedText(m_title, Qt::ElideRight, int(textWidth)));

    const double ruleY = titleRect.bottom() + kRulePad + 0.5;
    painter.setPen(QPen(withAlpha(m_tint, 0.25), 1));
    painter.drawLine(QPointF(textLeft, ruleY), QPointF(textLeft + textWidth, ruleY));

    const QRectF bottomRow(textLeft, panel.bottom() - kPanelPadBottom - PreviewStack::kSide,
                           textWidth, PreviewStack::kSide);
    const QFont detailFont = Theme::font(kDetailSize);
    painter.setFont(detailFont);
    painter.setPen(Theme::secondary());
    const double detailWidth = textWidth - m_stack->width() - 8;
    painter.drawText(
        bottomRow, Qt::AlignRight | Qt::AlignVCenter,
        QFontMetrics(detailFont)
            .elidedText(shownDetail(), Qt::ElideRight, int(std::max(0.0, detailWidth))));
}

// The folder's back, its panel with the tint's gradient and the selection's
// outline: the same on every card of one size, tint and look, so drawn once
// and then copied. Anti-aliased fills of this size cost a frame's worth of
// time when a screen of cards repaints. A lifted card is the same picture
// moved up.
void FolderCard::paintGround(QPainter& painter) const
{
    const QRectF tile(rect());
    const QRectF panel = panelRect().translated(0, m_lift);
    const QColor tint = m_tint;
    const bool selected = m_selected;
    const QString key = QStringLiteral("folder-card|") + (Theme::isDark() ? u'd' : u'l') +
                        (selected ? u's' : u'n') + QString::number(tint.rgba(), 16) + u'|' +
                        QString::number(panel.height());
    const QPixmap ground =
        CardPainting::cachedPixmap(key, tile.size(), devicePixelRatioF(), [&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(withAlpha(tint, kBackOpacity));
            p.drawPath(kShape.path(tile));
            p.setBrush(Theme::card());
            p.drawRoundedRect(panel, kCornerRadius, kCornerRadius);
            QLinearGradient gradient(panel.topLeft(), panel.bottomRight());
            gradient.setColorAt(0, withAlpha(tint, 0.10));
            gradient.setColorAt(1, withAlpha(tint, 0.18));
            p.setBrush(gradient);
            p.drawRoundedRect(panel, kCornerRadius, kCornerRadius);
            if (selected) {
                p.setBrush(Qt::NoBrush);
                p.setPen(QPen(Theme::ink(), 2));
                p.drawPath(kShape.path(tile.adjusted(1, 1, -1, -1)));
            }
        });
    drawPixelCopy(painter, QPointF(0, -m_lift), ground);
}

void FolderCard::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    m_hovering = true;
    m_hoverAnimation->stop();
    m_hoverAnimation->setStartValue(m_lift);
    m_hoverAnimation->setEndValue(kHoverLift);
    m_hoverAnimation->start();
}

void FolderCard::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    m_hovering = false;
    m_hoverAnimation->stop();
    m_hoverAnimation->setStartValue(m_lift);
    m_hoverAnimation->setEndValue(0.0);
    m_hoverAnimation->start();
}

void FolderCard::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return event->ignore();
    m_pressPosition = event->position().toPoint();
    m_pressed = true;
    m_dragged = false;
}

void FolderCard::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || m_dragged || !(event->buttons() & Qt::LeftButton)) return;
    if ((event->position().toPoint() - m_pressPosition).manhattanLength() <
        QApplication::startDragDistance())
        return;
    m_dragged = true;
    emit dragRequested();
}

void FolderCard::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) return;
    m_pressed = false;
    if (!m_dragged && rect().contains(event->position().toPoint()))
        emit clicked(event->modifiers());
}

void FolderCard::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) emit doubleClicked();
}

void FolderCard::popupMenu(const QPoint& globalPosition)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    emit menuAboutToShow(menu);
    if (menu->isEmpty()) {
        delete menu;
        return;
    }
    menu->popup(globalPosition);
}

void FolderCard::contextMenuEvent(QContextMenuEvent* event)
{
    emit contextMenuRequested(event->globalPos());
}

} // namespace ovra
