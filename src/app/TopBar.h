#pragma once

#include "ui/WindowDragArea.h"

#include <QString>

class QLabel;

namespace ovra {

struct AppContext;
class AppState;
class LibraryStore;
class RingProgress;
class SearchField;
class SymbolButton;
class TextIndex;

// The strip across the top of the window's centre column: the button that
// brings back a hidden sidebar, the search field, the progress of text
// recognition while it runs, the library's total size and the inspector
// toggle. The window has no title bar over this column, so the whole strip is
// also where the window is dragged and, by a double click, maximised.
class TopBar : public WindowDragArea {
    Q_OBJECT
public:
    static constexpr int kHeight = 72;
    static constexpr int kTopPadding = 6;
    static constexpr int kSidePadding = 36;
    static constexpr int kSpacing = 14;

    TopBar(AppContext& context, QWidget* parent = nullptr);

    SearchField* searchField() const { return m_search; }
    SymbolButton* showSidebarButton() const { return m_showSidebar; }
    SymbolButton* inspectorButton() const { return m_inspector; }

    // The library's size as shown: the six library categories' totals, "—"
    // while they come to nothing.
    QString librarySizeText() const;
    // The recognition progress as shown; empty while it is hidden.
    QString indexingText() const;

public slots:
    // Gives the search field the keyboard focus. Find's menu action raises the
    // app state's focus token, which comes here too.
    void focusSearch();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* makeShowSidebar();
    QWidget* makeIndexing();
    QWidget* makeLibrarySize();
    void showSidebarState();
    void showIndexing();
    void showLibrarySize();
    void showInspectorState();
    void fitToWidth();

    AppState& m_state;
    LibraryStore* m_library;
    TextIndex* m_textIndex;
    QWidget* m_showSidebarSlot = nullptr;
    SymbolButton* m_showSidebar = nullptr;
    SearchField* m_search = nullptr;
    QWidget* m_indexing = nullptr;
    RingProgress* m_indexingRing = nullptr;
    QLabel* m_indexingLabel = nullptr;
    QWidget* m_librarySizeGroup = nullptr;
    QLabel* m_librarySize = nullptr;
    SymbolButton* m_inspector = nullptr;
};

} // namespace ovra
