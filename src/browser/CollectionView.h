#pragma once

#include "library/SidebarItem.h"
#include "library/Spotlight.h"
#include "ui/AppContext.h"

#include <QString>
#include <QWidget>

#include <optional>

namespace ovra {

class FileBrowser;

// "1,234 items · 5.6 GB": a collection's total count with the locale's
// grouping, "item" in the singular only for exactly one, and its total size.
QString collectionSubtitle(const SpotlightResult& result);
// The symbol of a collection's empty state ("clock" for Recents, …; "tray"
// for anything that is not a collection).
QString collectionSymbol(const SidebarItem& item);

// The screen of one smart collection or category: the library store's cached
// result in the file browser. Each time it is made, and whenever the refresh
// token rises, it asks the store to load the collection; whether that runs a
// query is the store's decision.
class CollectionView : public QWidget {
    Q_OBJECT
public:
    CollectionView(const AppContext& context, SidebarItem item, QWidget* parent = nullptr);

    const SidebarItem& item() const { return m_item; }
    FileBrowser* browser() const { return m_browser; }
    // The key of the last load asked for: the title, "#" and the refresh token.
    QString loadKey() const { return m_loadKey; }

private:
    void showResult();
    void load();

    AppContext m_context;
    SidebarItem m_item;
    FileBrowser* m_browser;
    QString m_loadKey;
    // What was last handed to the browser, so that another collection's news
    // does not make it filter and sort the same list again.
    struct Shown {
        const FileItem* items = nullptr;
        qsizetype count = -1;
        qsizetype totalCount = -1;
        qint64 totalSize = -1;
        bool isLoading = false;
        friend bool operator==(const Shown&, const Shown&) = default;
    };
    std::optional<Shown> m_shown;
};

} // namespace ovra
