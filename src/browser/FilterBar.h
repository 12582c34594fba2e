#pragma once

#include "BrowserModel.h"

#include <QList>
#include <QMap>
#include <QWidget>

namespace ovra {

class AppState;
class FilterPill;
class ViewModeToggle;

// The pills over a file list: From, Kind, Date, Size and Sort, then the
// view-mode toggle. Each pill shows a value of the state and its menu writes
// the choice straight back; the menus are built when they open, from the state
// as it is then.
class FilterBar : public QWidget {
    Q_OBJECT
public:
    explicit FilterBar(AppState& state, QWidget* parent = nullptr);

    void setShowsKindFilter(bool shows);
    void setKinds(const QMap<FileCategory, int>& kinds);
    void setSources(const QList<SourceCount>& sources);

    FilterPill* fromPill() const { return m_from; }
    FilterPill* kindPill() const { return m_kind; }
    FilterPill* datePill() const { return m_date; }
    FilterPill* sizePill() const { return m_size; }
    FilterPill* sortPill() const { return m_sort; }
    ViewModeToggle* viewModeToggle() const { return m_toggle; }

private:
    void refresh();
    void fillFromMenu();
    void fillKindMenu();
    void fillDateMenu();
    void fillSizeMenu();
    void fillSortMenu();

    AppState& m_state;
    bool m_showsKindFilter = false;
    QMap<FileCategory, int> m_kinds;
    QList<SourceCount> m_sources;
    FilterPill* m_from;
    FilterPill* m_kind;
    FilterPill* m_date;
    FilterPill* m_size;
    FilterPill* m_sort;
    ViewModeToggle* m_toggle;
};

} // namespace ovra
