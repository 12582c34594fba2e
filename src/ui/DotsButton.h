#pragma once

#include <QToolButton>

namespace ovra {

// The small capsule menu button with vertical dots on the folder cards. The
// caller fills `menu()` (or rebuilds it on its aboutToShow).
class DotsButton : public QToolButton {
    Q_OBJECT
public:
    explicit DotsButton(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace ovra
