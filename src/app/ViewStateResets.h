#pragma once

#include <QObject>

namespace ovra {

class AppState;

// Keeps the view state consistent when the user moves elsewhere:
// - another sidebar selection starts the new place clean: no folder path, no
//   file selection, no focused item, none of the four filters;
// - going into or out of a folder drops the file selection and the focus;
// - any edit of the search text drops the kind filter (the other filters and
//   the selection stay, so a date filter set before a search still applies).
// Each reacts to a change only: AppState tells nothing when a value is
// assigned again, so re-choosing the selected place resets nothing.
class ViewStateResets : public QObject {
    Q_OBJECT
public:
    explicit ViewStateResets(AppState& state, QObject* parent = nullptr);

private:
    void selectionChanged();
    void folderPathChanged();
    void searchTextChanged();

    AppState& m_state;
};

} // namespace ovra
