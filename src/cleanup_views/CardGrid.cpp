#include "CardGrid.h"

#include <algorithm>

namespace ovra {

CardGrid::CardGrid(int minimumWidth, int spacing, QWidget* parent)
    : QWidget(parent)
    , m_minimumWidth(minimumWidth)
    , m_spacing(spacing)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void CardGrid::setCards(const QList<QWidget*>& cards)
{
    for (QWidget* card : std::as_const(m_cards))
        if (!cards.contains(card)) card->deleteLater();
    m_cards = cards;
    for (QWidget* card : std::as_const(m_cards)) {
        card->setParent(this);
        card->show();
    }
    place(width(), true);
    updateGeometry();
}

int CardGrid::columnsFor(int width) const
{
    return std::max(1, (width + m_spacing) / (m_minimumWidth + m_spacing));
}

int CardGrid::columns() const
{
    return columnsFor(width());
}

int CardGrid::place(int width, bool move) const
{
    if (m_cards.isEmpty()) return 0;
    const int columns = columnsFor(width);
    const int cardWidth = std::max(1, (width - (columns - 1) * m_spacing) / columns);
    int y = 0;
    for (qsizetype first = 0; first < m_cards.size(); first += columns) {
        int rowHeight = 0;
        const qsizetype last = std::min<qsizetype>(m_cards.size(), first + columns);
        for (qsizetype i = first; i < last; ++i) {
            QWidget* card = m_cards[i];
            const int h = card->hasHeightForWidth() ? card->heightForWidth(cardWidth)
                                                    : card->sizeHint().height();
            rowHeight = std::max(rowHeight, h);
        }
        for (qsizetype i = first; i < last && move; ++i) {
            const int column = int(i - first);
            m_cards[i]->setGeometry(column * (cardWidth + m_spacing), y, cardWidth, rowHeight);
        }
        y += rowHeight + m_spacing;
    }
    return y - m_spacing;
}

int CardGrid::heightForWidth(int width) const
{
    return place(width, false);
}

QSize CardGrid::sizeHint() const
{
    return {m_minimumWidth, heightForWidth(std::max(width(), m_minimumWidth))};
}

void CardGrid::resizeEvent(QResizeEvent*)
{
    place(width(), true);
}

} // namespace ovra
