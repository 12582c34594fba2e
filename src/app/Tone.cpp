#include "Tone.h"

#include "ui/Theme.h"

#include <QLabel>

namespace ovra {

QColor toneColor(Tone tone)
{
    switch (tone) {
    case Tone::primary: return Theme::primary();
    case Tone::secondary: return Theme::secondary();
    case Tone::tertiary: return Theme::tertiary();
    }
    return Theme::primary();
}

void followAppearance(QWidget* owner, std::function<void()> apply)
{
    apply();
    if (ThemeNotifier* notifier = Theme::notifier())
        QObject::connect(notifier, &ThemeNotifier::appearanceChanged, owner, std::move(apply));
}

QLabel* toneLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    followAppearance(label, [label, tone] {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, toneColor(tone));
        label->setPalette(palette);
    });
    return label;
}

} // namespace ovra
