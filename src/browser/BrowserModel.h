#pragma once

#include "library/FileCategory.h"
#include "library/FileItem.h"
#include "library/ListOptions.h"
#include "library/ViewOptions.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace ovra {

// What a screen hands the file browser: everything it found, unfiltered and in
// any order, with the texts it wants shown when nothing is left.
struct BrowserInput {
    QList<FileItem> items;
    bool isLoading = false;
    // Matches of the screen's query, which may exceed `items` when it was capped.
    std::optional<qint64> totalCount;
    bool showsKindFilter = false;
    QString emptyTitle;
    QString emptySymbol;
    QString emptyMessage;
};

struct SourceCount {
    QString name;
    int count = 0;
    friend bool operator==(const SourceCount&, const SourceCount&) = default;
};

// The download sources of a list's files by path (files with a known source
// only). Reading them costs a read of each file's extended attributes, so it
// happens once per list, on a pool thread, and the filters and counts of every
// later computation over the same list look them up here.
struct SourceTable {
    QHash<QString, QString> names;
};

std::shared_ptr<const SourceTable> gatherSources(const QList<FileItem>& items,
                                                 const SourceLookup& lookup);
SourceLookup tableLookup(std::shared_ptr<const SourceTable> table);

// What the browser shows of its items under the app's filters and sort order.
// Computed from the input and the state whenever either changes; no widgets.
struct BrowserContent {
    enum class State { loading, sections, empty };

    State state = State::empty;
    QList<FileItem> shown;   // filtered, then sorted by the sort key alone
    QList<FileItem> folders; // the shown folders, in shown order
    QList<FileItem> files;   // the rest, in shown order
    // Folders then files: the order on screen and the arrow keys' order.
    QList<FileItem> navigation;
    QMap<FileCategory, int> kindCounts; // empty unless the Kind filter is offered
    QList<SourceCount> sourceCounts;    // empty hides the From filter
    qint64 filesCount = 0;              // what the Files title announces
    std::optional<QString> capNote;     // the line under a capped, unfiltered list
    QString emptyTitle;
    QString emptySymbol;
    QString emptyMessage;
    bool isLoading = false; // the input's: the Files title shows its spinner

    // The position of a file in the navigation order; none when it is not shown.
    std::optional<int> navigationIndex(const QString& path) const;
};

// Everything here but the layout: filtering, sorting, sectioning and counting.
// A pure function of its arguments, so it runs on a pool thread.
BrowserContent browserContent(const BrowserInput& input, const ListOptions& options,
                              const SourceLookup& lookup);

// Sources of the non-folder items with their counts, largest first, ties by
// name. Empty when fewer than two sources turn up and no source filter is set:
// one source alone is nothing to choose between.
QList<SourceCount> sourceCounts(const QList<FileItem>& items, bool sourceFilterSet,
                                const SourceLookup& lookup);

// Grid cards are at least this wide; the columns stretch to share the rest.
double cardWidth(CardSize size);
// The most columns of at least the card width that fit between the insets
// with `spacing` between them; never fewer than one.
int columnCount(double width, double pad, double spacing, CardSize size);

enum class ArrowKey { left, right, up, down };
// Where an arrow key moves the focus among `count` items: `step` is the column
// count in a grid and 1 in a list. Without a current index any arrow lands on
// the first item; moves past either end stop at it. None for an empty list.
std::optional<int> arrowTarget(ArrowKey key, int count, std::optional<int> current, int step);

// The fixed sizes the browser's layout is made of. The heights of the header,
// the accessory, the section titles and the cap note come from their widgets.
struct BrowserMetrics {
    double pad = 36;
    double spacing = 22;
    double headerHeight = 46;
    std::optional<double> accessoryHeight; // none when the screen has no accessory
    double sectionTitleHeight = 24;
    double capNoteHeight = 14;
    double folderCardHeight = 162;
    double cardHeight = 288; // of a grid card at the current card size
    double rowHeight = 56;
};

// Where everything of the browser's content goes, in content coordinates (the
// top of the scrolled area is y 0). Item positions are computed, never stored,
// so a list of any length costs the same to lay out.
class BrowserLayout {
public:
    static constexpr double kTopInset = 28;
    static constexpr double kBottomInset = 40;
    static constexpr double kStackSpacing = 28;
    static constexpr double kAccessoryOverlap = 14; // the accessory sits this much closer
    static constexpr double kSectionSpacing = 16;
    static constexpr double kRowSpacing = 2;
    static constexpr double kLoadingHeight = 300;
    static constexpr double kEmptyHeight = 320;

    BrowserLayout() = default;
    BrowserLayout(const BrowserContent& content, ViewMode mode, CardSize size, double width,
                  double viewportHeight, const BrowserMetrics& metrics);

    int columns() const { return m_columns; }
    // The vertical arrow step: the columns in a grid, one in a list.
    int verticalStep() const { return m_mode == ViewMode::grid ? m_columns : 1; }
    double contentHeight() const { return m_contentHeight; }

    QRectF headerRect() const { return m_header; }
    std::optional<QRectF> accessoryRect() const { return m_accessory; }
    // The spinner's or the empty state's area; none while sections show.
    std::optional<QRectF> stateRect() const { return m_state; }
    std::optional<QRectF> folderTitleRect() const { return m_folderTitle; }
    std::optional<QRectF> fileTitleRect() const { return m_fileTitle; }
    std::optional<QRectF> capNoteRect() const { return m_capNote; }

    int itemCount() const { return m_folderCount + m_fileCount; }
    bool isFolder(int index) const { return index < m_folderCount; }
    QRectF itemRect(int index) const;
    // The items that reach into the band from `top` to `bottom`: a run of the
    // navigation order, as [first, end). Empty (first == end) when none does.
    std::pair<int, int> visibleRange(double top, double bottom) const;

private:
    struct Grid {
        double top = 0;
        double itemHeight = 0;
        double rowSpacing = 0;
        int columns = 1;
        int count = 0;
        double height() const;
        // The rows that reach into the band, as [first, end).
        std::pair<int, int> rows(double from, double to) const;
    };

    ViewMode m_mode = ViewMode::grid;
    double m_pad = 0;
    double m_spacing = 0;
    double m_innerWidth = 0;
    double m_columnWidth = 0;
    int m_columns = 1;
    int m_folderCount = 0;
    int m_fileCount = 0;
    Grid m_folders;
    Grid m_files;
    double m_contentHeight = 0;
    QRectF m_header;
    std::optional<QRectF> m_accessory;
    std::optional<QRectF> m_state;
    std::optional<QRectF> m_folderTitle;
    std::optional<QRectF> m_fileTitle;
    std::optional<QRectF> m_capNote;
};

} // namespace ovra
