#include "CollectionView.h"

#include "FileBrowser.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/LibraryStore.h"
#include "ui/AppContext.h"

#include <QLocale>
#include <QVBoxLayout>

namespace ovra {

QString collectionSubtitle(const SpotlightResult& result)
{
    const QString noun =
        result.totalCount == 1 ? QStringLiteral(" item") : QStringLiteral(" items");
    return QLocale().toString(qint64(result.totalCount)) + noun + QStringLiteral(" · ") +
           Fmt::bytes(result.totalSize);
}

QString collectionSymbol(const SidebarItem& item)
{
    if (const SmartCollection* smart = item.as<SmartCollection>()) {
        switch (*smart) {
        case SmartCollection::recents: return QStringLiteral("clock");
        case SmartCollection::large: return QStringLiteral("externaldrive");
        case SmartCollection::screenshots: return QStringLiteral("camera.viewfinder");
        }
    }
    if (const FileCategory* category = item.as<FileCategory>()) {
        switch (*category) {
        case FileCategory::images: return QStringLiteral("photo");
        case FileCategory::videos: return QStringLiteral("play.rectangle");
        case FileCategory::music: return QStringLiteral("music.note");
        case FileCategory::documents: return QStringLiteral("doc.text");
        case FileCategory::archives: return QStringLiteral("archivebox");
        case FileCategory::apps: return QStringLiteral("square.grid.2x2");
        case FileCategory::code: return QStringLiteral("chevron.left.forwardslash.chevron.right");
        case FileCategory::folders: return QStringLiteral("folder");
        case FileCategory::other: return QStringLiteral("doc");
        }
    }
    return QStringLiteral("tray");
}

CollectionView::CollectionView(const AppContext& context, SidebarItem item, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_item(std::move(item))
    , m_browser(new FileBrowser(context, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setTitle(m_item.title());

    LibraryStore* library = m_context.library;
    if (library) {
        connect(library, &LibraryStore::collectionsChanged, this, &CollectionView::showResult);
        connect(library, &LibraryStore::loadingChanged, this, &CollectionView::showResult);
    }
    connect(m_context.state, &AppState::refreshTokenChanged, this, &CollectionView::load);
    showResult();
    load();
}

void CollectionView::showResult()
{
    const LibraryStore* library = m_context.library;
    const auto found = library ? library->collections().constFind(m_item)
                               : QHash<SidebarItem, SpotlightResult>::const_iterator();
    const bool hasResult = library && found != library->collections().cend();
    const Shown shown = hasResult
                            ? Shown{found->items.constData(), found->items.size(),
                                    found->totalCount, found->totalSize, library->isLoading(m_item)}
                            : Shown{};
    if (m_shown == shown) return;
    m_shown = shown;

    BrowserInput input;
    input.showsKindFilter = false;
    input.emptyTitle = QStringLiteral("Nothing Here");
    input.emptySymbol = collectionSymbol(m_item);
    input.emptyMessage = QStringLiteral("Ovra couldn't find any ") + m_item.title().toLower() +
                         QStringLiteral(" in your home folders.");

    if (hasResult) {
        m_browser->setSubtitle(collectionSubtitle(*found));
        input.items = found->items;
        input.totalCount = found->totalCount;
        input.isLoading = library->isLoading(m_item);
    } else {
        // Nothing cached yet: the spinner shows until the first result.
        m_browser->setSubtitle(std::nullopt);
        input.isLoading = true;
    }
    m_browser->setInput(std::move(input));
}

void CollectionView::load()
{
    // Keyed like the screen's task: a new collection or a raised token loads
    // again; the same key asks nothing. The load is the store's and outlives
    // this screen.
    const qint64 token = m_context.state->refreshToken().value();
    const QString key = m_item.title() + QLatin1Char('#') + QString::number(token);
    if (key == m_loadKey) return;
    m_loadKey = key;
    if (m_context.library) m_context.library->load(m_item, token);
}

} // namespace ovra
