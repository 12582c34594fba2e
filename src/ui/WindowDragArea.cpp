#include "WindowDragArea.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

namespace ovra {

WindowDragArea::WindowDragArea(QWidget* parent)
    : QWidget(parent)
{
}

void WindowDragArea::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    m_drag = Drag::pressed;
    m_pressGlobal = event->globalPosition().toPoint();
    event->accept();
}

void WindowDragArea::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint global = event->globalPosition().toPoint();
    QWidget* top = window();
    if (m_drag == Drag::pressed &&
        (global - m_pressGlobal).manhattanLength() >= QApplication::startDragDistance()) {
        QWindow* handle = top->windowHandle();
        if (handle && handle->startSystemMove()) {
            m_drag = Drag::none;
        } else {
            // Not every window system lets the app start a move; follow the
            // pointer by hand there.
            m_drag = Drag::manual;
            m_windowStart = top->pos();
        }
    }
    if (m_drag == Drag::manual && !top->isMaximized())
        top->move(m_windowStart + (global - m_pressGlobal));
    event->accept();
}

void WindowDragArea::mouseReleaseEvent(QMouseEvent* event)
{
    m_drag = Drag::none;
    event->accept();
}

void WindowDragArea::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    m_drag = Drag::none;
    QWidget* top = window();
    if (top->isMaximized())
        top->showNormal();
    else
        top->showMaximized();
    event->accept();
}

} // namespace ovra
