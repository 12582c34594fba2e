#include "SourceViews.h"

#include "CardGrid.h"
#include "HoverLift.h"
#include "browser/FileBrowser.h"
#include "browser/FolderCard.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/LibraryStore.h"
#include "platform/Background.h"
#include "ui/EmptyStateView.h"
#include "ui/ScreenColumn.h"
#include "ui/ScrollBarStyle.h"
#include "ui/SectionTitle.h"
#include "ui/Spinner.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace ovra {

namespace {

constexpr int kCardBadge = 36;
constexpr int kCardPad = 14;
constexpr int kCardSpacing = 12;
constexpr int kCardMinimumWidth = 200;
constexpr int kGridSpacing = 16;
constexpr int kHoverLift = 2;

QString files(qsizetype count)
{
    return QLocale().toString(qint64(count)) +
           (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

} // namespace

void loadSources(const AppContext& context)
{
    if (!context.sources) return;
    QPointer<SourceSummary> sources(context.sources);
    const auto load = [sources,
                       token = context.state->refreshToken().value()](const QStringList& scopes) {
        if (sources) sources->load(scopes, token);
    };
    if (context.library) return context.library->withScopes(context.sources, load);
    // Without the library's scopes home is listed as the store lists it, off
    // the GUI thread.
    background::then(
        background::run(background::Pool::files, [] { return LibraryStore::defaultScopes(); }),
        context.sources, load);
}

// Card

SourceCard::SourceCard(const SourceStore::Group& group, QWidget* parent)
    : QAbstractButton(parent)
    , m_group(group)
    , m_badge(new SourceBadge(group.source, kCardBadge, this))
    , m_previews(new PreviewStack(this))
    , m_lift(new HoverLift(this))
{
    connect(m_lift, &HoverLift::moved, this, &SourceCard::placeChildren);
    setCursor(Qt::PointingHandCursor);
    setAccessibleName(group.source.name);
    m_previews->setContent(previews(group), 0, sourceTint(group.source));
    m_previews->setVisible(!previews(group).isEmpty());
}

QString SourceCard::detail(const SourceStore::Group& group)
{
    return files(group.items.size()) + QStringLiteral(" · ") + Fmt::bytes(group.totalSize);
}

QList<FileItem> SourceCard::previews(const SourceStore::Group& group)
{
    QList<FileItem> out;
    for (const FileItem& item : group.items) {
        if (item.category != FileCategory::images && item.category != FileCategory::videos &&
            item.category != FileCategory::music)
            continue;
        out.append(item);
        if (out.size() == 2) break;
    }
    return out;
}

QSize SourceCard::sizeHint() const
{
    return {kCardMinimumWidth, kHoverLift + 2 * kCardPad + kCardBadge};
}

void SourceCard::resizeEvent(QResizeEvent*)
{
    placeChildren();
}

void SourceCard::placeChildren()
{
    const int top = kHoverLift - int(std::lround(m_lift->value() * kHoverLift)) + kCardPad;
    m_badge->move(kCardPad, top);
    const QSize stack = m_previews->sizeHint();
    m_previews->setGeometry(width() - kCardPad - stack.width(),
                            top + (kCardBadge - stack.height()) / 2, stack.width(), stack.height());
}

void SourceCard::enterEvent(QEnterEvent* event)
{
    m_hovering = true;
    m_lift->setHovering(true);
    QAbstractButton::enterEvent(event);
}

void SourceCard::leaveEvent(QEvent* event)
{
    m_hovering = false;
    m_lift->setHovering(false);
    QAbstractButton::leaveEvent(event);
}

void SourceCard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double risen = m_lift->value() * kHoverLift;
    const QRectF card = QRectF(rect()).adjusted(0.5, kHoverLift - risen + 0.5, -0.5, -0.5 - risen);
    QPainterPath shape;
    shape.addRoundedRect(card, 14, 14);
    painter.fillPath(shape, Theme::card());
    QColor border = Theme::line();
    if (m_lift->value() > 0) {
        border = sourceTint(m_group.source);
        border.setAlphaF(float(0.5 * m_lift->value()));
    }
    painter.setPen(QPen(border, 1));
    painter.drawPath(shape);

    const double left = kCardPad + kCardBadge + kCardSpacing;
    const double right = m_previews->isVisible() ? m_previews->x() - 4 : width() - kCardPad;
    const QFont nameFont = Theme::font(13, QFont::Medium);
    const QFont detailFont = Theme::font(11);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics detailMetrics(detailFont);
    const double textHeight = nameMetrics.height() + 3 + detailMetrics.height();
    double y = card.top() + kCardPad + (kCardBadge - textHeight) / 2;
    painter.setFont(nameFont);
    painter.setPen(Theme::primary());
    painter.drawText(
        QPointF(left, y + nameMetrics.ascent()),
        nameMetrics.elidedText(m_group.source.name, Qt::ElideRight, int(right - left)));
    y += nameMetrics.height() + 3;
    painter.setFont(detailFont);
    painter.setPen(Theme::secondary());
    painter.drawText(QPointF(left, y + detailMetrics.ascent()),
                     detailMetrics.elidedText(detail(m_group), Qt::ElideRight, int(right - left)));
}

// Section

SourcesSection::SourcesSection(const AppContext& context, std::optional<int> limit, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_sources(qobject_cast<SourceStore*>(context.sources))
    , m_limit(limit)
    , m_grid(new CardGrid(kCardMinimumWidth, kGridSpacing, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    if (limit) {
        m_header = new QWidget(this);
        auto* row = new QHBoxLayout(m_header);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(new SectionTitle(QStringLiteral("Downloaded From"), 0, false, m_header));
        row->addStretch(1);
        auto* seeAll = new QPushButton(QStringLiteral("See all"), m_header);
        seeAll->setFlat(true);
        seeAll->setFont(Theme::font(12));
        seeAll->setIcon(Symbols::icon(QStringLiteral("arrow.right"), &Theme::secondary));
        seeAll->setLayoutDirection(Qt::RightToLeft);
        connect(seeAll, &QPushButton::clicked, this,
                [this] { m_context.state->setSelection(SidebarItem::sources()); });
        row->addWidget(seeAll);
        layout->addWidget(m_header);
    }
    layout->addWidget(m_grid);
    if (m_sources) connect(m_sources, &SourceStore::groupsChanged, this, &SourcesSection::rebuild);
    rebuild();
}

void SourcesSection::rebuild()
{
    const QList<SourceStore::Group> groups =
        m_sources ? m_sources->groups() : QList<SourceStore::Group>();
    const QList<SourceStore::Group> shown = m_limit ? groups.mid(0, *m_limit) : groups;
    QList<QWidget*> cards;
    for (const SourceStore::Group& group : shown) {
        auto* card = new SourceCard(group);
        const QString name = group.source.name;
        connect(card, &QAbstractButton::clicked, this,
                [this, name] { m_context.state->setSelection(SidebarItem::source(name)); });
        cards.append(card);
    }
    m_grid->setCards(cards);
    if (m_header) {
        m_header->findChild<SectionTitle*>()->setCount(groups.size());
    }
    setVisible(!shown.isEmpty());
}

// Hub

QString SourcesHubView::subtitle(const SourceStore& sources)
{
    if (!sources.hasLoaded()) return QStringLiteral("Looking at where your downloads came from…");
    qsizetype count = 0;
    for (const SourceStore::Group& group : sources.groups())
        count += group.items.size();
    const qsizetype groups = sources.groups().size();
    return QLocale().toString(qint64(count)) +
           (count == 1 ? QStringLiteral(" downloaded file") : QStringLiteral(" downloaded files")) +
           QStringLiteral(" from ") + QLocale().toString(qint64(groups)) +
           (groups == 1 ? QStringLiteral(" source") : QStringLiteral(" sources"));
}

SourcesHubView::SourcesHubView(const AppContext& context, QWidget* parent)
    : QScrollArea(parent)
    , m_context(context)
    , m_sources(qobject_cast<SourceStore*>(context.sources))
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    ScrollBarStyle::apply(this);
    auto* content = new QWidget;
    const ScreenColumn screen = makeScreenColumn(content, QStringLiteral("Downloaded From"));
    QVBoxLayout* column = screen.column;
    m_subtitle = screen.subtitle;

    m_spinner = new Spinner(content);
    m_spinner->setMinimumHeight(200);
    column->addWidget(m_spinner, 0, Qt::AlignHCenter);
    m_empty = new EmptyStateView(
        QStringLiteral("No Downloads Found"), QStringLiteral("arrow.down.circle"),
        QStringLiteral("Files you download in a browser remember where they came from. None were "
                       "found in your home folders."),
        content);
    column->addWidget(m_empty);
    m_section = new SourcesSection(context, std::nullopt, content);
    column->addWidget(m_section);
    column->addStretch(1);
    setWidget(content);
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);

    if (m_sources) {
        connect(m_sources, &SourceStore::groupsChanged, this, &SourcesHubView::showState);
        connect(m_sources, &SourceStore::hasLoadedChanged, this, &SourcesHubView::showState);
    }
    showState();
    loadSources(context);
}

void SourcesHubView::showState()
{
    const bool loaded = !m_sources || m_sources->hasLoaded();
    m_subtitle->setText(m_sources ? subtitle(*m_sources) : QString());
    m_spinner->setVisible(!loaded);
    m_empty->setVisible(loaded && (!m_sources || m_sources->groups().isEmpty()));
}

// One source

SourceView::SourceView(const AppContext& context, QString name, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_sources(qobject_cast<SourceStore*>(context.sources))
    , m_name(std::move(name))
    , m_browser(new FileBrowser(context, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setTitle(QStringLiteral("From ") + m_name);
    m_browser->setInsets(FileBrowser::kPad, FileBrowser::kSpacing);
    m_browser->setOnBack([this] { m_context.state->setSelection(SidebarItem::sources()); });
    if (m_sources) {
        connect(m_sources, &SourceStore::groupsChanged, this, &SourceView::showGroup);
        connect(m_sources, &SourceStore::hasLoadedChanged, this, &SourceView::showGroup);
    }
    showGroup();
    loadSources(context);
}

void SourceView::showGroup()
{
    const std::optional<SourceStore::Group> group =
        m_sources ? m_sources->group(m_name) : std::nullopt;
    m_browser->setSubtitle(group ? std::optional<QString>(SourceCard::detail(*group) +
                                                          QStringLiteral(" downloaded from ") +
                                                          group->source.name)
                                 : std::nullopt);
    BrowserInput input;
    if (group) input.items = group->items;
    input.isLoading = m_sources && !m_sources->hasLoaded();
    input.showsKindFilter = true;
    input.emptyTitle = QStringLiteral("Nothing from ") + m_name;
    input.emptySymbol = QStringLiteral("arrow.down.circle");
    input.emptyMessage =
        QStringLiteral("No downloaded files from ") + m_name + QStringLiteral(" were found.");
    m_browser->setInput(std::move(input));
}

} // namespace ovra
