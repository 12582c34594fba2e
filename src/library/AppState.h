#pragma once

#include "FileCategory.h"
#include "FileItem.h"
#include "ListOptions.h"
#include "RefreshToken.h"
#include "SidebarItem.h"
#include "ViewOptions.h"
#include "platform/SettingsStore.h"

#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <chrono>
#include <functional>
#include <optional>

namespace ovra {

// The one app-wide view state of the window: the sidebar's selection, the folder
// drilled into, the search text, the four list filters, the view options, the
// file selection and focus, the preview, the two trigger tokens, the toast and
// the pins. Created once at start-up, after the settings migration, and confined
// to the main thread.
//
// Every field notifies through its own signal, and only when the assigned value
// differs from the stored one: the reset rules of the window assign empty values
// on every move, and those must redraw nothing that was already empty. Items and
// item lists compare by path only, so replacing the focused item by the same
// file with fresh metadata is stored silently.
//
// Folders, files and pins are held by path key.
class AppState final : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<ovra::SidebarItem> selection READ selection WRITE setSelection NOTIFY
                   selectionChanged)
    Q_PROPERTY(QStringList folderPath READ folderPath WRITE setFolderPath NOTIFY folderPathChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(std::optional<ovra::FileCategory> kindFilter READ kindFilter WRITE setKindFilter
                   NOTIFY kindFilterChanged)
    Q_PROPERTY(
        ovra::DateFilter dateFilter READ dateFilter WRITE setDateFilter NOTIFY dateFilterChanged)
    Q_PROPERTY(
        ovra::SizeFilter sizeFilter READ sizeFilter WRITE setSizeFilter NOTIFY sizeFilterChanged)
    Q_PROPERTY(std::optional<QString> sourceFilter READ sourceFilter WRITE setSourceFilter NOTIFY
                   sourceFilterChanged)
    Q_PROPERTY(bool sidebarCollapsed READ sidebarCollapsed WRITE setSidebarCollapsed NOTIFY
                   sidebarCollapsedChanged)
    Q_PROPERTY(ovra::ViewMode viewMode READ viewMode WRITE setViewMode NOTIFY viewModeChanged)
    Q_PROPERTY(ovra::CardSize cardSize READ cardSize WRITE setCardSize NOTIFY cardSizeChanged)
    Q_PROPERTY(ovra::SortKey sortKey READ sortKey WRITE setSortKey NOTIFY sortKeyChanged)
    Q_PROPERTY(bool ascending READ ascending WRITE setAscending NOTIFY ascendingChanged)
    Q_PROPERTY(QSet<QString> selectedFiles READ selectedFiles WRITE setSelectedFiles NOTIFY
                   selectedFilesChanged)
    Q_PROPERTY(std::optional<ovra::FileItem> focusedItem READ focusedItem WRITE setFocusedItem
                   NOTIFY focusedItemChanged)
    Q_PROPERTY(
        bool showInspector READ showInspector WRITE setShowInspector NOTIFY showInspectorChanged)
    Q_PROPERTY(std::optional<ovra::FileItem> previewItem READ previewItem WRITE setPreviewItem
                   NOTIFY previewItemChanged)
    Q_PROPERTY(QList<ovra::FileItem> previewList READ previewList WRITE setPreviewList NOTIFY
                   previewListChanged)
    Q_PROPERTY(ovra::RefreshToken refreshToken READ refreshToken WRITE setRefreshToken NOTIFY
                   refreshTokenChanged)
    Q_PROPERTY(int focusSearchToken READ focusSearchToken WRITE setFocusSearchToken NOTIFY
                   focusSearchTokenChanged)
    Q_PROPERTY(
        std::optional<ovra::AppState::Toast> toast READ toast WRITE setToast NOTIFY toastChanged)
    Q_PROPERTY(QStringList pinned READ pinned WRITE setPinned NOTIFY pinnedChanged)

public:
    // The message shown at the bottom edge of the window. A toast that is not
    // sticky goes away by itself after kToastLifetime unless something replaced
    // it meanwhile; a sticky one stays until its raiser replaces or clears it.
    struct Toast {
        QUuid id; // one showing: every raiser makes a new one
        QString message;
        QString symbol;
        bool sticky = false;

        // A toast with a fresh identity.
        static Toast make(QString message, QString symbol, bool sticky = false);

        friend bool operator==(const Toast&, const Toast&) = default;
    };

    static constexpr std::chrono::milliseconds kToastLifetime{2600};

    // Time as the state sees it: "now" for the date filter, and a one-shot delay
    // on the main thread for the toast's lifetime. Empty members take the wall
    // clock and a Qt timer; tests pass their own to move time by hand.
    struct Clock {
        std::function<QDateTime()> now;
        std::function<void(std::chrono::milliseconds delay, std::function<void()> task)> after;
    };

    // Takes the view mode, card size and pins from `settings`, read before
    // (off the GUI thread); writes nothing. The state keeps the settings and
    // saves its choices through them.
    explicit AppState(SettingsStore settings, Clock clock = {}, QObject* parent = nullptr);
    // The same over settings held in memory alone (a window in a test).
    explicit AppState(Clock clock = {}, QObject* parent = nullptr);
    ~AppState() override;

    // The app's settings, for the screens that keep a choice of their own.
    SettingsStore& settings() { return m_settings; }

    std::optional<SidebarItem> selection() const { return m_selection; }
    QStringList folderPath() const { return m_folderPath; }
    QString searchText() const { return m_searchText; }
    std::optional<FileCategory> kindFilter() const { return m_kindFilter; }
    DateFilter dateFilter() const { return m_dateFilter; }
    SizeFilter sizeFilter() const { return m_sizeFilter; }
    std::optional<QString> sourceFilter() const { return m_sourceFilter; }
    bool sidebarCollapsed() const { return m_sidebarCollapsed; }
    ViewMode viewMode() const { return m_viewMode; }
    CardSize cardSize() const { return m_cardSize; }
    SortKey sortKey() const { return m_sortKey; }
    bool ascending() const { return m_ascending; }
    QSet<QString> selectedFiles() const { return m_selectedFiles; }
    std::optional<FileItem> focusedItem() const { return m_focusedItem; }
    bool showInspector() const { return m_showInspector; }
    std::optional<FileItem> previewItem() const { return m_previewItem; }
    QList<FileItem> previewList() const { return m_previewList; }
    RefreshToken refreshToken() const { return m_refreshToken; }
    int focusSearchToken() const { return m_focusSearchToken; }
    std::optional<Toast> toast() const { return m_toast; }
    QStringList pinned() const { return m_pinned; }

    void setSelection(std::optional<SidebarItem> selection);
    void setFolderPath(QStringList folderPath);
    void setSearchText(QString searchText);
    void setKindFilter(std::optional<FileCategory> kindFilter);
    void setDateFilter(DateFilter dateFilter);
    void setSizeFilter(SizeFilter sizeFilter);
    void setSourceFilter(std::optional<QString> sourceFilter);
    void setSidebarCollapsed(bool sidebarCollapsed);
    // The view mode, card size and pins are written to the settings on every
    // assignment, an equal one included.
    void setViewMode(ViewMode viewMode);
    void setCardSize(CardSize cardSize);
    void setSortKey(SortKey sortKey);
    void setAscending(bool ascending);
    void setSelectedFiles(QSet<QString> selectedFiles);
    void setFocusedItem(std::optional<FileItem> focusedItem);
    void setShowInspector(bool showInspector);
    void setPreviewItem(std::optional<FileItem> previewItem);
    void setPreviewList(QList<FileItem> previewList);
    void setRefreshToken(RefreshToken refreshToken);
    void setFocusSearchToken(int focusSearchToken);
    void setToast(std::optional<Toast> toast);
    void setPinned(QStringList pinned);

    // Whether the search text, trimmed, holds anything.
    bool isSearching() const;
    // Whether any of the four list filters is set.
    bool filtersActive() const;

    // The filters and sort order as they stand now, for `applyFilters` and
    // `sortItems` to work with on any thread.
    ListOptions listOptions() const;
    // Picks a key in its natural direction, or flips the direction of the current one.
    void setSort(SortKey key);
    // A click on a file: Ctrl adds it to the selection or takes it out; any other
    // click, whatever else is held, selects it alone. The focus follows.
    void select(const FileItem& file, Qt::KeyboardModifiers modifiers);
    // What an action started on `file` applies to: the selection as it appears in
    // `list` when the file is one of two or more selected, else the file alone.
    QList<FileItem> targets(const FileItem& file, const QList<FileItem>& list) const;
    // Opens the preview on `file`, stepping through the files of `list`.
    void preview(const FileItem& file, const QList<FileItem>& list);
    // Moves the preview by `step` within its list, taking the selection along; a
    // step past either end does nothing.
    void stepPreview(int step);
    // Goes into a folder: inside the selected location while no search runs,
    // else as a location of its own.
    void openFolder(const QString& path);
    // Pins a folder at the end of the pins, or unpins it.
    void togglePin(const QString& path);

signals:
    void selectionChanged();
    void folderPathChanged();
    void searchTextChanged();
    void kindFilterChanged();
    void dateFilterChanged();
    void sizeFilterChanged();
    void sourceFilterChanged();
    void sidebarCollapsedChanged();
    void viewModeChanged();
    void cardSizeChanged();
    void sortKeyChanged();
    void ascendingChanged();
    void selectedFilesChanged();
    void focusedItemChanged();
    void showInspectorChanged();
    void previewItemChanged();
    void previewListChanged();
    void refreshTokenChanged();
    void focusSearchTokenChanged();
    void toastChanged();
    void pinnedChanged();

private:
    void readSettings();
    void scheduleToastClearing(const Toast& toast);

    Clock m_clock;
    SettingsStore m_settings;

    std::optional<SidebarItem> m_selection = SidebarItem::home();
    QStringList m_folderPath;
    QString m_searchText;
    std::optional<FileCategory> m_kindFilter;
    DateFilter m_dateFilter = DateFilter::any;
    SizeFilter m_sizeFilter = SizeFilter::any;
    std::optional<QString> m_sourceFilter;
    bool m_sidebarCollapsed = false;
    ViewMode m_viewMode = ViewMode::grid;
    CardSize m_cardSize = CardSize::medium;
    SortKey m_sortKey = SortKey::date;
    bool m_ascending = false;
    QSet<QString> m_selectedFiles;
    std::optional<FileItem> m_focusedItem;
    bool m_showInspector = false;
    std::optional<FileItem> m_previewItem;
    QList<FileItem> m_previewList;
    RefreshToken m_refreshToken;
    int m_focusSearchToken = 0;
    std::optional<Toast> m_toast;
    QStringList m_pinned;
};

} // namespace ovra

Q_DECLARE_METATYPE(std::optional<ovra::SidebarItem>)
Q_DECLARE_METATYPE(std::optional<ovra::FileCategory>)
Q_DECLARE_METATYPE(ovra::DateFilter)
Q_DECLARE_METATYPE(ovra::SizeFilter)
Q_DECLARE_METATYPE(ovra::ViewMode)
Q_DECLARE_METATYPE(ovra::CardSize)
Q_DECLARE_METATYPE(ovra::SortKey)
Q_DECLARE_METATYPE(ovra::RefreshToken)
Q_DECLARE_METATYPE(std::optional<ovra::FileItem>)
Q_DECLARE_METATYPE(std::optional<ovra::AppState::Toast>)
