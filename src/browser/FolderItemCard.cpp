#include "FolderItemCard.h"

#include "FileContextMenu.h"
#include "OffThreadRelease.h"
#include "library/AppState.h"
#include "library/LibraryStore.h"
#include "ui/FileActions.h"
#include "ui/PathText.h"
#include "ui/Theme.h"

#include <QMenu>

#include <algorithm>

namespace ovra {

FolderItemCard::FolderItemCard(const AppContext& context, QWidget* parent)
    : FolderCard(parent)
    , m_context(context)
{
    connect(this, &FolderCard::menuAboutToShow, this, &FolderItemCard::fillMenu);
}

QList<FileItem> FolderItemCard::previewsOf(const QList<FileItem>& entries)
{
    QList<FileItem> files;
    for (const FileItem& entry : entries)
        if (entry.category != FileCategory::folders && entry.category != FileCategory::other)
            files.append(entry);
    std::stable_sort(files.begin(), files.end(),
                     [](const FileItem& a, const FileItem& b) { return a.modified > b.modified; });
    return files.mid(0, PreviewStack::kMaxShown);
}

void FolderItemCard::setFolder(const QString& path, std::optional<QString> title,
                               std::optional<QColor> tint)
{
    const QString shownTitle = title.value_or(displayName(path));
    setTitle(shownTitle);
    setTint(tint.value_or(Theme::pastel(shownTitle)));
    if (path == m_path) return;
    m_path = path;
    m_hasListed = false;
    setCount(std::nullopt);
    setPreviews({});
    list();
}

void FolderItemCard::setFileItem(std::optional<FileItem> item, QList<FileItem> list)
{
    m_item = std::move(item);
    // The card may hold the last copy of a list the browser has replaced.
    if (!m_list.isSharedWith(list)) releaseOffThread(std::exchange(m_list, std::move(list)));
}

void FolderItemCard::list()
{
    const QString path = m_path;
    m_listing.run(
        path, [path] { return LibraryStore::listFolder(path); },
        [this](FolderListing listing) { apply(listing); });
}

void FolderItemCard::apply(const FolderListing& listing)
{
    m_hasListed = true;
    if (listing.error != FolderError::none) {
        // A folder that cannot be read counts as empty; its previews stay.
        setCount(0);
    } else {
        setCount(listing.items.size());
        setPreviews(previewsOf(listing.items));
    }
    emit listed();
}

void FolderItemCard::fillMenu(QMenu* menu)
{
    if (m_item) {
        // The menu button acts on this folder alone, whatever else is selected.
        FileContextMenu(m_context, {*m_item}, m_list).fill(menu);
        return;
    }
    AppState* state = m_context.state;
    const QString path = m_path;
    menu->addAction(tr("Open"), this, [state, path] { state->openFolder(path); });
    menu->addAction(tr("Show in Folder"), this,
                    [state, path] { FileActions::revealPaths(*state, {path}); });
    menu->addAction(state->pinned().contains(path) ? tr("Remove from Favourites")
                                                   : tr("Add to Favourites"),
                    this, [state, path] { state->togglePin(path); });
}

namespace {

class FolderItemTile : public BrowserTile {
public:
    FolderItemTile(const AppContext& context, QWidget* parent, BrowserTile::Handlers handlers)
        : m_card(new FolderItemCard(context, parent))
    {
        QObject::connect(m_card, &FolderCard::clicked, m_card,
                         [this, handlers](Qt::KeyboardModifiers) { handlers.clicked(m_item); });
        QObject::connect(m_card, &FolderCard::doubleClicked, m_card,
                         [this, handlers] { handlers.doubleClicked(m_item); });
        // A right click follows the shared rule: the selection when the folder
        // is part of it. The menu button acts on the folder alone.
        QObject::connect(m_card, &FolderCard::contextMenuRequested, m_card,
                         [this, handlers](const QPoint& at) { handlers.contextMenu(m_item, at); });
        QObject::connect(m_card, &FolderCard::dragRequested, m_card,
                         [this, handlers] { handlers.drag(m_item, m_card); });
    }
    ~FolderItemTile() override { delete m_card; }

    QWidget* widget() override { return m_card; }
    void setItem(const FileItem& item, const QList<FileItem>& list) override
    {
        m_item = item;
        m_card->setFolder(item.path);
        m_card->setFileItem(item, list);
    }
    void setSelected(bool selected) override { m_card->setSelected(selected); }
    void setFocused(bool) override {}
    void setPlaying(bool) override {}
    void setCardSize(CardSize) override {}
    void place(const QRect& cell) override { m_card->setGeometry(cell); }

private:
    FolderItemCard* m_card;
    FileItem m_item;
};

} // namespace

std::unique_ptr<BrowserTile> makeFolderItemTile(const AppContext& context, QWidget* parent,
                                                BrowserTile::Handlers handlers)
{
    return std::make_unique<FolderItemTile>(context, parent, std::move(handlers));
}

} // namespace ovra
