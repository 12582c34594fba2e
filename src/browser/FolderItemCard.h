#pragma once

#include "BrowserTiles.h"
#include "FolderCard.h"
#include "platform/KeyedTask.h"
#include "ui/AppContext.h"

#include <QColor>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QMenu;

namespace ovra {

struct FolderListing;

// The folder card of one real folder: it lists the folder in the background
// and shows how many entries it holds and its three most recently changed
// files. Its menu button offers the shared file menu for this folder alone
// when it stands for a file item (in the file browser), else the home view's
// three entries (open, show in folder, favourites).
class FolderItemCard : public FolderCard {
    Q_OBJECT
public:
    explicit FolderItemCard(const AppContext& context, QWidget* parent = nullptr);

    // Points the card at a folder. A card shown for another folder before
    // drops that folder's figures at once, and its listing if still running.
    void setFolder(const QString& path, std::optional<QString> title = std::nullopt,
                   std::optional<QColor> tint = std::nullopt);
    // The folder as a file item, and the list it is shown in: the menu button
    // then offers the file menu.
    void setFileItem(std::optional<FileItem> item, QList<FileItem> list = {});

    QString path() const { return m_path; }
    // Whether the listing for the current folder has come in.
    bool hasListed() const { return m_hasListed; }

    // The card's menu: the file menu of this folder alone when it stands for
    // a file item, else open, show in folder and the favourites entry.
    void fillMenu(QMenu* menu);

    // The entries a listing previews: its files other than folders and files
    // of no known kind, newest first (ties keep the listing's order), three at most.
    static QList<FileItem> previewsOf(const QList<FileItem>& entries);

signals:
    void listed();

private:
    void list();
    void apply(const FolderListing& listing);

    AppContext m_context;
    QString m_path;
    std::optional<FileItem> m_item;
    QList<FileItem> m_list;
    bool m_hasListed = false;
    KeyedTask<QString> m_listing;
};

// The file browser's tile for a folder in its Folders section.
std::unique_ptr<BrowserTile> makeFolderItemTile(const AppContext& context, QWidget* parent,
                                                BrowserTile::Handlers handlers);

} // namespace ovra
