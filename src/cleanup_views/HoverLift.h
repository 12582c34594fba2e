#pragma once

#include <QObject>
#include <QVariantAnimation>
#include <QWidget>

namespace ovra {

// How far a hovered card has risen, from 0 (resting) to 1 (lifted), eased out
// over 0.18 seconds; the card repaints as it moves.
class HoverLift : public QObject {
    Q_OBJECT
public:
    static constexpr int kDurationMs = 180;

    explicit HoverLift(QWidget* card)
        : QObject(card)
        , m_animation(new QVariantAnimation(this))
    {
        m_animation->setDuration(kDurationMs);
        m_animation->setEasingCurve(QEasingCurve::OutCubic);
        connect(m_animation, &QVariantAnimation::valueChanged, card,
                [this, card](const QVariant& v) {
                    m_value = v.toDouble();
                    emit moved();
                    card->update();
                });
    }

    double value() const { return m_value; }
    void setHovering(bool hovering)
    {
        m_animation->stop();
        m_animation->setStartValue(m_value);
        m_animation->setEndValue(hovering ? 1.0 : 0.0);
        m_animation->start();
    }

signals:
    void moved();

private:
    QVariantAnimation* m_animation;
    double m_value = 0;
};

} // namespace ovra
