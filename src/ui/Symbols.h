#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QObject;
class QPainter;
class QRectF;

namespace ovra::Symbols {

// The app names its symbols in one vocabulary ("photo", "trash",
// "chevron.down"). Each name is drawn from the freedesktop icon theme's
// monochrome symbolic icons (Adwaita first, whatever the desktop's own theme,
// since only single-colour artwork can be tinted), or from a few drawings of our
// own where the theme has nothing fitting or is missing. A name nobody mapped
// gets a generic mark: a symbol is never blank.

// The symbol tinted in `color`; never a null icon. A disabled icon is drawn in
// the colour at reduced strength.
QIcon icon(const QString& name, const QColor& color);
// The symbol in one of the theme's tones (`&Theme::primary`), asked again at
// every drawing, so an icon made once follows the desktop turning light or dark.
QIcon icon(const QString& name, QColor (*tone)());

// One rendering at a size in device-independent pixels.
QPixmap pixmap(const QString& name, int size, const QColor& color, qreal devicePixelRatio = 1.0);

// Shows the symbol on a label in one of the theme's tones, drawn again at every
// change of appearance.
void showOn(QLabel* label, const QString& name, int size, QColor (*tone)());

// Draws the symbol into `rect` (a square centred in it), as crisp as the
// painter's device allows.
void paint(QPainter& painter, const QString& name, const QRectF& rect, const QColor& color);

// Starts finding and reading the symbols' artwork on a pool thread. The first
// symbol drawn starts it too, and waits for it: call it early. GUI thread only.
void preload();

// For a drawing that must not wait for the artwork (a tile painted among
// hundreds): whether it has been read, starting the reading when it has not.
// GUI thread only.
bool isLoaded();
// Runs `loaded` on the GUI thread once the artwork has been read (at once when
// it already has), unless `owner` is gone by then. Starts the reading. GUI
// thread only.
void whenLoaded(QObject* owner, std::function<void()> loaded);

// Whether the symbol has a mapping of its own (and so does not fall to the
// generic mark).
bool isKnown(const QString& name);

// The icon file a symbol is drawn from; empty when it is drawn by us.
QString themeFile(const QString& name);

} // namespace ovra::Symbols
