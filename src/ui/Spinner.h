#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QWidget>

#include <optional>

namespace ovra {

// A small indeterminate progress spinner: twelve spokes fading round. It turns
// only while shown.
class Spinner : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSmallSize = 16;

    explicit Spinner(QWidget* parent = nullptr, int size = kSmallSize);

    // The spokes' colour; the secondary text colour while unset.
    void setColor(const QColor& color);

    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    int m_size;
    int m_step = 0;
    std::optional<QColor> m_color;
    QBasicTimer m_timer;
};

} // namespace ovra
