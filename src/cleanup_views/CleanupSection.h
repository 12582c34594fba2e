#pragma once

#include "SuggestionCard.h"
#include "cleanup_model/CleanupKind.h"
#include "library/SidebarItem.h"
#include "ui/AppContext.h"

#include <QList>
#include <QWidget>

#include <optional>

class QLabel;

namespace ovra {

class CardGrid;
class CleanupStore;
class Spinner;

// Bytes the hub and the section announce: every cleanup suggestion and every
// extra copy of the exact duplicates, a file that both list counted once.
qint64 reclaimableTotal(const AppContext& context);

// The suggestion cards: the duplicates first, always, then every kind that has
// something to suggest, in the kinds' order. Tapping one selects its screen.
// With a header (the home view) it also shows "Clean Up", the total to free and
// "See all".
class CleanupSection : public QWidget {
    Q_OBJECT
public:
    struct Card {
        SidebarItem target;
        SuggestionCard::Content content;
    };
    // What the cards show now, in order.
    static QList<Card> cards(const AppContext& context);

    CleanupSection(const AppContext& context, bool showsHeader, QWidget* parent = nullptr);

    CardGrid* grid() const { return m_grid; }
    QLabel* capsule() const { return m_capsule; }

private:
    void rebuild();

    AppContext m_context;
    CleanupStore* m_cleanup;
    QLabel* m_capsule = nullptr;
    Spinner* m_spinner = nullptr;
    CardGrid* m_grid;
};

} // namespace ovra
