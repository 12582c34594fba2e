#pragma once

#include "library/FileCategory.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPalette>
#include <QStringView>

class QDBusConnection;
class QWidget;

#include <array>
#include <cstddef>
#include <optional>

namespace ovra {

class ThemeNotifier;

// Every colour of the app. Views ask for a colour each time they paint, so the
// dynamic ones follow the appearance without anything being rebuilt.
class Theme {
public:
    Theme() = delete;

    // Dark when the application palette's window colour is dark, or when the
    // desktop's colour-scheme setting says so; light when neither is known.
    static bool isDark();
    static bool isDark(const QPalette& palette);

    static QColor ink();  // content tint; the toast capsule
    static QColor card(); // card backgrounds
    static QColor bg();   // text background: sidebar, toast text
    static QColor line(); // hairlines: the primary colour at 9 %
    static QColor fill(); // plates: the primary colour at 4.5 %
    static QColor red();
    static QColor green();
    static QColor star();

    // Text styles: the appearance's label colour at full, secondary and tertiary
    // strength.
    static QColor primary();
    static QColor secondary();
    static QColor tertiary();

    static constexpr std::size_t kPastelCount = 6;
    static const std::array<QColor, kPastelCount>& pastels();
    // The same name always gets the same pastel: the sum of its Unicode scalar
    // values picks it.
    static QColor pastel(QStringView name);
    static std::size_t pastelIndex(QStringView name);

    static QColor tint(FileCategory category);
    // The placeholder tile's start and end colours.
    static std::array<QColor, 2> gradient(FileCategory category);
    static QColor color(Rgb rgb);

    // Colours a widget's text (its palette's window text) with a tone of the
    // theme, and colours it again at every change of appearance: the tones are
    // made from the appearance's text colour, so one taken once turns
    // unreadable after a switch between light and dark.
    static void setTextTone(QWidget* widget, QColor (*tone)());

    // The system font at a size in device-independent pixels.
    static QFont font(int pixelSize, QFont::Weight weight = QFont::Normal);
    static QFont monospacedFont(int pixelSize, QFont::Weight weight = QFont::Normal);

    // Tells when the appearance may have changed (palette or desktop setting).
    // Needs a QGuiApplication; nullptr without one.
    static ThemeNotifier* notifier();
};

class ThemeNotifier : public QObject {
    Q_OBJECT
public:
    enum class DesktopScheme { unknown, dark, light };

    explicit ThemeNotifier(QObject* parent);
    DesktopScheme desktopScheme() const { return m_desktopScheme; }
    // Set from the desktop's settings portal as its answers arrive.
    void setDesktopScheme(DesktopScheme scheme);
    // Follows the settings portal on `bus`: its answer to a first read, then
    // every change it announces. The notifier follows the session bus's from
    // the start; a test hands it a bus of its own. The listener stops once
    // deleted.
    QObject* followPortal(const QDBusConnection& bus);

signals:
    void appearanceChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followSchemeInPalette();

    DesktopScheme m_desktopScheme = DesktopScheme::unknown;
    // The platform's light palette while a dark stand-in replaces it.
    std::optional<QPalette> m_lightPalette;
};

// The colour at the given alpha, whatever alpha it had.
QColor withAlpha(QColor color, double alpha);
// The colour seen through a layer of the given opacity: its own alpha times it,
// so a colour that is already translucent stays as much lighter.
QColor fadedBy(QColor color, double opacity);

} // namespace ovra
