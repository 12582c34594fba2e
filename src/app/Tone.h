#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <functional>

class QLabel;
class QWidget;

namespace ovra {

// The strength a symbol or text is drawn in, read from the theme at each use
// so it follows the appearance.
enum class Tone { primary, secondary, tertiary };

QColor toneColor(Tone tone);

// Runs `apply` now and again whenever the appearance may have changed, for as
// long as `owner` lives: for colours that a widget keeps in its palette.
void followAppearance(QWidget* owner, std::function<void()> apply);

// A plain-text label in the tone, following the appearance.
QLabel* toneLabel(const QString& text, const QFont& font, Tone tone, QWidget* parent);

} // namespace ovra
