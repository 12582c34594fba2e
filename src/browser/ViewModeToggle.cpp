#include "ViewModeToggle.h"

#include "FilterMenus.h"
#include "library/AppState.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QToolButton>

namespace ovra {

namespace {

constexpr int kHeight = 30;
constexpr int kInsetX = 2;
constexpr qreal kRadius = 10;
constexpr int kButtonWidth = 30;
constexpr int kButtonHeight = 24;
constexpr qreal kButtonRadius = 7;
constexpr int kSymbolSize = 12;
constexpr int kDividerHeight = 16;
constexpr int kDividerMargin = 2;
constexpr int kMenuWidth = 30;
constexpr int kMenuHeight = 28;

class ModeButton : public QAbstractButton {
public:
    ModeButton(AppState& state, ViewMode mode, const QString& symbol, QWidget* parent)
        : QAbstractButton(parent)
        , m_state(state)
        , m_mode(mode)
        , m_symbol(symbol)
    {
        setFixedSize(kButtonWidth, kButtonHeight);
        setCursor(Qt::ArrowCursor);
        setFocusPolicy(Qt::NoFocus);
        setAccessibleName(mode == ViewMode::grid ? QStringLiteral("Grid") : QStringLiteral("List"));
        connect(this, &QAbstractButton::clicked, this, [this] { m_state.setViewMode(m_mode); });
        connect(&state, &AppState::viewModeChanged, this, qOverload<>(&QWidget::update));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const bool current = m_state.viewMode() == m_mode;
        if (current) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(Theme::fill());
            painter.drawRoundedRect(QRectF(rect()), kButtonRadius, kButtonRadius);
        }
        const QRectF symbol((width() - kSymbolSize) / 2.0, (height() - kSymbolSize) / 2.0,
                            kSymbolSize, kSymbolSize);
        Symbols::paint(painter, m_symbol, symbol, current ? Theme::primary() : Theme::secondary());
    }

private:
    AppState& m_state;
    ViewMode m_mode;
    QString m_symbol;
};

class CardSizeButton : public QToolButton {
public:
    explicit CardSizeButton(QWidget* parent)
        : QToolButton(parent)
    {
        setFixedSize(kMenuWidth, kMenuHeight);
        setPopupMode(QToolButton::InstantPopup);
        setFocusPolicy(Qt::NoFocus);
        setToolTip(QStringLiteral("Card Size"));
        setAccessibleName(QStringLiteral("Card Size"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF symbol((width() - kSymbolSize) / 2.0, (height() - kSymbolSize) / 2.0,
                            kSymbolSize, kSymbolSize);
        Symbols::paint(painter, QStringLiteral("line.3.horizontal.decrease"), symbol,
                       Theme::secondary());
    }
};

class Divider : public QWidget {
public:
    explicit Divider(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(1 + 2 * kDividerMargin, kDividerHeight);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(QRect(kDividerMargin, 0, 1, height()), Theme::line());
    }
};

} // namespace

ViewModeToggle::ViewModeToggle(AppState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_grid(new ModeButton(state, ViewMode::grid, QStringLiteral("square.grid.2x2"), this))
    , m_list(new ModeButton(state, ViewMode::list, QStringLiteral("list.bullet"), this))
    , m_cardSize(new CardSizeButton(this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kInsetX, 0, kInsetX, 0);
    layout->setSpacing(0);
    layout->addWidget(m_grid, 0, Qt::AlignVCenter);
    layout->addWidget(m_list, 0, Qt::AlignVCenter);
    layout->addWidget(new Divider(this), 0, Qt::AlignVCenter);
    layout->addWidget(m_cardSize, 0, Qt::AlignVCenter);
    setFixedHeight(kHeight);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    auto* menu = new QMenu(m_cardSize);
    m_cardSize->setMenu(menu);
    connect(menu, &QMenu::aboutToShow, this, &ViewModeToggle::fillCardSizeMenu);
    fillCardSizeMenu();
}

QAbstractButton* ViewModeToggle::button(ViewMode mode) const
{
    return mode == ViewMode::grid ? m_grid : m_list;
}

QSize ViewModeToggle::sizeHint() const
{
    return {2 * kInsetX + 2 * kButtonWidth + 1 + 2 * kDividerMargin + kMenuWidth, kHeight};
}

void ViewModeToggle::fillCardSizeMenu()
{
    QMenu* menu = m_cardSize->menu();
    menu->clear();
    for (CardSize size : kAllCardSizes) {
        QAction* action = menu->addAction(FilterMenus::text(size));
        if (size == m_state.cardSize()) {
            action->setIcon(Symbols::icon(QStringLiteral("checkmark"), &Theme::primary));
        }
        connect(action, &QAction::triggered, this, [this, size] { m_state.setCardSize(size); });
    }
}

void ViewModeToggle::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Theme::line(), 1));
    painter.setBrush(Theme::card());
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kRadius, kRadius);
}

} // namespace ovra
