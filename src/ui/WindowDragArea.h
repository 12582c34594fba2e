#pragma once

#include <QPoint>
#include <QWidget>

namespace ovra {

// An invisible area that moves the window when dragged and maximises or
// restores it on a double click, laid behind the top bar because the window
// has no title bar of its own there.
//
// The move starts only once the pointer has travelled the drag distance: a
// system move started at the press swallows the second click of a double click
// under X11. The third press of a triple click is an ordinary press, so it
// starts a drag rather than zooming again.
class WindowDragArea : public QWidget {
    Q_OBJECT
public:
    explicit WindowDragArea(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    enum class Drag { none, pressed, manual };

    Drag m_drag = Drag::none;
    QPoint m_pressGlobal;
    QPoint m_windowStart;
};

} // namespace ovra
