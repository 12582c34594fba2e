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
            size = size.expandedTo(item->hasHeightForWidth() ? item->minimumSize()
                                                             : item->sizeHint());
    const QMargins margins = contentsMargins();
    return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

void FlowLayout::setGeometry(const QRect& rect)
{
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

// An item that wraps its text (a word-wrapped label) takes no more than the
// row's width and grows in height instead.
QSize FlowLayout::sizeIn(const QLayoutItem* item, int rowWidth)
{
    const QSize hint = item->sizeHint();
    if (!item->hasHeightForWidth() || hint.width() <= rowWidth) return hint;
    const int width = std::max(rowWidth, item->minimumSize().width());
    return {width, item->heightForWidth(width)};
}

int FlowLayout::arrange(const QRect& rect, bool apply) const
{
    const QRect area = rect.marginsRemoved(contentsMargins());
    // Rows first, then each row placed: a row's height is its tallest item's.
    QList<QList<QLayoutItem*>> rows(1);
    int rowWidth = 0;
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty()) continue;
        const int width = sizeIn(item, area.width()).width();
        if (!rows.last().isEmpty() && rowWidth + spacing() + width > area.width()) {
            rows.append(QList<QLayoutItem*>());
            rowWidth = 0;
        }
        rowWidth += (rows.last().isEmpty() ? 0 : spacing()) + width;
        rows.last().append(item);
    }
    int y = area.top();
    for (const QList<QLayoutItem*>& row : rows) {
        if (row.isEmpty()) continue;
        int width = -spacing();
        int height = 0;
        for (const QLayoutItem* item : row) {
            const QSize size = sizeIn(item, area.width());
            width += spacing() + size.width();
            height = std::max(height, size.height());
        }
        int x = m_alignedRight ? area.right() + 1 - width : area.left();
        for (QLayoutItem* item : row) {
            const QSize size = sizeIn(item, area.width());
            if (apply) item->setGeometry(QRect(QPoint(x, y + (height - size.height()) / 2), size));
            x += size.width() + spacing();
        }
        y += height + spacing();
    }
    const QMargins margins = contentsMargins();
    return std::max(0, y - spacing() - area.top()) + margins.top() + margins.bottom();
}

} // namespace ovra
