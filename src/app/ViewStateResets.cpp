#include "ViewStateResets.h"

#include "library/AppState.h"

namespace ovra {

ViewStateResets::ViewStateResets(AppState& state, QObject* parent)
    : QObject(parent)
    , m_state(state)
{
    connect(&state, &AppState::selectionChanged, this, &ViewStateResets::selectionChanged);
    connect(&state, &AppState::folderPathChanged, this, &ViewStateResets::folderPathChanged);
    connect(&state, &AppState::searchTextChanged, this, &ViewStateResets::searchTextChanged);
}

void ViewStateResets::selectionChanged()
{
    // Emptying a non-empty path sets off the folder reset first; it clears the
    // same two fields the lines below find already clear.
    m_state.setFolderPath({});
    m_state.setSelectedFiles({});
    m_state.setFocusedItem(std::nullopt);
    m_state.setKindFilter(std::nullopt);
    m_state.setDateFilter(DateFilter::any);
    m_state.setSizeFilter(SizeFilter::any);
    m_state.setSourceFilter(std::nullopt);
}

void ViewStateResets::folderPathChanged()
{
    m_state.setSelectedFiles({});
    m_state.setFocusedItem(std::nullopt);
}

void ViewStateResets::searchTextChanged()
{
    m_state.setKindFilter(std::nullopt);
}

} // namespace ovra
