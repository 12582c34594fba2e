#pragma once

#include "library/FileItem.h"
#include "library/ViewOptions.h"

#include <QList>
#include <QPoint>
#include <QRect>

#include <functional>
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

    // What the tile reports of the pointer; the browser decides what it does.
    struct Handlers {
        std::function<void(const FileItem&)> clicked;
        std::function<void(const FileItem&)> doubleClicked;
        std::function<void(const FileItem&, const QPoint& globalPosition)> contextMenu;
        std::function<void(const FileItem&, QWidget* source)> drag;
    };

    virtual ~BrowserTile() = default;
    virtual QWidget* widget() = 0;
    // `list` is the shown list the item stands in (previews and menus step through it).
    virtual void setItem(const FileItem& item, const QList<FileItem>& list) = 0;
    virtual void setSelected(bool selected) = 0;
    virtual void setFocused(bool focused) = 0;
    virtual void setPlaying(bool playing) = 0;
    virtual void setCardSize(CardSize size) = 0;
    // Puts the tile into its cell of the layout (viewport coordinates).
    virtual void place(const QRect& cell) = 0;
};

// The one place that names the widget types of the browser's cards and rows.
std::unique_ptr<BrowserTile> makeBrowserTile(BrowserTile::Kind kind, const AppContext& context,
                                             QWidget* parent, BrowserTile::Handlers handlers);
// The height of each kind's cell; cards follow the card size.
double browserTileHeight(BrowserTile::Kind kind, CardSize size);

} // namespace ovra
