#include "FilterBar.h"

#include "FilterMenus.h"
#include "ViewModeToggle.h"
#include "library/AppState.h"
#include "ui/FilterPill.h"
#include "ui/FlowLayout.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QMenu>

namespace ovra {

namespace {

constexpr int kSpacing = 8;

FilterPill* makePill(const QString& label, QWidget* parent)
{
    auto* pill = new FilterPill(label, QString(), false, parent);
    pill->setFocusPolicy(Qt::NoFocus);
    return pill;
}

// The date and size menus are pickers: one checked row among the cases.
template <typename Value, std::size_t N, typename Set>
void fillPicker(QMenu* menu, const std::array<Value, N>& cases, Value current, Set set)
{
    menu->clear();
    auto* group = new QActionGroup(menu);
    group->setExclusive(true);
    for (Value value : cases) {
        QAction* action = menu->addAction(FilterMenus::text(value));
        action->setCheckable(true);
        action->setChecked(value == current);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, menu, [set, value] { set(value); });
    }
}

} // namespace

FilterBar::FilterBar(AppState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_from(makePill(QStringLiteral("From"), this))
    , m_kind(makePill(QStringLiteral("Kind"), this))
    , m_date(makePill(QStringLiteral("Date"), this))
    , m_size(makePill(QStringLiteral("Size"), this))
    , m_sort(makePill(QStringLiteral("Sort"), this))
    , m_toggle(new ViewModeToggle(state, this))
{
    // In a narrow window the pills go on in a second row rather than being
    // squeezed to "From: A".
    auto* layout = new FlowLayout(this, kSpacing);
    layout->setAlignedRight(true);
    for (QWidget* child : {static_cast<QWidget*>(m_from), static_cast<QWidget*>(m_kind),
                           static_cast<QWidget*>(m_date), static_cast<QWidget*>(m_size),
                           static_cast<QWidget*>(m_sort), static_cast<QWidget*>(m_toggle)}) {
        layout->addWidget(child);
    }
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);

    connect(m_from->menu(), &QMenu::aboutToShow, this, &FilterBar::fillFromMenu);
    connect(m_kind->menu(), &QMenu::aboutToShow, this, &FilterBar::fillKindMenu);
    connect(m_date->menu(), &QMenu::aboutToShow, this, &FilterBar::fillDateMenu);
    connect(m_size->menu(), &QMenu::aboutToShow, this, &FilterBar::fillSizeMenu);
    connect(m_sort->menu(), &QMenu::aboutToShow, this, &FilterBar::fillSortMenu);

    for (auto signal : {&AppState::sourceFilterChanged, &AppState::kindFilterChanged,
                        &AppState::dateFilterChanged, &AppState::sizeFilterChanged,
                        &AppState::sortKeyChanged, &AppState::ascendingChanged}) {
        connect(&state, signal, this, &FilterBar::refresh);
    }
    refresh();
}

void FilterBar::setShowsKindFilter(bool shows)
{
    m_showsKindFilter = shows;
    refresh();
}

void FilterBar::setKinds(const QMap<FileCategory, int>& kinds)
{
    m_kinds = kinds;
}

void FilterBar::setSources(const QList<SourceCount>& sources)
{
    if (m_sources == sources) return;
    m_sources = sources;
    refresh();
}

void FilterBar::refresh()
{
    const std::optional<QString> source = m_state.sourceFilter();
    m_from->setVisible(FilterMenus::showsFrom(m_sources, source));
    m_from->setValue(FilterMenus::fromValue(source));
    m_from->setActive(source.has_value());

    m_kind->setVisible(m_showsKindFilter);
    m_kind->setValue(FilterMenus::kindValue(m_state.kindFilter()));
    m_kind->setActive(m_state.kindFilter().has_value());

    m_date->setValue(FilterMenus::text(m_state.dateFilter()));
    m_date->setActive(m_state.dateFilter() != DateFilter::any);
    m_size->setValue(FilterMenus::text(m_state.sizeFilter()));
    m_size->setActive(m_state.sizeFilter() != SizeFilter::any);
    m_sort->setValue(FilterMenus::text(m_state.sortKey()));
    adjustSize();
}

void FilterBar::fillFromMenu()
{
    QMenu* menu = m_from->menu();
    menu->clear();
    connect(menu->addAction(QStringLiteral("Anywhere")), &QAction::triggered, this,
            [this] { m_state.setSourceFilter(std::nullopt); });
    menu->addSeparator();
    for (const FilterMenus::SourceEntry& entry : FilterMenus::fromEntries(m_sources)) {
        QAction* action = menu->addAction(Symbols::icon(entry.symbol, &Theme::primary), entry.text);
        connect(action, &QAction::triggered, this,
                [this, name = entry.name] { m_state.setSourceFilter(name); });
    }
}

void FilterBar::fillKindMenu()
{
    QMenu* menu = m_kind->menu();
    menu->clear();
    connect(menu->addAction(QStringLiteral("All")), &QAction::triggered, this,
            [this] { m_state.setKindFilter(std::nullopt); });
    menu->addSeparator();
    for (const FilterMenus::KindEntry& entry : FilterMenus::kindEntries(m_kinds)) {
        connect(menu->addAction(entry.text), &QAction::triggered, this,
                [this, category = entry.category] { m_state.setKindFilter(category); });
    }
}

void FilterBar::fillDateMenu()
{
    fillPicker(m_date->menu(), kAllDateFilters, m_state.dateFilter(),
               [this](DateFilter filter) { m_state.setDateFilter(filter); });
}

void FilterBar::fillSizeMenu()
{
    fillPicker(m_size->menu(), kAllSizeFilters, m_state.sizeFilter(),
               [this](SizeFilter filter) { m_state.setSizeFilter(filter); });
}

void FilterBar::fillSortMenu()
{
    QMenu* menu = m_sort->menu();
    menu->clear();
    for (const FilterMenus::SortEntry& entry :
         FilterMenus::sortEntries(m_state.sortKey(), m_state.ascending())) {
        QAction* action =
            entry.symbol.isEmpty()
                ? menu->addAction(entry.text)
                : menu->addAction(Symbols::icon(entry.symbol, &Theme::primary), entry.text);
        connect(action, &QAction::triggered, this,
                [this, key = entry.key] { m_state.setSort(key); });
    }
}

} // namespace ovra
