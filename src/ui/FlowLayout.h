#pragma once

#include <QLayout>
#include <QList>

namespace ovra {

// Lays its widgets out in a row while the row has room and goes on in a new row
// below when it has not, so a bar of controls in a narrow window keeps every
// control whole instead of squeezing them over each other. Each row is centred
// vertically and leans to the left or, for a bar at a right edge, to the right.
class FlowLayout : public QLayout {
public:
    explicit FlowLayout(QWidget* parent = nullptr, int spacing = 8);
    ~FlowLayout() override;

    void setAlignedRight(bool right) { m_alignedRight = right; }

    void addItem(QLayoutItem* item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    // Everything on one row.
    QSize sizeHint() const override;
    // The widest control alone.
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    static QSize sizeIn(const QLayoutItem* item, int room, int rowWidth);
    // Places the items (when `apply`) and answers the height they take.
    int arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> m_items;
    bool m_alignedRight = false;
};

} // namespace ovra
