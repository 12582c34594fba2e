#include "TilePointer.h"

#include <QApplication>
#include <QMouseEvent>

namespace ovra {

bool TilePointer::press(const QMouseEvent& event, int part)
{
    if (event.button() != Qt::LeftButton || part == kNothing) return false;
    m_pressed = part;
    m_pressPos = event.position().toPoint();
    m_dragged = false;
    return true;
}

bool TilePointer::dragStarts(const QMouseEvent& event, int draggablePart)
{
    if (m_pressed == kNothing || m_pressed != draggablePart || m_dragged) return false;
    if (!(event.buttons() & Qt::LeftButton)) return false;
    if ((event.position().toPoint() - m_pressPos).manhattanLength() <
        QApplication::startDragDistance())
        return false;
    m_dragged = true;
    return true;
}

int TilePointer::release(const QMouseEvent& event, int partUnder)
{
    const int pressed = m_pressed;
    m_pressed = kNothing;
    if (event.button() != Qt::LeftButton || pressed == kNothing || m_dragged) return kNothing;
    return partUnder == pressed ? pressed : kNothing;
}

bool TilePointer::doubleClick(const QMouseEvent& event, int part)
{
    if (event.button() != Qt::LeftButton || part == kNothing) return false;
    // The press of the second click: the release that follows must not click.
    m_pressed = kNothing;
    return true;
}

void TilePointer::forget()
{
    m_pressed = kNothing;
    m_dragged = false;
}

} // namespace ovra
