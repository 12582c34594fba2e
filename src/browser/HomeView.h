#pragma once

#include "library/Location.h"
#include "library/SidebarItem.h"
#include "library/Spotlight.h"
#include "platform/Background.h"
#include "ui/AppContext.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QScrollArea>
#include <QString>

#include <optional>

class QLabel;
class QVBoxLayout;

namespace ovra {

class AddFolderCard;
class FolderCard;
class FolderItemCard;
class GalleryCard;
class SectionTitle;

// "Good morning" (5 to 11), "Good afternoon" (12 to 16), "Good evening" otherwise.
QString homeGreeting(int hour);
// The files and bytes of the library categories loaded so far, or the line
// shown before any has loaded.
QString homeSummaryLine(const QHash<SidebarItem, SpotlightResult>& collections);
// The folders of the home view: the pinned ones first, in pin order and named
// by the file manager, then the standard folders.
QList<Location> homeFolders(const QStringList& pinned, const QList<Location>& standardFolders);
// The tint of the folder card at `position`: the pastels from the second on,
// round and round.
QColor homeFolderTint(qsizetype position);

// One titled strip of the first cards of a collection, with "See all".
class Shelf : public QWidget {
    Q_OBJECT
public:
    static constexpr int kShownItems = 20;

    Shelf(const AppContext& context, QString title, SidebarItem item, QWidget* parent = nullptr);

    // Shows the collection's result; hides itself while it has no items.
    void show(const std::optional<SpotlightResult>& result);
    QList<FileItem> items() const { return m_items; }
    SectionTitle* sectionTitle() const { return m_title; }
    QList<GalleryCard*> cards() const { return m_cards; }

private:
    void followSelection();
    void followCardSize();

    AppContext m_context;
    SidebarItem m_item;
    SectionTitle* m_title;
    QWidget* m_strip;
    QScrollArea* m_scroll;
    QList<GalleryCard*> m_cards;
    QList<FileItem> m_items;
};

// The first screen: a greeting with a summary of the library, the library's
// categories, the cleanup suggestions and download sources, the user's
// folders with a card to add one, and shelves of recent files.
class HomeView : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int kPad = 36;

    explicit HomeView(const AppContext& context, QWidget* parent = nullptr);
    ~HomeView() override;

    QLabel* greetingLabel() const { return m_greeting; }
    QLabel* summaryLabel() const { return m_summary; }
    QList<FolderCard*> categoryCards() const { return m_categoryCards; }
    QList<FolderItemCard*> folderCards() const { return m_folderCards; }
    SectionTitle* foldersTitle() const { return m_foldersTitle; }
    QList<Shelf*> shelves() const { return m_shelves; }
    AddFolderCard* addFolderCard() const { return m_addFolder; }

    // Adds a folder to the pins unless it is pinned already.
    void addFolder(const QString& path);

signals:
    // The folder grid was made anew.
    void foldersShown();

private:
    QWidget* makeHeader();
    QWidget* makeLibrary();
    QWidget* makeFolders();
    void showCollections();
    void readStandardFolders();
    void showFolders();
    void pickFolder();

    AppContext m_context;
    QVBoxLayout* m_column;
    QLabel* m_greeting;
    QLabel* m_summary;
    QList<FolderCard*> m_categoryCards;
    SectionTitle* m_foldersTitle = nullptr;
    QWidget* m_folderGrid = nullptr;
    QList<FolderItemCard*> m_folderCards;
    AddFolderCard* m_addFolder = nullptr;
    QList<Shelf*> m_shelves;
    QList<Location> m_standardFolders;
    // Reads the user-dirs settings; last, so that is waited for before the rest goes.
    background::TaskSet m_tasks;
};

} // namespace ovra
