#include "FlowLayout.h"

#include <QWidget>

#include <algorithm>

namespace ovra {

FlowLayout::FlowLayout(QWidget* parent, int spacing)
    : QLayout(parent)
{
    setContentsMargins(0, 0, 0, 0);
    setSpacing(spacing);
}

FlowLayout::~FlowLayout()
{
    while (QLayoutItem* item = takeAt(0))
        delete item;
}

void FlowLayout::addItem(QLayoutItem* item)
{
    m_items.append(item);
}

QLayoutItem* FlowLayout::itemAt(int index) const
{
    return index >= 0 && index < m_items.size() ? m_items.at(index) : nullptr;
}

QLayoutItem* FlowLayout::takeAt(int index)
{
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

int FlowLayout::heightForWidth(int width) const
{
    return arrange(QRect(0, 0, width, 0), false);
}

QSize FlowLayout::sizeHint() const
{
    int width = 0;
    int height = 0;
    for (const QLayoutItem* item : m_items) {
        if (item->isEmpty()) continue;
        width += (width > 0 ? spacing() : 0) + item->sizeHint().width();
        height = std::max(height, item->sizeHint().height());
    }
    const QMargins margins = contentsMargins();
    return {width + margins.left() + margins.right(), height + margins.top() + margins.bottom()};
}

QSize FlowLayout::minimumSize() const
{
    QSize size;
    for (const QLayoutItem* item : m_items)
        if (!item->isEmpty())
            size =
                size.expandedTo(item->hasHeightForWidth() ? item->minimumSize() : item->sizeHint());
    const QMargins margins = contentsMargins();
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

void FlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

// An item that wraps its text (a word-wrapped label) stays on the row while
// its text fits there on one line, taking the rest of the row; otherwise it
// starts a row of its own and wraps within it.
QSize FlowLayout::sizeIn(const QLayoutItem* item, int room, int rowWidth)
{
    if (!item->hasHeightForWidth()) return item->sizeHint();
    const int oneLine = item->heightForWidth(QWIDGETSIZE_MAX);
    const int rest = room - rowWidth;
    if (rest > 0 && item->heightForWidth(rest) <= oneLine) return {rest, oneLine};
    const int width = std::max(room, item->minimumSize().width());
    return {width, item->heightForWidth(width)};
}

int FlowLayout::arrange(const QRect& rect, bool apply) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    struct Placed {
        QLayoutItem* item;
        QSize size;
    };
    // Rows first, then each row placed: a row's height is its tallest item's.
    QList<QList<Placed>> rows(1);
    int rowWidth = 0;
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty()) continue;
        const int lead = rows.last().isEmpty() ? 0 : spacing();
        QSize size = sizeIn(item, area.width(), rowWidth + lead);
        if (!rows.last().isEmpty() && rowWidth + lead + size.width() > area.width()) {
            rows.append(QList<Placed>());
            rowWidth = 0;
            size = sizeIn(item, area.width(), 0);
        }
        rowWidth += (rows.last().isEmpty() ? 0 : spacing()) + size.width();
        rows.last().append({item, size});
    }
    int y = area.top();
    for (const QList<Placed>& row : rows) {
        if (row.isEmpty()) continue;
        int width = -spacing();
        int height = 0;
        for (const Placed& placed : row) {
            width += spacing() + placed.size.width();
            height = std::max(height, placed.size.height());
        }
        int x = m_alignedRight ? area.right() + 1 - width : area.left();
        for (const Placed& placed : row) {
            if (apply)
                placed.item->setGeometry(
                    QRect(QPoint(x, y + (height - placed.size.height()) / 2), placed.size));
            x += placed.size.width() + spacing();
        }
        y += height + spacing();
    }
    const QMargins margins = contentsMargins();
    return std::max(0, y - spacing() - area.top()) + margins.top() + margins.bottom();
}

} // namespace ovra
