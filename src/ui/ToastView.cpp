#include "ToastView.h"

#include "Symbols.h"
#include "Theme.h"
#include "library/AppState.h"
#include "services/SoftShadow.h"

#include <QEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace ovra {

namespace {

constexpr int kFontSize = 13;
constexpr int kSymbolSize = 15;
constexpr int kSpacing = 10;
constexpr int kPaddingX = 18;
// Room kept free at either side of the window.
constexpr int kSideMargin = 24;
constexpr int kAnimationMs = 300;

const SoftShadow kShadow{QColor(0, 0, 0, 51), 14, QPointF(0, 6)};

int shadowMargin()
{
    return int(std::ceil(kShadow.reach()));
}

} // namespace

// One toast's capsule, with room for its shadow around it. It moves in on
// creation and deletes itself once it has moved out.
class ToastCapsule : public QWidget {
public:
    ToastCapsule(const QUuid& id, const QString& message, const QString& symbol, QWidget* parent)
        : QWidget(parent)
        , m_id(id)
        , m_message(message)
        , m_symbol(symbol)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFont(Theme::font(kFontSize, QFont::Medium));
        for (QChar& c : m_message)
            if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) c = QLatin1Char(' ');
    }

    QUuid id() const { return m_id; }
    bool isLeaving() const { return m_leaving; }

    // The capsule's natural width, shadow room excluded.
    int naturalWidth() const
    {
        return kPaddingX + kSymbolSize + kSpacing + fontMetrics().horizontalAdvance(m_message) +
               kPaddingX;
    }

    QRectF capsuleRect() const
    {
        const int margin = shadowMargin();
        return QRectF(rect()).adjusted(margin, margin, -margin, -margin);
    }

    QRectF textRect() const
    {
        const QRectF capsule = capsuleRect();
        const qreal left = capsule.left() + kPaddingX + kSymbolSize + kSpacing;
        return {left, capsule.top(), capsule.right() - kPaddingX - left, capsule.height()};
    }

    QString shownText() const
    {
        return fontMetrics().elidedText(m_message, Qt::ElideRight, int(textRect().width()));
    }

    void placeIn(const QRect& area)
    {
        const int margin = shadowMargin();
        const int width = std::min(naturalWidth(), std::max(0, area.width() - 2 * kSideMargin));
        const int x = area.left() + (area.width() - width) / 2 - margin;
        const int y = area.bottom() + 1 - ToastView::kBottomPadding - ToastView::kHeight - margin;
        m_restingPos = QPoint(x, y);
        resize(width + 2 * margin, ToastView::kHeight + 2 * margin);
        applyProgress();
    }

    void enter() { animateTo(1.0); }

    void leave()
    {
        m_leaving = true;
        animateTo(0.0);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(m_progress);

        const QRectF capsule = capsuleRect();
        const qreal radius = capsule.height() / 2;
        kShadow.paint(painter, capsule, radius);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::ink());
        painter.drawRoundedRect(capsule, radius, radius);

        // The window's background colour stands out on the dark capsule.
        const QColor foreground = Theme::bg();
        const QRectF symbol(capsule.left() + kPaddingX, capsule.center().y() - kSymbolSize / 2.0,
                            kSymbolSize, kSymbolSize);
        Symbols::paint(painter, m_symbol, symbol, foreground);
        painter.setPen(foreground);
        painter.drawText(textRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         shownText());
    }

private:
    void animateTo(double target)
    {
        if (m_animation) m_animation->stop();
        m_animation = new QVariantAnimation(this);
        m_animation->setStartValue(m_progress);
        m_animation->setEndValue(target);
        m_animation->setDuration(kAnimationMs);
        // A critically damped spring: quick start, no overshoot.
        m_animation->setEasingCurve(QEasingCurve::OutCubic);
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_progress = value.toDouble();
            applyProgress();
        });
        connect(m_animation, &QVariantAnimation::finished, this, [this] {
            if (m_leaving) deleteLater();
        });
        m_animation->start(QAbstractAnimation::DeleteWhenStopped);
    }

    // Moves in from below the bottom edge as it fades in.
    void applyProgress()
    {
        const int travel = ToastView::kHeight + ToastView::kBottomPadding;
        move(m_restingPos + QPoint(0, int(std::lround((1.0 - m_progress) * travel))));
        update();
    }

    QUuid m_id;
    QString m_message;
    QString m_symbol;
    QPoint m_restingPos;
    double m_progress = 0.0;
    bool m_leaving = false;
    QPointer<QVariantAnimation> m_animation;
};

ToastView::ToastView(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    parent->installEventFilter(this);
    followParent();
}

ToastView::ToastView(const AppState& state, QWidget* parent)
    : ToastView(parent)
{
    auto follow = [this, &state] {
        if (const std::optional<AppState::Toast> toast = state.toast())
            showToast(toast->id, toast->message, toast->symbol);
        else
            clearToast();
    };
    connect(&state, &AppState::toastChanged, this, follow);
    follow();
}

void ToastView::showToast(const QUuid& id, const QString& message, const QString& symbol)
{
    if (m_capsule && m_capsule->id() == id) return;
    clearToast();
    m_capsule = new ToastCapsule(id, message, symbol, this);
    m_capsule->placeIn(rect());
    m_capsule->show();
    m_capsule->enter();
    raise();
}

void ToastView::clearToast()
{
    if (m_capsule) m_capsule->leave();
    m_capsule = nullptr;
}

std::optional<QUuid> ToastView::shownId() const
{
    if (!m_capsule) return std::nullopt;
    return m_capsule->id();
}

QString ToastView::shownText() const
{
    return m_capsule ? m_capsule->shownText() : QString();
}

bool ToastView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) followParent();
    return QWidget::eventFilter(watched, event);
}

void ToastView::followParent()
{
    const QWidget* parent = parentWidget();
    const int height = kBottomPadding + kHeight + 2 * shadowMargin();
    setGeometry(0, parent->height() - height, parent->width(), height);
    for (QObject* child : children())
        if (auto* capsule = dynamic_cast<ToastCapsule*>(child)) capsule->placeIn(rect());
}

} // namespace ovra
