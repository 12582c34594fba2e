#include "Hairline.h"

#include "Theme.h"

#include <QPainter>

namespace ovra {

Hairline::Hairline(Qt::Orientation orientation, QWidget* parent, QMargins inset)
    : QWidget(parent)
    , m_inset(inset)
{
    if (orientation == Qt::Vertical) {
        setFixedWidth(inset.left() + 1 + inset.right());
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    } else {
        setFixedHeight(inset.top() + 1 + inset.bottom());
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    if (ThemeNotifier* notifier = Theme::notifier())
        connect(notifier, &ThemeNotifier::appearanceChanged, this, qOverload<>(&QWidget::update));
}

void Hairline::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect().marginsRemoved(m_inset), Theme::line());
}

} // namespace ovra
