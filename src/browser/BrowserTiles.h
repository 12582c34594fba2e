#pragma once

#include "library/FileItem.h"
#include "library/ViewOptions.h"

#include <QList>

#include <memory>

class QWidget;

namespace ovra {

struct AppContext;

// A card or row the file browser places for one shown item. The browser keeps
// a small pool of them and hands each the item it stands for as the list
// scrolls, so the widget behind it must be cheap to point at another item.
class BrowserTile {
public:
    enum class Kind { folder, card, row };

    virtual ~BrowserTile() = default;
    virtual QWidget* widget() = 0;
    // `list` is the shown list the item stands in (previews and menus step through it).
    virtual void setItem(const FileItem& item, const QList<FileItem>& list) = 0;
    virtual void setSelected(bool selected) = 0;
    virtual void setPlaying(bool playing) = 0;
};

// The one place that names the widget types of the browser's cards and rows.
std::unique_ptr<BrowserTile> makeBrowserTile(BrowserTile::Kind kind, AppContext& context,
                                             QWidget* parent);
// The height the browser lays each kind out at; cards follow the card size.
double browserTileHeight(BrowserTile::Kind kind, CardSize size);

} // namespace ovra
