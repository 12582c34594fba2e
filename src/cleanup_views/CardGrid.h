#pragma once

#include <QList>
#include <QWidget>

namespace ovra {

// Cards in as many equal columns of at least `minimumWidth` as fit, rows as
// tall as their tallest card. The cards are few (a dozen), so every one is a
// widget.
class CardGrid : public QWidget {
    Q_OBJECT
public:
    CardGrid(int minimumWidth, int spacing, QWidget* parent = nullptr);

    // Takes the cards over; the earlier ones are deleted.
    void setCards(const QList<QWidget*>& cards);
    const QList<QWidget*>& cards() const { return m_cards; }
    int columns() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int columnsFor(int width) const;
    int place(int width, bool move) const;

    int m_minimumWidth;
    int m_spacing;
    QList<QWidget*> m_cards;
};

} // namespace ovra
