#include "AppState.h"

#include "SearchText.h"
#include "platform/PathKey.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>

namespace ovra {

namespace {

// Stores the new value whatever happens, and says whether readers must hear of it.
template <typename T> bool store(T& field, T value)
{
    const bool changed = !(field == value);
    field = std::move(value);
    return changed;
}

// The display name of a folder as the sidebar titles it.
QString displayName(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    const QString name = QFileInfo(clean).fileName();
    return name.isEmpty() ? clean : name;
}

bool isFolder(const FileItem& item)
{
    return item.category == FileCategory::folders;
}

} // namespace

AppState::Toast AppState::Toast::make(QString message, QString symbol, bool sticky)
{
    return {QUuid::createUuid(), std::move(message), std::move(symbol), sticky};
}

AppState::AppState(Clock clock, QObject* parent)
    : AppState(SettingsStore::inMemory(), std::move(clock), parent)
{
}

AppState::AppState(SettingsStore settings, Clock clock, QObject* parent)
    : QObject(parent)
    , m_clock(std::move(clock))
    , m_settings(std::move(settings))
{
    if (!m_clock.now) m_clock.now = [] { return QDateTime::currentDateTime(); };
    if (!m_clock.after) {
        m_clock.after = [this](std::chrono::milliseconds delay, std::function<void()> task) {
            QTimer::singleShot(delay, this, std::move(task));
        };
    }
    readSettings();
}

AppState::~AppState() = default;

void AppState::readSettings()
{
    m_viewMode = viewModeFromRaw(m_settings.text(SettingsKey::viewMode).value_or(QString()))
                     .value_or(ViewMode::grid);
    m_cardSize = cardSizeFromRaw(m_settings.text(SettingsKey::cardSize).value_or(QString()))
                     .value_or(CardSize::medium);
    // Pins are written as absolute paths. Anything else in the list (a number,
    // an empty entry, a value of another type) was not written by the app and
    // names no folder; it is passed over, and the other pins stay.
    for (const QString& path : m_settings.textList(SettingsKey::pinned).value_or(QStringList()))
        if (QDir::isAbsolutePath(path)) m_pinned.append(pathKey(path));
}

void AppState::setSelection(std::optional<SidebarItem> selection)
{
    if (store(m_selection, std::move(selection))) emit selectionChanged();
}

void AppState::setFolderPath(QStringList folderPath)
{
    if (store(m_folderPath, std::move(folderPath))) emit folderPathChanged();
}

void AppState::setSearchText(QString searchText)
{
    if (store(m_searchText, cappedSearchText(std::move(searchText)))) emit searchTextChanged();
}

void AppState::setKindFilter(std::optional<FileCategory> kindFilter)
{
    if (store(m_kindFilter, kindFilter)) emit kindFilterChanged();
}

void AppState::setDateFilter(DateFilter dateFilter)
{
    if (store(m_dateFilter, dateFilter)) emit dateFilterChanged();
}

void AppState::setSizeFilter(SizeFilter sizeFilter)
{
    if (store(m_sizeFilter, sizeFilter)) emit sizeFilterChanged();
}

void AppState::setSourceFilter(std::optional<QString> sourceFilter)
{
    if (store(m_sourceFilter, std::move(sourceFilter))) emit sourceFilterChanged();
}

void AppState::setSidebarCollapsed(bool sidebarCollapsed)
{
    if (store(m_sidebarCollapsed, sidebarCollapsed)) emit sidebarCollapsedChanged();
}

void AppState::setViewMode(ViewMode viewMode)
{
    if (store(m_viewMode, viewMode)) emit viewModeChanged();
    m_settings.setText(SettingsKey::viewMode, rawValue(m_viewMode));
}

void AppState::setCardSize(CardSize cardSize)
{
    if (store(m_cardSize, cardSize)) emit cardSizeChanged();
    m_settings.setText(SettingsKey::cardSize, rawValue(m_cardSize));
}

void AppState::setSortKey(SortKey sortKey)
{
    if (store(m_sortKey, sortKey)) emit sortKeyChanged();
}

void AppState::setAscending(bool ascending)
{
    if (store(m_ascending, ascending)) emit ascendingChanged();
}

void AppState::setSelectedFiles(QSet<QString> selectedFiles)
{
    if (store(m_selectedFiles, std::move(selectedFiles))) emit selectedFilesChanged();
}

void AppState::setFocusedItem(std::optional<FileItem> focusedItem)
{
    if (store(m_focusedItem, std::move(focusedItem))) emit focusedItemChanged();
}

void AppState::setShowInspector(bool showInspector)
{
    if (store(m_showInspector, showInspector)) emit showInspectorChanged();
}

void AppState::setPreviewItem(std::optional<FileItem> previewItem)
{
    if (store(m_previewItem, std::move(previewItem))) emit previewItemChanged();
}

void AppState::setPreviewList(QList<FileItem> previewList)
{
    if (store(m_previewList, std::move(previewList))) emit previewListChanged();
}

void AppState::setRefreshToken(RefreshToken refreshToken)
{
    if (store(m_refreshToken, refreshToken)) emit refreshTokenChanged();
}

void AppState::setFocusSearchToken(int focusSearchToken)
{
    if (store(m_focusSearchToken, focusSearchToken)) emit focusSearchTokenChanged();
}

void AppState::setToast(std::optional<Toast> toast)
{
    if (!store(m_toast, std::move(toast))) return;
    if (m_toast && !m_toast->sticky) scheduleToastClearing(*m_toast);
    emit toastChanged();
}

// Each showing keeps its own clock: when it runs out, the toast goes only if it
// is still the very one that started it, so a newer toast always gets its full
// time and a sticky replacement stays.
void AppState::scheduleToastClearing(const Toast& toast)
{
    m_clock.after(kToastLifetime, [this, toast] {
        if (m_toast == toast) setToast(std::nullopt);
    });
}

void AppState::setPinned(QStringList pinned)
{
    if (store(m_pinned, std::move(pinned))) emit pinnedChanged();
    m_settings.setTextList(SettingsKey::pinned, m_pinned);
}

bool AppState::isSearching() const
{
    return !trimmedSearchText(m_searchText).isEmpty();
}

bool AppState::filtersActive() const
{
    return listOptions().filtersActive();
}

ListOptions AppState::listOptions() const
{
    return {m_kindFilter, m_dateFilter, m_sizeFilter, m_sourceFilter,
            m_sortKey,    m_ascending,  m_clock.now()};
}

void AppState::setSort(SortKey key)
{
    if (key == m_sortKey) {
        setAscending(!m_ascending);
        return;
    }
    setSortKey(key);
    setAscending(defaultAscending(key));
}

void AppState::select(const FileItem& file, Qt::KeyboardModifiers modifiers)
{
    QSet<QString> selected = m_selectedFiles;
    if (modifiers.testFlag(Qt::ControlModifier)) {
        if (!selected.remove(file.path)) selected.insert(file.path);
    } else {
        selected = {file.path};
    }
    const bool isSelected = selected.contains(file.path);
    setSelectedFiles(std::move(selected));
    setFocusedItem(isSelected ? std::optional(file) : std::nullopt);
}

QList<FileItem> AppState::targets(const FileItem& file, const QList<FileItem>& list) const
{
    if (!m_selectedFiles.contains(file.path) || m_selectedFiles.size() < 2) return {file};
    QList<FileItem> selected;
    for (const FileItem& item : list)
        if (m_selectedFiles.contains(item.path)) selected.append(item);
    return selected;
}

void AppState::preview(const FileItem& file, const QList<FileItem>& list)
{
    QList<FileItem> files;
    for (const FileItem& item : list)
        if (!isFolder(item)) files.append(item);
    setPreviewList(std::move(files));
    setPreviewItem(file);
}

void AppState::stepPreview(int step)
{
    if (!m_previewItem) return;
    const qsizetype position = m_previewList.indexOf(*m_previewItem);
    if (position < 0) return;
    const qsizetype next = position + step;
    if (next < 0 || next >= m_previewList.size()) return;

    const FileItem file = m_previewList.at(next);
    setPreviewItem(file);
    setSelectedFiles({file.path});
    setFocusedItem(file);
}

void AppState::openFolder(const QString& path)
{
    const Location* location = m_selection ? m_selection->as<Location>() : nullptr;
    if (location && !isSearching()) {
        setFolderPath(m_folderPath + QStringList{path});
    } else {
        setSearchText(QString());
        setSelection(SidebarItem::location({path, displayName(path), QStringLiteral("folder")}));
    }
    setSelectedFiles({});
    setFocusedItem(std::nullopt);
}

void AppState::togglePin(const QString& path)
{
    QStringList pins = m_pinned;
    const qsizetype position = pins.indexOf(path);
    if (position >= 0)
        pins.removeAt(position);
    else
        pins.append(path);
    setPinned(std::move(pins));
}

} // namespace ovra
