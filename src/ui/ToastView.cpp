#include "ToastView.h"

#include "Symbols.h"
#include "Theme.h"
#include "library/AppState.h"
#include "ui/SoftShadow.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

constexpr int kFontSize = 13;
constexpr int kSymbolSize = 15;
constexpr int kSpacing = 10;
constexpr int kPaddingX = 18;
// Above and below a text of more than one line.
constexpr int kPaddingY = 10;
// Everything of the capsule's width that is not its text.
constexpr int kChrome = kPaddingX + kSymbolSize + kSpacing + kPaddingX;
// A toast grows with its text up to this width, then wraps, up to a few lines.
constexpr int kMaxWidth = 560;
constexpr int kMaxLines = 3;
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

    // The capsule's width for its text on one line, shadow room excluded.
    // Rounded up: a text measured a fraction short would be cut by a character.
    int naturalWidth() const
    {
        return kChrome + int(std::ceil(QFontMetricsF(font()).horizontalAdvance(m_message))) + 1;
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
        return {left, capsule.top() + kPaddingY, capsule.right() - kPaddingX - left,
                capsule.height() - 2 * kPaddingY};
    }

    // The text as drawn: whole, on as many lines as it takes up to the last
    // one there is room for, which ends in an ellipsis when the text goes on.
    QString shownText() const { return m_lines.join(QLatin1Char('\n')); }

    // The capsule's height for the lines it shows.
    int capsuleHeight() const
    {
        const int lines = int(std::max<qsizetype>(1, m_lines.size()));
        return std::max(ToastView::kHeight, lines * fontMetrics().lineSpacing() + 2 * kPaddingY);
    }

    void placeIn(const QRect& area)
    {
        const int margin = shadowMargin();
        const int room = std::max(0, area.width() - 2 * kSideMargin);
        const int width = std::min({naturalWidth(), kMaxWidth, room});
        m_lines = wrapped(width - kChrome);
        const int height = capsuleHeight();
        const int x = area.left() + (area.width() - width) / 2 - margin;
        const int y = area.bottom() + 1 - ToastView::kBottomPadding - height - margin;
        m_restingPos = QPoint(x, y);
        resize(width + 2 * margin, height + 2 * margin);
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
        const qreal radius = ToastView::kHeight / 2.0;
        kShadow.paint(painter, capsule, radius);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::ink());
        painter.drawRoundedRect(capsule, radius, radius);

        // The window's background colour stands out on the dark capsule.
        const QColor foreground = Theme::bg();
        // Beside the first line, so a wrapped text keeps its symbol at its start.
        const qreal firstLine = textRect().top() + fontMetrics().lineSpacing() / 2.0;
        const qreal symbolMiddle = m_lines.size() > 1 ? firstLine : capsule.center().y();
        const QRectF symbol(capsule.left() + kPaddingX, symbolMiddle - kSymbolSize / 2.0,
                            kSymbolSize, kSymbolSize);
        Symbols::paint(painter, m_symbol, symbol, foreground);
        painter.setPen(foreground);
        painter.drawText(textRect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
    }

private:
    // Breaks the message into the lines of the given width: at spaces where it
    // can, within a word where a word alone is wider. Past the last line the
    // capsule allows, the text is cut with an ellipsis.
    QStringList wrapped(int width) const
    {
        QStringList lines;
        const QFontMetrics metrics = fontMetrics();
        QTextLayout layout(m_message, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            if (lines.size() == kMaxLines - 1) {
                const QString rest = m_message.mid(line.textStart());
                lines << metrics.elidedText(rest, Qt::ElideRight, width);
                break;
            }
            lines << m_message.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        return lines;
    }

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
    QStringList m_lines;
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
    followParent();
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
    // Tall enough for the tallest capsule, a wrapped one included; its place is
    // worked out against the view's width alone.
    const QRect along(0, 0, parent->width(), 0);
    int capsuleHeight = kHeight;
    for (QObject* child : children())
        if (auto* capsule = dynamic_cast<ToastCapsule*>(child)) {
            capsule->placeIn(along);
            capsuleHeight = std::max(capsuleHeight, capsule->capsuleHeight());
        }
    const int height = kBottomPadding + capsuleHeight + 2 * shadowMargin();
    setGeometry(0, parent->height() - height, parent->width(), height);
    for (QObject* child : children())
        if (auto* capsule = dynamic_cast<ToastCapsule*>(child)) capsule->placeIn(rect());
}

} // namespace ovra
