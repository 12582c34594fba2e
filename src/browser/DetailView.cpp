#include "DetailView.h"

#include "CollectionView.h"
#include "FileBrowser.h"
#include "FolderView.h"
#include "HomeView.h"
#include "SearchView.h"

#include "library/AppState.h"
#include "ui/EmptyStateView.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QVBoxLayout>

namespace ovra {

namespace {

QString symbolFor(DetailScreen screen)
{
    switch (screen) {
    case DetailScreen::search: return QStringLiteral("magnifyingglass");
    case DetailScreen::home: return QStringLiteral("house");
    case DetailScreen::collection: return QStringLiteral("square.grid.2x2");
    case DetailScreen::folder: return QStringLiteral("folder");
    case DetailScreen::cleanupReview:
    case DetailScreen::cleanupHub: return QStringLiteral("sparkles");
    case DetailScreen::source:
    case DetailScreen::sourcesHub: return QStringLiteral("arrow.down.circle");
    case DetailScreen::duplicates: return QStringLiteral("doc.on.doc");
    }
    return QStringLiteral("folder");
}

QString titleFor(const DetailRoute& route)
{
    switch (route.screen) {
    case DetailScreen::search: return QStringLiteral("Search");
    case DetailScreen::home: return SidebarItem::home().title();
    case DetailScreen::duplicates: return SidebarItem::duplicates().title();
    case DetailScreen::cleanupHub: return SidebarItem::cleanupHub().title();
    case DetailScreen::sourcesHub: return SidebarItem::sources().title();
    case DetailScreen::collection:
    case DetailScreen::folder:
    case DetailScreen::cleanupReview:
    case DetailScreen::source: return route.item ? route.item->title() : QString();
    }
    return QString();
}

} // namespace

DetailView::DetailView(const AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    AppState* state = m_context.state;
    connect(state, &AppState::selectionChanged, this, &DetailView::follow);
    connect(state, &AppState::searchTextChanged, this, &DetailView::follow);
    showRoute(detailRoute(state->selection(), state->isSearching()));
}

void DetailView::follow()
{
    const DetailRoute next =
        detailRoute(m_context.state->selection(), m_context.state->isSearching());
    // Typing on in the search field, or choosing another place while a search
    // shows, keeps the screen that is there.
    if (next == m_route && m_screen) return;
    showRoute(next);
}

void DetailView::showRoute(const DetailRoute& route)
{
    m_route = route;
    if (m_screen) {
        // The old screen may be the one whose click changed the route: it goes
        // once its event has been handled.
        m_screen->hide();
        m_screen->deleteLater();
    }
    m_screen = buildScreen(route);
    layout()->addWidget(m_screen);
}

// Every back button is a file list's, and a screen holds at most one list of
// its own, whoever made the screen.
bool DetailView::goBack()
{
    auto* browser = m_screen
                        ? m_screen->findChild<FileBrowser*>(QString(), Qt::FindDirectChildrenOnly)
                        : nullptr;
    if (!browser || !browser->canGoBack()) return false;
    browser->goBack();
    return true;
}

QWidget* DetailView::buildScreen(const DetailRoute& route)
{
    switch (route.screen) {
    case DetailScreen::search: return new SearchView(m_context, this);
    case DetailScreen::home: return new HomeView(m_context, this);
    case DetailScreen::folder:
        if (const Location* location = route.item ? route.item->as<Location>() : nullptr)
            return new FolderView(m_context, *location, this);
        break;
    case DetailScreen::collection:
        if (route.item) return new CollectionView(m_context, *route.item, this);
        break;
    case DetailScreen::cleanupHub:
        if (m_context.cleanupHubScreen)
            return m_context.cleanupHubScreen(m_context, route.item, this);
        break;
    case DetailScreen::cleanupReview:
        if (m_context.cleanupReviewScreen)
            return m_context.cleanupReviewScreen(m_context, route.item, this);
        break;
    case DetailScreen::sourcesHub:
        if (m_context.sourcesHubScreen)
            return m_context.sourcesHubScreen(m_context, route.item, this);
        break;
    case DetailScreen::source:
        if (m_context.sourceScreen) return m_context.sourceScreen(m_context, route.item, this);
        break;
    case DetailScreen::duplicates:
        if (m_context.duplicatesScreen)
            return m_context.duplicatesScreen(m_context, route.item, this);
        break;
    default: break;
    }
    // A place without a screen of its own stands as a titled empty state.
    return new EmptyStateView(titleFor(route), symbolFor(route.screen), QString(), this);
}

void DetailView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::bg());
}

} // namespace ovra
