#pragma once

#include <QMargins>
#include <QWidget>

namespace ovra {

// A one-pixel line between two columns or groups of rows, in the theme's line
// colour; `inset` keeps room around it (the line stays one pixel thick).
class Hairline : public QWidget {
public:
    Hairline(Qt::Orientation orientation, QWidget* parent, QMargins inset = {});

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QMargins m_inset;
};

} // namespace ovra
