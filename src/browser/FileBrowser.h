#pragma once

#include "BrowserModel.h"
#include "BrowserTiles.h"
#include "platform/KeyedTask.h"
#include "ui/AppContext.h"

#include <QAbstractScrollArea>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

class QLabel;
class QVariantAnimation;

namespace ovra {

class AppState;
class BrowserHeader;
class EmptyStateView;
class FileInteractions;
class SectionTitle;

// The one file list of the app. A screen hands it a title and everything it
// found; the browser filters and sorts by the app state, shows folders in a
// section ahead of the files, lays the files out as a grid of cards or a list
// of rows, and moves the selection with the arrow keys.
//
// Lists run to hundreds of thousands of files, so the GUI thread does nothing
// per file: the model (filtering, sorting, sections, counts and the files'
// download sources) is computed on a pool thread and handed over finished;
// until it arrives the previous one stays on screen. The layout is computed
// from the model, and only the cards or rows in sight exist as widgets, taken
// from a pool and pointed at other files as the list scrolls.
class FileBrowser : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr double kPad = 36;
    static constexpr double kSpacing = 22;

    explicit FileBrowser(const AppContext& context, QWidget* parent = nullptr);
    ~FileBrowser() override;

    void setTitle(const QString& title);
    void setSubtitle(const std::optional<QString>& subtitle);
    void setInput(BrowserInput input);
    // The screen's way back; an empty function means there is none, and the
    // header shows no back button.
    void setOnBack(std::function<void()> onBack);
    // Extra content under the header (the search's chips); the browser takes
    // it over. Null removes it.
    void setAccessory(QWidget* accessory);
    void setInsets(double pad, double spacing);
    void setInteractions(FileInteractions* interactions);
    // Where the From filter's sources come from; the shared classifier by
    // default. Called on a pool thread.
    void setSourceLookup(SourceLookup lookup);

    bool canGoBack() const { return static_cast<bool>(m_onBack); }
    // What the header's back button and the Back command both call.
    void goBack();

    // The model as the browser shows it now: the last one computed, which may
    // be older than the input or the filters while a computation runs.
    const BrowserContent& content() const { return m_content; }
    // Whether the model shown is that of the latest input and filters.
    bool isContentCurrent() const { return !m_contentDirty && !m_computing; }
    const BrowserLayout& layout();
    BrowserHeader* header() const { return m_header; }
    QWidget* accessory() const { return m_accessory; }
    SectionTitle* filesTitle() const { return m_filesTitle; }
    SectionTitle* foldersTitle() const { return m_foldersTitle; }
    EmptyStateView* emptyState() const { return m_empty; }
    QWidget* loadingState() const { return m_loading; }
    QLabel* capNote() const { return m_capNote; }
    // The card or row placed for a file now; null when it is out of sight.
    QWidget* tileWidget(const QString& path) const;
    int placedTileCount() const { return int(m_placed.size()); }
    // Every tile widget made so far, placed or spare.
    int madeTileCount() const { return m_madeTiles; }

    // Starts computing the model if the input or the filters changed, and
    // brings the layout and the placed tiles up to date now instead of at the
    // next turn of the event loop.
    void refreshNow();

signals:
    // A newly computed model is shown.
    void contentChanged();
    // The tiles were placed anew (after a scroll, a resize or a new list).
    void tilesPlaced();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    struct Slot {
        std::unique_ptr<BrowserTile> tile;
        BrowserTile::Kind kind = BrowserTile::Kind::card;
        int index = -1;
    };

    void markContentDirty();
    void markLayoutDirty();
    void startComputing();
    void showContent(BrowserContent content);
    void recomputeLayout();
    BrowserMetrics metrics() const;
    int headerWidth() const;
    void changeHeader(const std::function<void()>& change);
    void placeWidgets();
    void placeTiles();
    void refreshTileStates();
    // The computation's answer, shown on a turn of its own; or let go of, when
    // a newer computation starts first.
    void takeArrived();
    void dropArrived();
    BrowserTile::Kind kindAt(int index) const;
    Slot takeSpare(BrowserTile::Kind kind);

    BrowserTile::Handlers tileHandlers();
    void selectFromClick(const FileItem& item);
    void clearSelectionFromBackground();
    void open(const FileItem& item);
    // Music plays from the shown list; false when the item is not music or
    // there is no player.
    bool playMusic(const FileItem& item);
    void activate(const FileItem& item, bool space);
    void moveFocus(ArrowKey key);
    void scrollToItem(int index);

    AppContext m_context;
    AppState& m_state;
    BrowserInput m_input;
    // The download sources of m_input's files, once a computation gathered them.
    std::shared_ptr<const SourceTable> m_sources;
    quint64 m_inputSerial = 0;
    std::function<void()> m_onBack;
    double m_pad = kPad;
    double m_spacing = kSpacing;
    FileInteractions* m_interactions = nullptr;
    SourceLookup m_sourceLookup;

    BrowserContent m_content;
    bool m_hasContent = false;
    BrowserLayout m_layout;
    bool m_contentDirty = true;
    bool m_computing = false;
    quint64 m_computeSerial = 0;
    KeyedTask<quint64> m_computation;
    struct Computed;
    std::shared_ptr<Computed> m_arrived;
    QTimer m_arrivalTimer;
    QTimer m_revealTimer;
    bool m_layoutDirty = true;
    QTimer m_refreshTimer;

    BrowserHeader* m_header;
    QPointer<QWidget> m_accessory;
    QWidget* m_loading;
    EmptyStateView* m_empty;
    SectionTitle* m_foldersTitle;
    SectionTitle* m_filesTitle;
    QLabel* m_capNote;

    // Placed tiles by the path of the file they show, and spares by kind.
    std::unordered_map<QString, Slot> m_placed;
    std::vector<Slot> m_spares[3];
    int m_madeTiles = 0;
    bool m_rebindTiles = false;

    QVariantAnimation* m_scrollAnimation;
};

} // namespace ovra
