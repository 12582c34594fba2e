#include "FileRow.h"

#include "CardPainting.h"
#include "library/Fmt.h"
#include "ui/AppIcons.h"
#include "ui/Theme.h"
#include "ui/ThumbnailView.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace ovra {

namespace {

constexpr int kPaddingX = 12;
constexpr int kSpacing = 14;
constexpr int kThumbnailSide = 40;
constexpr double kThumbnailRadius = 8;
constexpr double kMinSpacer = 12;
constexpr double kNameKindSpacing = 3;
constexpr int kNameSize = 13;
constexpr int kKindSize = 11;
// The size and date columns take the row's own font.
constexpr int kRowFontSize = 12;
constexpr double kCornerRadius = 12;
constexpr double kSelectedFillOpacity = 0.07;

QFont nameFont()
{
    return Theme::monospacedFont(kNameSize);
}

QFont kindFont()
{
    return Theme::font(kKindSize);
}

QFont rowFont()
{
    return Theme::font(kRowFontSize);
}

QString plainToolTip(const QString& text)
{
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

} // namespace

FileRow::FileRow(QWidget* parent)
    : FileRow(Thumbnails::shared(), parent)
{
}

FileRow::FileRow(Thumbnails& loader, QWidget* parent)
    : QWidget(parent)
    , m_thumbnail(new ThumbnailView(loader, this))
{
    setFocusPolicy(Qt::NoFocus);
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_thumbnail->setCornerRadius(kThumbnailRadius);
    // Clicks on the picture are clicks on the row.
    m_thumbnail->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_thumbnail->setGeometry(layout().thumbnail);
    if (ThemeNotifier* notifier = Theme::notifier()) {
        connect(notifier, &ThemeNotifier::appearanceChanged, this, [this] {
            m_thumbnail->setPrimaryColor(Theme::primary());
            update();
        });
    }
    m_thumbnail->setPrimaryColor(Theme::primary());
    // The application icon is looked up off the GUI thread: ask again when it
    // arrives.
    connect(AppIcons::notifier(), &AppIcons::Notifier::iconsArrived, this, [this] {
        if (m_appIcon || m_item.path.isEmpty()) return;
        m_appIcon = AppIcons::defaultApp(m_item);
        if (m_appIcon) update();
    });
}

FileRow::~FileRow() = default;

void FileRow::setItem(const FileItem& item)
{
    const bool otherFile = item.path != m_item.path;
    m_item = item;
    m_thumbnail->setItem(item);
    m_appIcon = AppIcons::defaultApp(item);
    m_dateText = Fmt::dateTime(item.modified);
    if (otherFile) {
        m_pointer.forget();
        m_hovering = underMouse();
    }
    setToolTip(plainToolTip(item.name));
    setAccessibleName(item.displayTitle());
    update();
}

void FileRow::setSelected(bool selected)
{
    if (selected == m_isSelected) return;
    m_isSelected = selected;
    update();
}

void FileRow::setFocused(bool focused)
{
    m_isFocused = focused;
}

void FileRow::setPlaying(bool playing)
{
    if (playing == m_isPlaying) return;
    m_isPlaying = playing;
    update();
}

void FileRow::setHovering(bool hovering)
{
    if (hovering == m_hovering) return;
    m_hovering = hovering;
    update();
}

FileRow::Layout FileRow::layout() const
{
    Layout l;
    const double w = width();
    l.thumbnail = QRect(kPaddingX, (kHeight - kThumbnailSide) / 2, kThumbnailSide, kThumbnailSide);
    // From the trailing edge: the app icon, the date, the size, each a fixed
    // width, so every row lines them up whatever its name.
    const double centreY = kHeight / 2.0;
    l.appIcon = QRectF(w - kPaddingX - kAppIconSide, centreY - kAppIconSide / 2.0, kAppIconSide,
                       kAppIconSide);
    l.date = QRectF(l.appIcon.left() - kSpacing - kDateColumn, 0, kDateColumn, kHeight);
    l.size = QRectF(l.date.left() - kSpacing - kSizeColumn, 0, kSizeColumn, kHeight);

    const double nameLeft = l.thumbnail.right() + 1 + kSpacing;
    // The spacer between the name and the size keeps its least length and a
    // spacing on either side.
    const double nameRight = l.size.left() - kSpacing - kMinSpacer - kSpacing;
    const double nameWidth = std::max(0.0, nameRight - nameLeft);
    const double nameHeight = CardPainting::lineHeight(nameFont());
    const double kindHeight = CardPainting::lineHeight(kindFont());
    const double top = centreY - (nameHeight + kNameKindSpacing + kindHeight) / 2;
    l.name = QRectF(nameLeft, top, nameWidth, nameHeight);
    l.kind = QRectF(nameLeft, l.name.bottom() + kNameKindSpacing, nameWidth, kindHeight);
    return l;
}

const QString& FileRow::elided(Elided& memo, const QFont& font, const QString& text, double width)
{
    if (memo.width != width || memo.text != text || memo.font != font) {
        memo.text = text;
        memo.font = font;
        memo.width = width;
        memo.shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, width);
    }
    return memo.shown;
}

QString FileRow::shownName() const
{
    return elided(m_elidedName, nameFont(), m_item.displayTitle(), layout().name.width());
}

QString FileRow::shownKind() const
{
    return elided(m_elidedKind, kindFont(), m_item.kindDescription(), layout().kind.width());
}

QSize FileRow::sizeHint() const
{
    return {minimumSizeHint().width() + int(QFontMetricsF(nameFont()).averageCharWidth() * 24),
            kHeight};
}

QSize FileRow::minimumSizeHint() const
{
    // Every fixed column, the spacings and the spacer's least length.
    const int fixed = 2 * kPaddingX + kThumbnailSide + kSizeColumn + kDateColumn + kAppIconSide +
                      5 * kSpacing + int(kMinSpacer);
    return {fixed, kHeight};
}

void FileRow::paintEvent(QPaintEvent*)
{
    if (m_item.path.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    const Layout l = layout();

    // The selection wins over the hover.
    QColor background = Qt::transparent;
    if (m_isSelected)
        background = fadedBy(Theme::primary(), kSelectedFillOpacity);
    else if (m_hovering)
        background = Theme::fill();
    if (background.alpha() > 0) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(background);
        painter.drawRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
    }

    painter.setFont(nameFont());
    painter.setPen(m_isPlaying ? Theme::red() : Theme::primary());
    painter.drawText(l.name, Qt::AlignLeft | Qt::AlignVCenter, shownName());
    painter.setFont(kindFont());
    painter.setPen(Theme::secondary());
    painter.drawText(l.kind, Qt::AlignLeft | Qt::AlignVCenter, shownKind());

    const QFont font = rowFont();
    painter.setFont(font);
    painter.drawText(l.size, Qt::AlignRight | Qt::AlignVCenter,
                     elided(m_elidedSize, font, sizeText(), l.size.width()));
    painter.drawText(l.date, Qt::AlignRight | Qt::AlignVCenter,
                     elided(m_elidedDate, font, m_dateText, l.date.width()));

    if (m_appIcon) {
        const QSize pixels = (l.appIcon.size() * devicePixelRatioF()).toSize();
        QPixmap icon = m_appIcon->pixmap(pixels);
        if (!icon.isNull()) {
            icon.setDevicePixelRatio(devicePixelRatioF());
            painter.drawPixmap(l.appIcon, icon, QRectF(icon.rect()));
        }
    }
}

void FileRow::resizeEvent(QResizeEvent* event)
{
    m_thumbnail->setGeometry(layout().thumbnail);
    QWidget::resizeEvent(event);
}

// The whole row is one part: clicks and drags anywhere on it are the file's.
constexpr int kRowPart = 1;

void FileRow::mousePressEvent(QMouseEvent* event)
{
    if (!m_pointer.press(*event, kRowPart)) event->ignore();
}

void FileRow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pointer.dragStarts(*event, kRowPart)) emit dragRequested(m_item);
}

void FileRow::mouseReleaseEvent(QMouseEvent* event)
{
    const bool inside = rect().contains(event->position().toPoint());
    if (m_pointer.release(*event, inside ? kRowPart : TilePointer::kNothing) == kRowPart)
        emit clicked(m_item, event->modifiers());
    else
        event->ignore();
}

void FileRow::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (m_pointer.doubleClick(*event, kRowPart))
        emit doubleClicked(m_item);
    else
        event->ignore();
}

void FileRow::contextMenuEvent(QContextMenuEvent* event)
{
    emit contextMenuRequested(m_item, event->globalPos());
}

void FileRow::enterEvent(QEnterEvent* event)
{
    setHovering(true);
    QWidget::enterEvent(event);
}

void FileRow::leaveEvent(QEvent* event)
{
    setHovering(false);
    QWidget::leaveEvent(event);
}

} // namespace ovra
