#include "BrowserModel.h"

#include "platform/Background.h"

#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace ovra {

namespace {

constexpr double kSmallCardWidth = 200;
constexpr double kMediumCardWidth = 250;
constexpr double kLargeCardWidth = 320;
// Rows of grid cards stand a little further apart than their columns.
constexpr double kCardRowExtraSpacing = 4;
constexpr qsizetype kSourcesPerChunk = 256;

bool isFolder(const FileItem& item)
{
    return item.category == FileCategory::folders;
}

QString capNote(qsizetype loaded, qint64 total)
{
    const QLocale locale;
    return QStringLiteral("Showing the ") + locale.toString(qint64(loaded)) +
           QStringLiteral(" most recent of ") + locale.toString(total) +
           QStringLiteral(". Use search to find older files.");
}

} // namespace

std::shared_ptr<const SourceTable> gatherSources(const QList<FileItem>& items,
                                                 const SourceLookup& lookup)
{
    auto table = std::make_shared<SourceTable>();
    if (!lookup) return table;
    // Each lookup reads a file's extended attributes, a system call that waits
    // for the file system: a thread per core reads a chunk at a time, side by
    // side, and the list shows sooner.
    const qsizetype chunkCount = (items.size() + kSourcesPerChunk - 1) / kSourcesPerChunk;
    std::vector<std::vector<std::pair<QString, QString>>> chunks(
        static_cast<std::size_t>(chunkCount));
    background::forEach(0, chunkCount, [&](qsizetype chunk) {
        const qsizetype end = std::min(items.size(), (chunk + 1) * kSourcesPerChunk);
        auto& found = chunks[std::size_t(chunk)];
        for (qsizetype i = chunk * kSourcesPerChunk; i < end; ++i) {
            const FileItem& item = items[i];
            // Folders have no source: neither the counts nor the filter ask.
            if (isFolder(item)) continue;
            if (std::optional<QString> name = lookup(item)) found.emplace_back(item.path, *name);
        }
    });
    for (auto& found : chunks)
        for (auto& [path, name] : found)
            table->names.insert(std::move(path), std::move(name));
    return table;
}

SourceLookup tableLookup(std::shared_ptr<const SourceTable> table)
{
    return [table = std::move(table)](const FileItem& item) -> std::optional<QString> {
        const auto found = table->names.constFind(item.path);
        if (found == table->names.cend()) return std::nullopt;
        return *found;
    };
}

std::optional<int> BrowserContent::navigationIndex(const QString& path) const
{
    for (qsizetype i = 0; i < navigation.size(); ++i) {
        if (navigation[i].path == path) return int(i);
    }
    return std::nullopt;
}

QList<SourceCount> sourceCounts(const QList<FileItem>& items, bool sourceFilterSet,
                                const SourceLookup& lookup)
{
    QHash<QString, int> counts;
    if (lookup) {
        for (const FileItem& item : items) {
            if (isFolder(item)) continue;
            if (const std::optional<QString> name = lookup(item)) ++counts[*name];
        }
    }
    if (counts.size() < 2 && !sourceFilterSet) return {};

    QList<SourceCount> result;
    result.reserve(counts.size());
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        result.push_back({it.key(), it.value()});
    // Plain comparison of the names, not the locale's: the order must not move
    // with the user's language.
    std::sort(result.begin(), result.end(), [](const SourceCount& a, const SourceCount& b) {
        if (a.count != b.count) return a.count > b.count;
        return a.name < b.name;
    });
    return result;
}

BrowserContent browserContent(const BrowserInput& input, const ListOptions& options,
                              const SourceLookup& lookup)
{
    BrowserContent content;
    content.isLoading = input.isLoading;
    content.shown = sortItems(applyFilters(input.items, options, lookup), options, false);
    // Most lists hold no folder: then all three lists share one.
    if (std::none_of(content.shown.cbegin(), content.shown.cend(), isFolder)) {
        content.files = content.shown;
        content.navigation = content.shown;
    } else {
        for (const FileItem& item : content.shown)
            (isFolder(item) ? content.folders : content.files).push_back(item);
        content.navigation = content.folders + content.files;
    }

    if (input.showsKindFilter) {
        for (const FileItem& item : input.items)
            ++content.kindCounts[item.category];
    }
    content.sourceCounts = sourceCounts(input.items, options.sourceFilter.has_value(), lookup);

    const bool filtered = options.filtersActive();
    const qint64 folderCount = content.folders.size();
    const qint64 fileCount = content.files.size();
    content.filesCount =
        filtered ? fileCount : std::max(input.totalCount.value_or(0) - folderCount, fileCount);
    if (input.totalCount && input.items.size() < *input.totalCount && !filtered) {
        content.capNote = capNote(input.items.size(), *input.totalCount);
    }

    if (input.items.isEmpty() && input.isLoading) {
        content.state = BrowserContent::State::loading;
    } else if (!content.shown.isEmpty()) {
        content.state = BrowserContent::State::sections;
    } else {
        content.state = BrowserContent::State::empty;
    }
    if (!input.items.isEmpty() && filtered) {
        content.emptyTitle = QStringLiteral("No Matches");
        content.emptySymbol = QStringLiteral("line.3.horizontal.decrease.circle");
        content.emptyMessage = QStringLiteral("Try loosening the filters.");
    } else {
        content.emptyTitle = input.emptyTitle;
        content.emptySymbol = input.emptySymbol;
        content.emptyMessage = input.emptyMessage;
    }
    return content;
}

double cardWidth(CardSize size)
{
    switch (size) {
    case CardSize::small: return kSmallCardWidth;
    case CardSize::medium: return kMediumCardWidth;
    case CardSize::large: return kLargeCardWidth;
    }
    return kMediumCardWidth;
}

int columnCount(double width, double pad, double spacing, CardSize size)
{
    const double fit = (width - 2 * pad + spacing) / (cardWidth(size) + spacing);
    if (!std::isfinite(fit) || fit < 1) return 1;
    return int(fit);
}

std::optional<int> arrowTarget(ArrowKey key, int count, std::optional<int> current, int step)
{
    if (count <= 0) return std::nullopt;
    step = std::max(step, 1);
    int move = 0;
    switch (key) {
    case ArrowKey::left: move = -1; break;
    case ArrowKey::right: move = 1; break;
    case ArrowKey::up: move = -step; break;
    case ArrowKey::down: move = step; break;
    }
    const int from = current && *current >= 0 && *current < count ? *current : -move;
    return std::clamp(from + move, 0, count - 1);
}

double BrowserLayout::Grid::height() const
{
    if (count <= 0) return 0;
    const int rowCount = (count + columns - 1) / columns;
    return rowCount * itemHeight + (rowCount - 1) * rowSpacing;
}

std::pair<int, int> BrowserLayout::Grid::rows(double from, double to) const
{
    if (count <= 0 || to <= from) return {0, 0};
    const int rowCount = (count + columns - 1) / columns;
    const double pitch = itemHeight + rowSpacing;
    // A row reaches into the band when its bottom lies below `from` and its top above `to`.
    const int first = std::max(0, int(std::floor((from - top - itemHeight) / pitch)) + 1);
    const int end = std::min(rowCount, std::max(0, int(std::ceil((to - top) / pitch))));
    return first < end ? std::pair{first, end} : std::pair{0, 0};
}

BrowserLayout::BrowserLayout(const BrowserContent& content, ViewMode mode, CardSize size,
                             double width, double viewportHeight, const BrowserMetrics& metrics)
    : m_mode(mode)
    , m_pad(metrics.pad)
    , m_spacing(metrics.spacing)
    , m_innerWidth(std::max(0.0, width - 2 * metrics.pad))
    , m_columns(columnCount(width, metrics.pad, metrics.spacing, size))
    , m_folderCount(int(content.folders.size()))
    , m_fileCount(int(content.files.size()))
{
    m_columnWidth = std::max(0.0, (m_innerWidth - (m_columns - 1) * m_spacing) / m_columns);

    double y = kTopInset;
    m_header = QRectF(m_pad, y, m_innerWidth, metrics.headerHeight);
    y += metrics.headerHeight;
    if (metrics.accessoryHeight) {
        y += kStackSpacing - kAccessoryOverlap;
        m_accessory = QRectF(m_pad, y, m_innerWidth, *metrics.accessoryHeight);
        y += *metrics.accessoryHeight;
    }
    y += kStackSpacing;

    switch (content.state) {
    case BrowserContent::State::loading:
        m_state = QRectF(m_pad, y, m_innerWidth, kLoadingHeight);
        y += kLoadingHeight;
        break;
    case BrowserContent::State::empty:
        m_state = QRectF(m_pad, y, m_innerWidth, kEmptyHeight);
        y += kEmptyHeight;
        break;
    case BrowserContent::State::sections: {
        const auto section = [&](double gridTop) {
            return gridTop + metrics.sectionTitleHeight + kSectionSpacing;
        };
        if (m_folderCount > 0) {
            m_folderTitle = QRectF(m_pad, y, m_innerWidth, metrics.sectionTitleHeight);
            m_folders = {section(y), metrics.folderCardHeight, m_spacing, m_columns, m_folderCount};
            y = m_folders.top + m_folders.height();
            if (m_fileCount > 0) y += kStackSpacing;
        }
        if (m_fileCount > 0) {
            m_fileTitle = QRectF(m_pad, y, m_innerWidth, metrics.sectionTitleHeight);
            if (mode == ViewMode::grid) {
                m_files = {section(y), metrics.cardHeight, m_spacing + kCardRowExtraSpacing,
                           m_columns, m_fileCount};
            } else {
                m_files = {section(y), metrics.rowHeight, kRowSpacing, 1, m_fileCount};
            }
            y = m_files.top + m_files.height();
            if (content.capNote) {
                y += kSectionSpacing;
                m_capNote = QRectF(m_pad, y, m_innerWidth, metrics.capNoteHeight);
                y += metrics.capNoteHeight;
            }
        }
        break;
    }
    }
    y += kBottomInset;
    m_contentHeight = std::max(y, viewportHeight);
}

QRectF BrowserLayout::itemRect(int index) const
{
    const bool folder = index < m_folderCount;
    const Grid& grid = folder ? m_folders : m_files;
    const int i = folder ? index : index - m_folderCount;
    const int row = i / grid.columns;
    const int column = i % grid.columns;
    const double y = grid.top + row * (grid.itemHeight + grid.rowSpacing);
    if (grid.columns == 1 && !folder && m_mode == ViewMode::list) {
        return {m_pad, y, m_innerWidth, grid.itemHeight};
    }
    return {m_pad + column * (m_columnWidth + m_spacing), y, m_columnWidth, grid.itemHeight};
}

std::pair<int, int> BrowserLayout::visibleRange(double top, double bottom) const
{
    const auto [folderFirst, folderEnd] = m_folders.rows(top, bottom);
    const auto [fileFirst, fileEnd] = m_files.rows(top, bottom);
    const int foldersFrom = folderFirst * m_folders.columns;
    const int foldersTo = std::min(folderEnd * m_folders.columns, m_folderCount);
    const int filesFrom = m_folderCount + fileFirst * m_files.columns;
    const int filesTo = m_folderCount + std::min(fileEnd * m_files.columns, m_fileCount);
    const bool anyFolder = foldersFrom < foldersTo;
    const bool anyFile = filesFrom < filesTo;
    if (!anyFolder && !anyFile) return {0, 0};
    return {anyFolder ? foldersFrom : filesFrom, anyFile ? filesTo : foldersTo};
}

} // namespace ovra
