#include "GalleryCard.h"

#include "CardPainting.h"
#include "PlaceholderCover.h"
#include "library/Fmt.h"
#include "library/SidebarItem.h"
#include "platform/PathKey.h"
#include "services/CopyText.h"
#include "services/TextIndex.h"
#include "services/TextRecognizer.h"
#include "ui/PixelCopy.h"
#include "ui/SoftShadow.h"
#include "ui/Spinner.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QEasingCurve>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <QVariantAnimation>

#include <algorithm>
#include <array>

namespace ovra {

namespace {

constexpr std::array<int, 3> kCardWidths{200, 250, 320};
constexpr std::array<int, 3> kThumbnailHeights{198, 226, 278};

// Picture area.
constexpr double kThumbnailBackdropOpacity = 0.04;
constexpr QMarginsF kThumbnailInsets{28, 42, 28, 20};
constexpr double kOverlayInset = 10;

// Text block.
constexpr int kTextInsetX = 14;
constexpr int kTextInsetY = 13;
constexpr int kTextSpacing = 5;
constexpr int kTitleSize = 13;
constexpr int kDateSize = 12;

// Border and hover.
constexpr double kSelectedBorder = 2;
constexpr double kBorder = 1;
const SoftShadow kHoverShadow{QColor(0, 0, 0, 20), 12, QPointF(0, 6)}; // black at 8 %
constexpr int kHoverMs = 180;

// Tag.
constexpr int kTagFontSize = 11;
constexpr double kTagDot = 6;
constexpr double kTagSpacing = 5;
constexpr double kTagPaddingX = 9;
constexpr double kTagPaddingY = 4;
const QColor kTagDotColour = QColor::fromRgbF(0.16f, 0.72f, 0.45f);
// The tag leaves this much room before the menu button.
constexpr double kTagGapToMenu = 8;

// Menu button: the vertical dots in a capsule.
constexpr double kMenuWidth = 38;
constexpr double kMenuHeight = 24;
constexpr double kMenuSymbol = 13;

// Copy Text button.
constexpr int kCopyFontSize = 11;
constexpr double kCopyHeight = 24;
constexpr double kCopyPaddingX = 9;
constexpr double kCopySymbol = 12;
constexpr double kCopySpacing = 4;

const QString kSeparator = QStringLiteral(" \u00B7 ");

int sizeIndex(CardSize size)
{
    return std::clamp(int(size), 0, int(kCardWidths.size()) - 1);
}

QFont titleFont()
{
    return Theme::font(kTitleSize, QFont::Medium);
}

QFont dateFont()
{
    return Theme::font(kDateSize);
}

QFont tagFont()
{
    return Theme::font(kTagFontSize, QFont::Medium);
}

QFont copyFont()
{
    return Theme::font(kCopyFontSize, QFont::Medium);
}

QString copyLabel()
{
    return GalleryCard::tr("Copy Text");
}

int textBlockHeight()
{
    return 2 * kTextInsetY + int(CardPainting::lineHeight(titleFont())) + kTextSpacing +
           int(CardPainting::lineHeight(dateFont()));
}

// The ease-out curve of the hover: starts fast, settles gently.
QEasingCurve easeOut()
{
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

// Names are shown as written: a tooltip would otherwise read a name such as
// "<b>draft</b>" as markup.
QString plainToolTip(const QString& text)
{
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

} // namespace

GalleryCard::GalleryCard(const AppContext& context, QWidget* parent)
    : GalleryCard(context, Thumbnails::shared(), parent)
{
}

GalleryCard::GalleryCard(const AppContext& context, Thumbnails& loader, QWidget* parent)
    : QWidget(parent)
    , m_state(context.state)
    , m_textIndex(context.textIndex)
    , m_thumbnail(loader)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    m_spinner = new Spinner(this);
    m_spinner->hide();
    connect(&m_thumbnail, &CardThumbnail::changed, this, [this] {
        updateSpinner();
        update();
    });
    if (ThemeNotifier* notifier = Theme::notifier())
        connect(notifier, &ThemeNotifier::appearanceChanged, this, qOverload<>(&QWidget::update));
    setCardSize(m_size);
}

GalleryCard::~GalleryCard() = default;

int GalleryCard::cardWidth(CardSize size)
{
    return kCardWidths[size_t(sizeIndex(size))];
}

int GalleryCard::thumbnailHeight(CardSize size)
{
    return kThumbnailHeights[size_t(sizeIndex(size))];
}

QSize GalleryCard::cardDimensions(CardSize size)
{
    return {cardWidth(size), thumbnailHeight(size) + textBlockHeight()};
}

QString GalleryCard::copyTextHelp()
{
    return tr("Copy the text in this image");
}

QSize GalleryCard::shownCardSize() const
{
    return {m_width.value_or(cardWidth(m_size)), thumbnailHeight(m_size) + textBlockHeight()};
}

QMargins GalleryCard::shadowMargins()
{
    // The shadow spreads its blur radius around the card, moved down by its
    // offset.
    const int blur = int(kHoverShadow.blurRadius);
    const int down = int(kHoverShadow.offset.y());
    return {blur, std::max(0, blur - down), blur, blur + down};
}

QString GalleryCard::tagText(const FileItem& item, CardSize size)
{
    const QString extension = pathExtension(item.path);
    const QString base =
        extension.isEmpty() ? SidebarItem::category(item.category).title() : extension.toUpper();
    const bool timed =
        item.category == FileCategory::videos || item.category == FileCategory::music;
    if (timed && item.duration) return base + kSeparator + Fmt::duration(*item.duration);
    if (item.category == FileCategory::apps) return QStringLiteral("App");
    if (item.category == FileCategory::images && item.pixelWidth && item.pixelHeight &&
        size != CardSize::small)
        return base + kSeparator + QString::number(*item.pixelWidth) + QChar(0x00D7) +
               QString::number(*item.pixelHeight);
    if (item.size >= 1) return base + kSeparator + Fmt::bytes(item.size);
    return base;
}

bool GalleryCard::offersCopyText(const FileItem& item, bool hovering, const TextIndex* index)
{
    if (item.category != FileCategory::images) return false;
    if (!TextRecognizer::canRead(item)) return false;
    if (!hovering || !index) return false;
    // Only this very version of the file, known to hold no text, withholds it:
    // an older reading may be wrong by now.
    const TextIndex::Entry* entry = index->currentEntry(item);
    return !(entry && entry->text.isEmpty());
}

void GalleryCard::setItem(const FileItem& item)
{
    const bool otherFile = item.path != m_item.path;
    m_item = item;
    m_thumbnail.setItem(item);
    if (otherFile) {
        // A card re-used for another file starts that file's hover afresh,
        // from where the pointer is now.
        m_pointer.forget();
        const bool under = underMouse() && cardRect().contains(mapFromGlobal(QCursor::pos()));
        setHovering(under, false);
    }
    setToolTip(plainToolTip(item.name));
    setAccessibleName(item.displayTitle());
    refreshTexts();
    updateSpinner();
    update();
}

void GalleryCard::setCardSize(CardSize size)
{
    m_size = size;
    applySize();
}

void GalleryCard::setCardWidth(std::optional<int> width)
{
    if (width == m_width) return;
    m_width = width;
    applySize();
}

void GalleryCard::applySize()
{
    setFixedSize(shownCardSize().grownBy(shadowMargins()));
    m_thumbnail.setSize(layout().thumbnailContent.size());
    refreshTexts();
    updateSpinner();
    update();
}

void GalleryCard::setSelected(bool selected)
{
    if (selected == m_isSelected) return;
    m_isSelected = selected;
    update();
}

void GalleryCard::setFocused(bool focused)
{
    m_isFocused = focused;
}

void GalleryCard::setPlaying(bool playing)
{
    if (playing == m_isPlaying) return;
    m_isPlaying = playing;
    update();
}

void GalleryCard::setHovering(bool hovering, bool animated)
{
    const double target = hovering ? 1.0 : 0.0;
    if (!animated || !isVisible()) {
        m_hovering = hovering;
        if (m_hoverAnimation) m_hoverAnimation->stop();
        setHoverProgress(target);
        return;
    }
    if (hovering == m_hovering) return;
    m_hovering = hovering;
    if (!m_hoverAnimation) {
        m_hoverAnimation = new QVariantAnimation(this);
        m_hoverAnimation->setDuration(kHoverMs);
        m_hoverAnimation->setEasingCurve(easeOut());
        connect(m_hoverAnimation, &QVariantAnimation::valueChanged, this,
                [this](const QVariant& value) { setHoverProgress(value.toDouble()); });
    }
    m_hoverAnimation->stop();
    m_hoverAnimation->setStartValue(m_hoverProgress);
    m_hoverAnimation->setEndValue(target);
    m_hoverAnimation->start();
}

void GalleryCard::setHoverProgress(double progress)
{
    m_hoverProgress = progress;
    update();
}

QRect GalleryCard::cardRect() const
{
    const QMargins margins = shadowMargins();
    return QRect(QPoint(margins.left(), margins.top()), shownCardSize());
}

QSize GalleryCard::sizeHint() const
{
    return shownCardSize().grownBy(shadowMargins());
}

GalleryCard::Layout GalleryCard::layout() const
{
    Layout l;
    l.card = cardRect();
    const QRectF card(l.card);
    l.thumbnailArea = QRect(l.card.topLeft(), QSize(l.card.width(), thumbnailHeight(m_size)));
    l.thumbnailContent = QRectF(l.thumbnailArea) - kThumbnailInsets;

    l.menuButton = QRectF(card.right() - kOverlayInset - kMenuWidth, card.top() + kOverlayInset,
                          kMenuWidth, kMenuHeight);

    const QFontMetricsF tagMetrics(tagFont());
    const double tagHeight = tagMetrics.height() + 2 * kTagPaddingY;
    const double tagChrome = 2 * kTagPaddingX + kTagDot + kTagSpacing;
    const double tagRoom = l.menuButton.left() - kTagGapToMenu - (card.left() + kOverlayInset);
    const double tagWidth = std::min(tagRoom, tagChrome + m_shownTagWidth);
    l.tag = QRectF(card.left() + kOverlayInset, card.top() + kOverlayInset, tagWidth, tagHeight);

    // Measured once: the layout is worked out on every paint.
    static const double copyLabelWidth = QFontMetricsF(copyFont()).horizontalAdvance(copyLabel());
    const double copyWidth = 2 * kCopyPaddingX + kCopySymbol + kCopySpacing + copyLabelWidth;
    const QRectF area(l.thumbnailArea);
    l.copyButton = QRectF(area.right() - kOverlayInset - copyWidth,
                          area.bottom() - kOverlayInset - kCopyHeight, copyWidth, kCopyHeight);

    const double textLeft = card.left() + kTextInsetX;
    const double textWidth = card.width() - 2 * kTextInsetX;
    const double titleHeight = CardPainting::lineHeight(titleFont());
    l.title = QRectF(textLeft, area.bottom() + kTextInsetY, textWidth, titleHeight);
    l.date = QRectF(textLeft, l.title.bottom() + kTextSpacing, textWidth,
                    CardPainting::lineHeight(dateFont()));
    return l;
}

void GalleryCard::refreshTexts()
{
    const int width = shownCardSize().width();
    const double textWidth = width - 2 * kTextInsetX;
    m_shownTitle =
        QFontMetricsF(titleFont()).elidedText(m_item.displayTitle(), Qt::ElideMiddle, textWidth);
    m_shownDate = QFontMetricsF(dateFont())
                      .elidedText(Fmt::dateTime(m_item.modified), Qt::ElideRight, textWidth);
    // The tag gets what room the menu button leaves it.
    const double tagRoom = width - 2 * kOverlayInset - kMenuWidth - kTagGapToMenu -
                           2 * kTagPaddingX - kTagDot - kTagSpacing;
    const QFontMetricsF tagMetrics(tagFont());
    m_shownTag = tagMetrics.elidedText(tagText(m_item, m_size), Qt::ElideRight, tagRoom);
    m_shownTagWidth = tagMetrics.horizontalAdvance(m_shownTag);
}

bool GalleryCard::menuButtonShown() const
{
    return m_hovering || m_isSelected;
}

bool GalleryCard::copyButtonShown() const
{
    return m_state && offersCopyText(m_item, m_hovering, m_textIndex);
}

GalleryCard::Part GalleryCard::partAt(const QPoint& pos) const
{
    const Layout l = layout();
    if (!l.card.contains(pos)) return Part::none;
    if (menuButtonShown() && l.menuButton.contains(pos)) return Part::menuButton;
    if (copyButtonShown() && l.copyButton.contains(pos)) return Part::copyButton;
    return Part::card;
}

void GalleryCard::updateSpinner()
{
    const bool shows = m_thumbnail.showsSpinner();
    if (shows) {
        const QPointF centre = layout().thumbnailContent.center();
        const QSize size = m_spinner->sizeHint();
        m_spinner->setGeometry(
            QRect((centre - QPointF(size.width() / 2.0, size.height() / 2.0)).toPoint(), size));
    }
    m_spinner->setVisible(shows);
}

void GalleryCard::copyText()
{
    if (!m_state || !m_textIndex) return;
    // The button copies this card's file only, never the selection.
    CopyText::run({m_item}, *m_textIndex, *m_state);
}

// Painting

void GalleryCard::paintEvent(QPaintEvent*)
{
    if (m_item.path.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    const Layout l = layout();
    paintShadow(painter, l);
    paintFrame(painter, l);
    const bool videoBadge = m_item.category == FileCategory::videos;
    const double badgeOpacity = !videoBadge ? 0.0 : m_isPlaying ? 1.0 : m_hoverProgress;
    m_thumbnail.paint(painter, l.thumbnailContent, m_hoverProgress, badgeOpacity);
    paintTag(painter, l);
    paintMenuButton(painter, l);
    paintCopyButton(painter, l);
    paintTexts(painter, l);
}

void GalleryCard::paintShadow(QPainter& painter, const Layout& l) const
{
    if (m_hoverProgress <= 0) return;
    const QRectF card(l.card);
    const QRectF area(rect());
    const QPixmap shadow =
        CardPainting::cachedPixmap(QStringLiteral("card-shadow|") + (Theme::isDark() ? u'd' : u'l'),
                                   area.size(), devicePixelRatioF(), [&](QPainter& p) {
                                       kHoverShadow.paint(p, card, kCornerRadius);
                                       // Only beyond the card's edge: the picture area is
                                       // see-through, and a shadow showing through it would grey
                                       // the card.
                                       QPainterPath inside;
                                       inside.addRoundedRect(card, kCornerRadius, kCornerRadius);
                                       p.setCompositionMode(QPainter::CompositionMode_Clear);
                                       p.fillPath(inside, Qt::black);
                                   });
    painter.save();
    painter.setOpacity(m_hoverProgress);
    drawPixelCopy(painter, area.topLeft(), shadow);
    painter.restore();
}

// The picture area's backdrop, the text block's ground and the border: the
// same on every card of one size, so drawn once.
void GalleryCard::paintFrame(QPainter& painter, const Layout& l) const
{
    const QRectF card(QPointF(0, 0), QSizeF(l.card.size()));
    const double pictureHeight = l.thumbnailArea.height();
    const bool selected = m_isSelected;
    const QPixmap frame = CardPainting::cachedPixmap(
        QStringLiteral("card-frame|") + (Theme::isDark() ? u'd' : u'l') + (selected ? u's' : u'n') +
            QString::number(pictureHeight),
        card.size(), devicePixelRatioF(), [&](QPainter& p) {
            QPainterPath shape;
            shape.addRoundedRect(card, kCornerRadius, kCornerRadius);
            QPainterPath picture;
            picture.addRect(QRectF(0, 0, card.width(), pictureHeight));
            QPainterPath text;
            text.addRect(card.adjusted(0, pictureHeight, 0, 0));
            p.fillPath(shape.intersected(picture),
                       fadedBy(Theme::primary(), kThumbnailBackdropOpacity));
            p.fillPath(shape.intersected(text), Theme::card());
            // The border lies at the edge, clear of the picture and the badges
            // drawn later, so it goes in with the ground.
            if (selected)
                CardPainting::strokeInside(p, card, kCornerRadius, Theme::ink(), kSelectedBorder);
            else
                CardPainting::strokeInside(p, card, kCornerRadius, Theme::line(), kBorder);
        });
    drawPixelCopy(painter, QPointF(l.card.topLeft()), frame);
}

// Few tags differ (a type and a size), and a capsule's anti-aliased edge
// costs more than copying it: each is drawn once.
void GalleryCard::paintTag(QPainter& painter, const Layout& l) const
{
    const QRectF tag(QPointF(0, 0), l.tag.size());
    const QString text = m_shownTag;
    const QPixmap pixmap = CardPainting::cachedPixmap(
        QStringLiteral("card-tag|") + (Theme::isDark() ? u'd' : u'l') + text, tag.size(),
        devicePixelRatioF(), [&](QPainter& p) {
            CardPainting::capsule(p, tag, Theme::card(), Theme::line());
            const QRectF dot(tag.left() + kTagPaddingX, tag.center().y() - kTagDot / 2, kTagDot,
                             kTagDot);
            p.setPen(Qt::NoPen);
            p.setBrush(kTagDotColour);
            p.drawEllipse(dot);
            p.setFont(tagFont());
            p.setPen(Theme::secondary());
            const QRectF room(dot.right() + kTagSpacing, tag.top(),
                              tag.right() - kTagPaddingX - dot.right() - kTagSpacing, tag.height());
            p.drawText(room, Qt::AlignLeft | Qt::AlignVCenter, text);
        });
    drawPixelCopy(painter, l.tag.topLeft(), pixmap);
}

void GalleryCard::paintMenuButton(QPainter& painter, const Layout& l) const
{
    const double opacity = m_isSelected ? 1.0 : m_hoverProgress;
    if (opacity <= 0) return;
    const QRectF button(QPointF(0, 0), l.menuButton.size());
    const QPixmap pixmap = CardPainting::cachedPixmap(
        QStringLiteral("card-menu|") + (Theme::isDark() ? u'd' : u'l'), button.size(),
        devicePixelRatioF(), [&](QPainter& p) {
            CardPainting::capsule(p, button, Theme::card(), Theme::line());
            // The horizontal ellipsis turned a quarter so the dots stand
            // upright, as on every menu button of the app.
            p.translate(button.center());
            p.rotate(90);
            Symbols::paint(p, QStringLiteral("ellipsis"),
                           QRectF(-kMenuSymbol / 2, -kMenuSymbol / 2, kMenuSymbol, kMenuSymbol),
                           Theme::secondary());
        });
    painter.save();
    painter.setOpacity(opacity);
    drawPixelCopy(painter, l.menuButton.topLeft(), pixmap);
    painter.restore();
}

void GalleryCard::paintCopyButton(QPainter& painter, const Layout& l) const
{
    // The offer is judged as if hovered, so the button can fade out too.
    if (m_hoverProgress <= 0 || !m_state || !offersCopyText(m_item, true, m_textIndex)) return;
    const QRectF button(QPointF(0, 0), l.copyButton.size());
    const QPixmap pixmap = CardPainting::cachedPixmap(
        QStringLiteral("card-copy|") + (Theme::isDark() ? u'd' : u'l'), button.size(),
        devicePixelRatioF(), [&](QPainter& p) {
            CardPainting::capsule(p, button, Theme::card(), Theme::line());
            const QRectF symbol(kCopyPaddingX, button.center().y() - kCopySymbol / 2, kCopySymbol,
                                kCopySymbol);
            Symbols::paint(p, QStringLiteral("text.viewfinder"), symbol, Theme::secondary());
            p.setFont(copyFont());
            p.setPen(Theme::secondary());
            p.drawText(QRectF(symbol.right() + kCopySpacing, 0,
                              button.right() - kCopyPaddingX - symbol.right() - kCopySpacing,
                              button.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, copyLabel());
        });
    painter.save();
    painter.setOpacity(m_hoverProgress);
    drawPixelCopy(painter, l.copyButton.topLeft(), pixmap);
    painter.restore();
}

void GalleryCard::paintTexts(QPainter& painter, const Layout& l) const
{
    painter.save();
    painter.setFont(titleFont());
    painter.setPen(m_isPlaying ? Theme::red() : Theme::primary());
    painter.drawText(l.title, Qt::AlignLeft | Qt::AlignVCenter, m_shownTitle);
    painter.setFont(dateFont());
    painter.setPen(Theme::tertiary());
    painter.drawText(l.date, Qt::AlignLeft | Qt::AlignVCenter, m_shownDate);
    painter.restore();
}

// Events

void GalleryCard::showEvent(QShowEvent* event)
{
    m_thumbnail.setActive(true);
    updateSpinner();
    QWidget::showEvent(event);
}

void GalleryCard::hideEvent(QHideEvent* event)
{
    // Off screen, the picture is no longer urgent: showing again asks anew.
    m_thumbnail.setActive(false);
    QWidget::hideEvent(event);
}

bool GalleryCard::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const Layout l = layout();
        const bool overCopy = copyButtonShown() && l.copyButton.contains(QPointF(help->pos()));
        // Over the button its own text, kept while the pointer stays on it.
        QToolTip::showText(help->globalPos(), helpTextAt(help->pos()), this,
                           overCopy ? l.copyButton.toAlignedRect() : l.card);
        return true;
    }
    return QWidget::event(event);
}

QString GalleryCard::helpTextAt(const QPoint& pos) const
{
    if (copyButtonShown() && layout().copyButton.contains(QPointF(pos))) return copyTextHelp();
    return toolTip();
}

void GalleryCard::mousePressEvent(QMouseEvent* event)
{
    if (!m_pointer.press(*event, int(partAt(event->position().toPoint())))) event->ignore();
}

void GalleryCard::mouseMoveEvent(QMouseEvent* event)
{
    setHovering(cardRect().contains(event->position().toPoint()));
    if (m_pointer.dragStarts(*event, int(Part::card))) emit dragRequested(m_item);
}

void GalleryCard::mouseReleaseEvent(QMouseEvent* event)
{
    // A click counts where it began and ended on the same part.
    switch (Part(m_pointer.release(*event, int(partAt(event->position().toPoint()))))) {
    case Part::card: emit clicked(m_item, event->modifiers()); break;
    case Part::menuButton:
        emit contextMenuRequested(m_item, mapToGlobal(layout().menuButton.bottomLeft().toPoint()));
        break;
    case Part::copyButton: copyText(); break;
    case Part::none: event->ignore(); break;
    }
}

void GalleryCard::mouseDoubleClickEvent(QMouseEvent* event)
{
    const bool onCard = partAt(event->position().toPoint()) == Part::card;
    if (m_pointer.doubleClick(*event, onCard ? int(Part::card) : TilePointer::kNothing))
        emit doubleClicked(m_item);
    else
        event->ignore();
}

void GalleryCard::contextMenuEvent(QContextMenuEvent* event)
{
    if (!cardRect().contains(event->pos())) {
        event->ignore();
        return;
    }
    emit contextMenuRequested(m_item, event->globalPos());
}

void GalleryCard::leaveEvent(QEvent* event)
{
    setHovering(false);
    QWidget::leaveEvent(event);
}

void GalleryCard::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        refreshTexts();
        update();
    }
    QWidget::changeEvent(event);
}

} // namespace ovra
