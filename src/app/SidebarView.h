#pragma once

#include "library/Location.h"
#include "library/SidebarItem.h"
#include "platform/Background.h"

#include <QFuture>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

class QMenu;
class QScrollArea;
class QVBoxLayout;

namespace ovra {

struct AppContext;
class AppState;
class CleanupSummary;
class DuplicateSummary;
class LibraryStore;
class PlayerSummary;
class SidebarRow;
class SourceSummary;
class SymbolButton;

// The window's left column: the logo, the app's name and the button that hides
// the column; the list of every place to go (home, recents, the library
// categories, the tools, the pinned and the standard folders) with live counts;
// and at the foot the mini player while something plays.
//
// Choosing a row selects its place and empties the search text. While a search
// is active no row shows as selected. A figure whose store the context does not
// hold (a null summary) is simply absent.
class SidebarView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 252;

    SidebarView(AppContext& context, QWidget* parent = nullptr);

    // Puts the mini player into the foot slot. The slot shows only while the
    // player has a current track.
    void setMiniPlayer(QWidget* miniPlayer);
    QWidget* miniPlayerSlot() const { return m_foot; }

    // The rows of the list, top to bottom.
    QList<SidebarRow*> rows() const;
    // The section headings of the list, top to bottom.
    QStringList headings() const;
    SymbolButton* hideButton() const { return m_hide; }
    QScrollArea* scrollArea() const { return m_scroll; }

    // The context menu of a folder row: pin or unpin, and show the folder in
    // the file manager.
    QMenu* folderMenu(const Location& location, QWidget* parent);

    // Whether the standard folders have been read (off the GUI thread) and listed.
    bool hasLocations() const { return !m_locations.isEmpty(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeList();
    void addPlaceRow(QVBoxLayout* layout, const SidebarItem& entry, const QString& title,
                     const QString& symbol);
    void readLocations();
    void rebuildFolders();
    SidebarRow* addFolderRow(QVBoxLayout* layout, const Location& location, bool starred);
    void choose(const SidebarItem& entry);
    bool isSelected(const SidebarItem& entry) const;
    void showFigures();
    void showSelection();
    void showFoot();

    AppState& m_state;
    LibraryStore* m_library;
    CleanupSummary* m_cleanup;
    SourceSummary* m_sources;
    DuplicateSummary* m_duplicates;
    PlayerSummary* m_player;

    SymbolButton* m_hide = nullptr;
    QScrollArea* m_scroll = nullptr;
    QVBoxLayout* m_listLayout = nullptr;
    QList<SidebarRow*> m_placeRows;
    // The favourites and locations, made anew whenever the pins change.
    QPointer<QWidget> m_folders;
    QWidget* m_foot = nullptr;
    QPointer<QWidget> m_miniPlayer;
    // The standard folders as last read off the GUI thread.
    QList<Location> m_locations;
    QFuture<QList<Location>> m_locationsRead;
    background::TaskSet m_tasks; // last: cancelled and waited for first
};

} // namespace ovra
