#pragma once

#include <QStringList>
#include <QWidget>

namespace ovra {

// The row over search results that says how the typed text was understood:
// a sparkle, "Understood as", and one capsule per chip, in the given order.
// The row never wraps.
class UnderstoodChips : public QWidget {
    Q_OBJECT
public:
    explicit UnderstoodChips(const QStringList& chips, QWidget* parent = nullptr);

    const QStringList& chips() const { return m_chips; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList m_chips;
};

} // namespace ovra
