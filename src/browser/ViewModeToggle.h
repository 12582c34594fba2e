#pragma once

#include "library/ViewOptions.h"

#include <QWidget>

class QAbstractButton;
class QToolButton;

namespace ovra {

class AppState;

// The grid and list buttons and the card-size menu at the end of the filter
// bar. It shows and writes the state's view mode and card size, nothing else.
class ViewModeToggle : public QWidget {
    Q_OBJECT
public:
    explicit ViewModeToggle(AppState& state, QWidget* parent = nullptr);

    QAbstractButton* button(ViewMode mode) const;
    QToolButton* cardSizeButton() const { return m_cardSize; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void fillCardSizeMenu();

    AppState& m_state;
    QAbstractButton* m_grid;
    QAbstractButton* m_list;
    QToolButton* m_cardSize;
};

} // namespace ovra
