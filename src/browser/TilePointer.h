#pragma once

#include <QPoint>

class QMouseEvent;

namespace ovra {

// What the left button does on a card, a row or a folder tile, in one place:
// a click counts where the press began and ended on the same part; a move past
// the drag distance with the button held starts a drag (once per press, and no
// click follows it); the press of a double click's second click leaves no
// click behind for its release.
//
// A tile names its parts by small numbers; 0 is nothing (outside the tile's
// shape), where a press is not the tile's.
class TilePointer {
public:
    static constexpr int kNothing = 0;

    // Whether the tile takes the press: the left button, on a part.
    bool press(const QMouseEvent& event, int part);
    // Whether this move starts a drag of the press on `draggablePart`.
    bool dragStarts(const QMouseEvent& event, int draggablePart);
    // The part clicked, or kNothing when the release makes no click.
    int release(const QMouseEvent& event, int partUnder);
    // Whether the double click is the tile's: the left button on `part`.
    bool doubleClick(const QMouseEvent& event, int part);
    // Forgets the press, as when the tile is pointed at another file.
    void forget();

private:
    int m_pressed = kNothing;
    QPoint m_pressPos;
    bool m_dragged = false;
};

} // namespace ovra
