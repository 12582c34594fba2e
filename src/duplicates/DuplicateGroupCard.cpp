#include "DuplicateGroupCard.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/Location.h"
#include "ui/ElidingLabel.h"
#include "ui/FileActions.h"
#include "ui/PathText.h"
#include "ui/ScrollBarStyle.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/ThumbnailView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QStyleHints>
#include <QUrl>
#include <QVBoxLayout>

namespace ovra {

namespace {

// Components every tile shows: the folder and the file's name.
constexpr qsizetype kShortestTail = 2;

constexpr int kTilePadding = 8;
constexpr int kTileRadius = 12;
constexpr int kCardRadius = 16;
constexpr int kCardPadding = 16;

} // namespace

DuplicateTile::DuplicateTile(const FileItem& file, QWidget* parent)
    : QWidget(parent)
    , m_file(file)
{
    setFixedWidth(kWidth + 2 * kTilePadding);
    setToolTip(QStringLiteral("Click to keep this copy · double-click to preview"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kTilePadding, kTilePadding, kTilePadding, kTilePadding);
    layout->setSpacing(6);
    m_thumbnail = new ThumbnailView(this);
    m_thumbnail->setCornerRadius(8);
    m_thumbnail->setFixedSize(kWidth, kThumbnailHeight);
    m_thumbnail->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(m_thumbnail);
    m_badge = new QLabel(m_thumbnail);
    m_badge->setTextFormat(Qt::PlainText);
    m_badge->setFont(Theme::font(10, QFont::Bold));
    m_badge->move(6, 6);
    m_path = new ElidingLabel(this);
    // The part that tells copies apart may be at either end: the folder where
    // names agree, the name where folders agree.
    m_path->setElideMode(Qt::ElideMiddle);
    m_path->setFont(Theme::font(11));
    m_path->setHintCap(kWidth);
    layout->addWidget(m_path);
    m_detail = new ElidingLabel(this);
    m_detail->setFont(Theme::font(10));
    Theme::setTextTone(m_detail, &Theme::secondary);
    m_detail->setHintCap(kWidth);
    layout->addWidget(m_detail);
    for (QWidget* child : {static_cast<QWidget*>(m_path), static_cast<QWidget*>(m_detail)})
        child->setAttribute(Qt::WA_TransparentForMouseEvents);

    // A click keeps this copy only once a double click can no longer follow.
    m_clickTimer.setSingleShot(true);
    m_clickTimer.setInterval(QApplication::styleHints()->mouseDoubleClickInterval());
    connect(&m_clickTimer, &QTimer::timeout, this, &DuplicateTile::keepAsked);
}

void DuplicateTile::show(const FileItem& file, bool isKeeper, bool isSimilar,
                         const QString& pathText)
{
    m_file = file;
    m_isKeeper = isKeeper;
    m_isSimilar = isSimilar;
    m_thumbnail->setItem(file);
    m_badge->setText(badgeText());
    const QColor badge = isKeeper ? Theme::green() : withAlpha(Theme::red(), 0.85);
    m_badge->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: %1; border-radius: 8px;"
                       " padding: 3px 7px; }")
            .arg(badge.name(QColor::HexArgb)));
    m_badge->adjustSize();
    m_pathText = pathText;
    m_path->setText(m_pathText);
    m_detail->setText(detailText());
    update();
}

QString DuplicateTile::badgeText() const
{
    return m_isKeeper ? QStringLiteral("Keep") : QStringLiteral("Trash");
}

QStringList distinguishingPaths(const QStringList& paths, const QString& home)
{
    QList<QStringList> parts;
    for (const QString& path : paths)
        parts.append(tildePath(path, home).split(u'/'));
    // Two paths agree on their last `count` components.
    const auto sameTail = [](const QStringList& a, const QStringList& b, qsizetype count) {
        if (a.size() < count || b.size() < count) return a.size() == b.size() && a == b;
        for (qsizetype i = 1; i <= count; ++i)
            if (a[a.size() - i] != b[b.size() - i]) return false;
        return true;
    };
    QStringList texts;
    for (qsizetype p = 0; p < parts.size(); ++p) {
        const QStringList& mine = parts[p];
        // At least the folder and the name: a bare name says nothing of where.
        qsizetype count = std::min<qsizetype>(kShortestTail, mine.size());
        for (; count < mine.size(); ++count) {
            bool isShared = false;
            for (qsizetype q = 0; q < parts.size() && !isShared; ++q)
                isShared = q != p && sameTail(mine, parts[q], count);
            if (!isShared) break;
        }
        // Only "~" or the root would be cut: the whole path says it as briefly.
        if (count >= mine.size() - 1)
            texts.append(mine.join(u'/'));
        else
            texts.append(QStringLiteral("…/") + mine.mid(mine.size() - count).join(u'/'));
    }
    return texts;
}

QString DuplicateTile::pathText() const
{
    return m_pathText;
}

QString DuplicateTile::detailText() const
{
    const QString size = Fmt::bytes(m_file.size);
    if (m_isSimilar && m_file.pixelWidth)
        return QStringLiteral("%1×%2 · %3")
            .arg(*m_file.pixelWidth)
            .arg(m_file.pixelHeight.value_or(0))
            .arg(size);
    return size + QStringLiteral(" · ") + Fmt::date(m_file.created.value_or(m_file.modified));
}

void DuplicateTile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.75, 0.75, -0.75, -0.75);
    QPainterPath path;
    path.addRoundedRect(box, kTileRadius, kTileRadius);
    painter.fillPath(path, m_isKeeper ? withAlpha(Theme::green(), 0.08) : Theme::fill());
    if (m_isKeeper) painter.strokePath(path, QPen(Theme::green(), 1.5));
}

void DuplicateTile::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    m_pressed = true;
    m_pressPosition = event->position().toPoint();
}

void DuplicateTile::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed || (event->position().toPoint() - m_pressPosition).manhattanLength() <
                          QApplication::startDragDistance())
        return;
    m_pressed = false;
    m_clickTimer.stop();
    // Out of the app a file is offered as a copy only, so nothing can move it away.
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m_file.path)});
    data->setText(m_file.path);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}

void DuplicateTile::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_pressed &&
        rect().contains(event->position().toPoint()))
        m_clickTimer.start();
    m_pressed = false;
}

void DuplicateTile::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    m_clickTimer.stop();
    m_pressed = false;
    emit previewAsked();
}

void DuplicateTile::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    const auto ink = &Theme::primary;
    menu.addAction(Symbols::icon(QStringLiteral("checkmark.circle"), ink),
                   QStringLiteral("Keep This Copy"), this, &DuplicateTile::keepAsked);
    menu.addAction(Symbols::icon(QStringLiteral("eye"), ink), QStringLiteral("Preview"), this,
                   &DuplicateTile::previewAsked);
    menu.addAction(Symbols::icon(QStringLiteral("folder"), ink), QStringLiteral("Show in Folder"),
                   this, &DuplicateTile::revealAsked);
    menu.exec(event->globalPos());
}

DuplicateGroupCard::DuplicateGroupCard(AppState* state, bool isSimilar, OnKeep onKeep,
                                       OnTrash onTrash, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_isSimilar(isSimilar)
    , m_onKeep(std::move(onKeep))
    , m_onTrash(std::move(onTrash))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kCardPadding, kCardPadding, kCardPadding, kCardPadding);
    column->setSpacing(14);

    auto* header = new QHBoxLayout;
    header->setSpacing(10);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(3);
    m_name = new ElidingLabel(this);
    m_name->setElideMode(Qt::ElideMiddle);
    m_name->setFont(Theme::font(13, QFont::Medium));
    m_name->setHintCap(520);
    titles->addWidget(m_name);
    m_summary = new QLabel(this);
    m_summary->setTextFormat(Qt::PlainText);
    m_summary->setFont(Theme::font(11));
    m_summary->setWordWrap(true);
    Theme::setTextTone(m_summary, &Theme::secondary);
    titles->addWidget(m_summary);
    header->addLayout(titles, 1);
    m_trashButton = new QPushButton(this);
    m_trashButton->setFont(Theme::font(12));
    m_trashButton->setIcon(Symbols::icon(QStringLiteral("trash"), &Theme::primary));
    connect(m_trashButton, &QPushButton::clicked, this, [this] {
        if (m_onTrash) m_onTrash();
    });
    header->addWidget(m_trashButton, 0, Qt::AlignVCenter);
    column->addLayout(header);

    auto* scroller = new QScrollArea(this);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroller->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBarStyle::apply(scroller);
    scroller->setWidgetResizable(true);
    // The strip lies on the card: nothing of the scroll area paints over it.
    QPalette clear = scroller->palette();
    clear.setColor(QPalette::Window, Qt::transparent);
    clear.setColor(QPalette::Base, Qt::transparent);
    scroller->setPalette(clear);
    scroller->viewport()->setPalette(clear);
    scroller->viewport()->setAutoFillBackground(false);
    auto* strip = new QWidget;
    strip->setPalette(clear);
    strip->setAutoFillBackground(false);
    m_strip = new QHBoxLayout(strip);
    m_strip->setContentsMargins(2, 2, 2, 2);
    m_strip->setSpacing(12);
    m_strip->addStretch(1);
    scroller->setWidget(strip);
    column->addWidget(scroller);
}

void DuplicateGroupCard::setGroup(const DuplicateGroup& group)
{
    m_group = group;
    // Tiles follow the files: reused in order, made or dropped as the count changes.
    while (m_tiles.size() > m_group.files.size())
        delete m_tiles.takeLast();
    while (m_tiles.size() < m_group.files.size()) {
        auto* tile = new DuplicateTile(m_group.files[m_tiles.size()]);
        m_strip->insertWidget(int(m_tiles.size()), tile);
        connect(tile, &DuplicateTile::keepAsked, this, [this, tile] {
            if (m_onKeep) m_onKeep(tile->file().path);
        });
        connect(tile, &DuplicateTile::previewAsked, this, [this, tile] {
            if (m_state) m_state->preview(tile->file(), m_group.files);
        });
        connect(tile, &DuplicateTile::revealAsked, this, [this, tile] {
            if (m_state) FileActions::reveal(*m_state, {tile->file()});
        });
        m_tiles.append(tile);
    }
    const QString kept = m_group.files.isEmpty() ? QString() : m_group.keeper().path;
    int tallest = 0;
    QStringList paths;
    for (const FileItem& file : std::as_const(m_group.files))
        paths.append(file.path);
    const QStringList texts = distinguishingPaths(paths, Location::home());
    for (qsizetype i = 0; i < m_tiles.size(); ++i) {
        m_tiles[i]->show(m_group.files[i], m_group.files[i].path == kept, m_isSimilar, texts[i]);
        tallest = std::max(tallest, m_tiles[i]->sizeHint().height());
    }
    if (auto* scroller = findChild<QScrollArea*>()) scroller->setFixedHeight(tallest + 4 + 14);
    m_name->setText(keeperName());
    m_summary->setText(summaryText());
    // The styles draw the icon flush against the label; a blank keeps them apart.
    m_trashButton->setText(u' ' + trashButtonText());
}

QString DuplicateGroupCard::keeperName() const
{
    return m_group.files.isEmpty() ? QString() : m_group.keeper().name;
}

QString DuplicateGroupCard::summaryText() const
{
    return QStringLiteral("%1 %2 · %3 can be freed")
        .arg(m_group.files.size())
        .arg(m_isSimilar ? QStringLiteral("similar photos") : QStringLiteral("identical copies"))
        .arg(Fmt::bytes(m_group.reclaimable()));
}

QString DuplicateGroupCard::trashButtonText() const
{
    return QStringLiteral("Keep 1, Trash %1").arg(m_group.extras().size());
}

void DuplicateGroupCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCardRadius, kCardRadius);
    painter.fillPath(path, Theme::card());
    painter.strokePath(path, QPen(Theme::line(), 1));
}

} // namespace ovra
