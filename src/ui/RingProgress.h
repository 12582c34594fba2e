#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

namespace ovra {

// A small determinate progress ring: a faint full circle with the done part
// drawn over it from twelve o'clock, clockwise.
class RingProgress : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMiniSize = 12;

    explicit RingProgress(QWidget* parent = nullptr, int size = kMiniSize);

    // A total below 1 counts as 1, so no work yet shows an empty ring.
    void setProgress(double done, double total);
    double fraction() const { return m_fraction; }

    // The done part's colour; the theme's ink while unset.
    void setColor(const QColor& color);

    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_size;
    double m_fraction = 0;
    std::optional<QColor> m_color;
};

} // namespace ovra
