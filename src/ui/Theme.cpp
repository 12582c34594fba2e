#include "Theme.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QEvent>
#include <QFontDatabase>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <utility>

namespace ovra {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString kAppearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString kColorSchemeKey = QStringLiteral("color-scheme");
constexpr int kPortalTimeoutMs = 2000;

constexpr int kDarkLightnessBelow = 128;

// Stand-ins for the palette's colours when the desktop asks for a dark
// appearance while Qt still hands out a light palette (or the reverse).
const QColor kLightPrimary(0, 0, 0);
const QColor kDarkPrimary(255, 255, 255);
const QColor kLightTextBackground(255, 255, 255);
const QColor kDarkTextBackground(30, 30, 30);

constexpr double kLineOpacity = 0.09;
constexpr double kFillOpacity = 0.045;
constexpr double kSecondaryOpacity = 0.5;
constexpr double kTertiaryOpacity = 0.26;

const QColor kSystemGrey(142, 142, 147);

// What plain widgets (headings, dialogs, menus) draw with while the desktop
// asks for a dark appearance and Qt's own palette is light.
QPalette darkStandInPalette()
{
    const QColor ground = kDarkTextBackground;
    const QColor raised(45, 45, 45);
    const QColor text = kDarkPrimary;
    QPalette palette;
    palette.setColor(QPalette::Window, ground);
    palette.setColor(QPalette::Base, ground);
    palette.setColor(QPalette::AlternateBase, raised);
    palette.setColor(QPalette::Button, raised);
    palette.setColor(QPalette::ToolTipBase, raised);
    palette.setColor(QPalette::Light, QColor(70, 70, 70));
    palette.setColor(QPalette::Midlight, QColor(58, 58, 58));
    palette.setColor(QPalette::Mid, QColor(40, 40, 40));
    palette.setColor(QPalette::Dark, QColor(20, 20, 20));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                                     QPalette::ToolTipText, QPalette::BrightText})
        palette.setColor(role, text);
    palette.setColor(QPalette::PlaceholderText, QColor(255, 255, 255, 110));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(255, 255, 255, 90));
    palette.setColor(QPalette::Highlight, QColor(53, 132, 228));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(120, 174, 237));
    return palette;
}

bool hasGuiApplication()
{
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// The palette's own colours are used only while the palette agrees with the
// appearance; otherwise text would come out light on light.
bool paletteMatchesAppearance()
{
    return hasGuiApplication() && Theme::isDark(QGuiApplication::palette()) == Theme::isDark();
}

} // namespace

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

QColor fadedBy(QColor color, double opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

bool Theme::isDark(const QPalette& palette)
{
    return palette.color(QPalette::Active, QPalette::Window).lightness() < kDarkLightnessBelow;
}

bool Theme::isDark()
{
    if (!hasGuiApplication()) return false;
    if (isDark(QGuiApplication::palette())) return true;
    const ThemeNotifier* watcher = notifier();
    return watcher && watcher->desktopScheme() == ThemeNotifier::DesktopScheme::dark;
}

QColor Theme::ink()
{
    return isDark() ? QColor::fromRgbF(0.94f, 0.94f, 0.94f) : QColor::fromRgbF(0.11f, 0.11f, 0.13f);
}

QColor Theme::card()
{
    return isDark() ? QColor::fromRgbF(0.16f, 0.16f, 0.16f) : QColor(Qt::white);
}

QColor Theme::bg()
{
    if (paletteMatchesAppearance())
        return QGuiApplication::palette().color(QPalette::Active, QPalette::Base);
    return isDark() ? kDarkTextBackground : kLightTextBackground;
}

QColor Theme::primary()
{
    if (paletteMatchesAppearance())
        return QGuiApplication::palette().color(QPalette::Active, QPalette::WindowText);
    return isDark() ? kDarkPrimary : kLightPrimary;
}

QColor Theme::secondary()
{
    return withAlpha(primary(), kSecondaryOpacity);
}

QColor Theme::tertiary()
{
    return withAlpha(primary(), kTertiaryOpacity);
}

QColor Theme::line()
{
    return withAlpha(primary(), kLineOpacity);
}

QColor Theme::fill()
{
    return withAlpha(primary(), kFillOpacity);
}

QColor Theme::red()
{
    static const QColor color = QColor::fromRgbF(0.93f, 0.20f, 0.22f);
    return color;
}

QColor Theme::green()
{
    static const QColor color = QColor::fromRgbF(0.16f, 0.68f, 0.42f);
    return color;
}

QColor Theme::star()
{
    static const QColor color = QColor::fromRgbF(0.98f, 0.76f, 0.18f);
    return color;
}

const std::array<QColor, Theme::kPastelCount>& Theme::pastels()
{
    static const std::array<QColor, kPastelCount> colors{
        QColor::fromRgbF(0.55f, 0.50f, 0.95f), QColor::fromRgbF(0.35f, 0.62f, 0.95f),
        QColor::fromRgbF(0.98f, 0.58f, 0.38f), QColor::fromRgbF(0.25f, 0.72f, 0.55f),
        QColor::fromRgbF(0.93f, 0.42f, 0.62f), QColor::fromRgbF(0.93f, 0.70f, 0.20f)};
    return colors;
}

std::size_t Theme::pastelIndex(QStringView name)
{
    // Summed modulo the count as it goes: a long name cannot overflow the sum,
    // and a character outside the Basic Multilingual Plane counts as its one
    // scalar value, not as two surrogates. A stray surrogate reads as U+FFFD.
    std::size_t index = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar unit = name.at(i);
        char32_t scalar = unit.unicode();
        if (unit.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            scalar = QChar::surrogateToUcs4(unit, name.at(++i));
        else if (unit.isSurrogate())
            scalar = QChar::ReplacementCharacter;
        index = (index + scalar) % kPastelCount;
    }
    return index;
}

QColor Theme::pastel(QStringView name)
{
    return pastels()[pastelIndex(name)];
}

QColor Theme::tint(FileCategory category)
{
    switch (category) {
    case FileCategory::images: return pastels()[0];
    case FileCategory::videos: return pastels()[1];
    case FileCategory::music: return pastels()[2];
    case FileCategory::documents: return pastels()[3];
    case FileCategory::archives: return pastels()[5];
    case FileCategory::apps: return pastels()[4];
    case FileCategory::code: return QColor::fromRgbF(0.40f, 0.45f, 0.95f);
    case FileCategory::folders: return QColor::fromRgbF(0.45f, 0.60f, 0.80f);
    case FileCategory::other: return kSystemGrey;
    }
    return kSystemGrey;
}

QColor Theme::color(Rgb rgb)
{
    return QColor::fromRgbF(float(rgb.r), float(rgb.g), float(rgb.b));
}

std::array<QColor, 2> Theme::gradient(FileCategory category)
{
    const std::array<Rgb, 2> colors = ovra::gradient(category);
    return {color(colors[0]), color(colors[1])};
}

QFont Theme::font(int pixelSize, QFont::Weight weight)
{
    QFont font = hasGuiApplication() ? QGuiApplication::font() : QFont();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

void Theme::setTextTone(QWidget* widget, QColor (*tone)())
{
    const auto colour = [widget, tone] {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, tone());
        widget->setPalette(palette);
    };
    colour();
    if (ThemeNotifier* watcher = notifier())
        QObject::connect(watcher, &ThemeNotifier::appearanceChanged, widget, colour);
}

QFont Theme::monospacedFont(int pixelSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

ThemeNotifier* Theme::notifier()
{
    // Owned by the application object, so a test that makes a new application
    // gets a new watcher.
    static QPointer<ThemeNotifier> instance;
    if (!instance && hasGuiApplication())
        instance = new ThemeNotifier(QCoreApplication::instance());
    return instance;
}

// Reads the desktop's colour scheme from the settings portal without waiting
// for it: the answer, and every later change, arrive as messages on the GUI
// thread. Without a session bus or a portal nothing happens.
class DesktopSchemeReader : public QObject {
    Q_OBJECT
public:
    DesktopSchemeReader(QDBusConnection bus, ThemeNotifier* notifier)
        : QObject(notifier)
        , m_notifier(notifier)
    {
        // A change of scheme repaints every window, and anything on the bus
        // may announce thousands of them at once: only the newest is kept,
        // and shown once the loop turns. A timer, not a queued call, so that
        // a burst already waiting in the queue is taken in whole first.
        m_applyTimer.setSingleShot(true);
        m_applyTimer.setInterval(0);
        connect(&m_applyTimer, &QTimer::timeout, this, &DesktopSchemeReader::applyLatest);
        if (!bus.isConnected()) return;
        // Qt 6.4 finds a slot's D-Bus types by name, and registers this one
        // only under its type: unregistered, the connection fails and no
        // change of the desktop's scheme would ever arrive.
        qRegisterMetaType<QDBusVariant>("QDBusVariant");
        if (!bus.connect(kPortalService, kPortalPath, kPortalInterface,
                         QStringLiteral("SettingChanged"), this,
                         SLOT(onSettingChanged(QString, QString, QDBusVariant))))
            qWarning("The desktop's changes between light and dark cannot be followed");

        QDBusMessage read = QDBusMessage::createMethodCall(
            kPortalService, kPortalPath, kPortalInterface, QStringLiteral("Read"));
        read << kAppearanceGroup << kColorSchemeKey;
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, kPortalTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher* call) {
                    const QDBusPendingReply<QVariant> reply = *call;
                    if (!reply.isError()) take(schemeOf(reply.value()));
                    call->deleteLater();
                });
    }

private slots:
    void onSettingChanged(const QString& group, const QString& key, const QDBusVariant& value)
    {
        if (group == kAppearanceGroup && key == kColorSchemeKey) take(schemeOf(value.variant()));
    }

private:
    static ThemeNotifier::DesktopScheme schemeOf(const QVariant& value)
    {
        // "Read" wraps the value in one variant more than "SettingChanged" does.
        QVariant inner = value;
        while (inner.metaType() == QMetaType::fromType<QDBusVariant>())
            inner = inner.value<QDBusVariant>().variant();
        bool ok = false;
        const uint scheme = inner.toUInt(&ok);
        if (ok && scheme == 1) return ThemeNotifier::DesktopScheme::dark;
        if (ok && scheme == 2) return ThemeNotifier::DesktopScheme::light;
        return ThemeNotifier::DesktopScheme::unknown;
    }

    // Back to the scheme already shown, nothing is left to do.
    void take(ThemeNotifier::DesktopScheme scheme)
    {
        m_latest = scheme;
        if (scheme == m_notifier->desktopScheme())
            m_applyTimer.stop();
        else if (!m_applyTimer.isActive())
            m_applyTimer.start();
    }

    void applyLatest() { m_notifier->setDesktopScheme(m_latest); }

    ThemeNotifier* m_notifier;
    ThemeNotifier::DesktopScheme m_latest = ThemeNotifier::DesktopScheme::unknown;
    QTimer m_applyTimer;
};

ThemeNotifier::ThemeNotifier(QObject* parent)
    : QObject(parent)
{
    QCoreApplication::instance()->installEventFilter(this);
    followPortal(QDBusConnection::sessionBus());
}

QObject* ThemeNotifier::followPortal(const QDBusConnection& bus)
{
    return new DesktopSchemeReader(bus, this);
}

bool ThemeNotifier::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QCoreApplication::instance() &&
        event->type() == QEvent::ApplicationPaletteChange)
        emit appearanceChanged();
    return QObject::eventFilter(watched, event);
}

void ThemeNotifier::setDesktopScheme(DesktopScheme scheme)
{
    if (scheme == m_desktopScheme) return;
    m_desktopScheme = scheme;
    followSchemeInPalette();
    emit appearanceChanged();
    // A desktop setting is not a palette change, so no widget repaints by itself.
    for (QWidget* widget : QApplication::topLevelWidgets())
        widget->update();
}

void ThemeNotifier::followSchemeInPalette()
{
    const bool wantsDark = m_desktopScheme == DesktopScheme::dark;
    if (wantsDark && !m_lightPalette && !Theme::isDark(QGuiApplication::palette())) {
        m_lightPalette = QGuiApplication::palette();
        QGuiApplication::setPalette(darkStandInPalette());
    } else if (!wantsDark && m_lightPalette) {
        // Back to what the platform gave, not to a light palette of our own.
        QGuiApplication::setPalette(*std::exchange(m_lightPalette, std::nullopt));
    }
}

} // namespace ovra

#include "Theme.moc"
