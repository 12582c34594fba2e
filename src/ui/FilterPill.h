#pragma once

#include <QPixmap>
#include <QString>
#include <QToolButton>

class QMenu;
class QPainter;

namespace ovra {

// The rounded menu button of the browser's filter bar: "Label:" in the
// secondary style, the value, and a small chevron. The caller fills `menu()`
// (or rebuilds it on its aboutToShow); a click opens it under the pill.
class FilterPill : public QToolButton {
    Q_OBJECT
public:
    FilterPill(const QString& label, const QString& value, bool active, QWidget* parent = nullptr);

    QString label() const { return m_label; }
    QString value() const { return m_value; }
    bool isActive() const { return m_active; }

    void setLabel(const QString& label);
    void setValue(const QString& value);
    // Only the fill and the border change with it; the size stays.
    void setActive(bool active);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString labelText() const;
    void draw(QPainter& painter) const;

    QString m_label;
    QString m_value;
    bool m_active;
    QPixmap m_drawn;
    QString m_drawnKey;
};

} // namespace ovra
