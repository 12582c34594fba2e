#include "ui/Theme.h"
#include "ui/Symbols.h"

#include "support/Wait.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QFile>
#include <QLabel>
#include <QPalette>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

QPalette paletteWithWindow(const QColor& window, const QColor& text, const QColor& base)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    return palette;
}

QPalette lightPalette()
{
    return paletteWithWindow(QColor(239, 239, 239), Qt::black, Qt::white);
}

QPalette darkPalette()
{
    return paletteWithWindow(QColor(40, 40, 40), QColor(230, 230, 230), QColor(30, 30, 30));
}

// Sets the application palette and the desktop setting for one test and puts
// them back afterwards.
class Appearance : public ::testing::Test {
protected:
    void SetUp() override { m_saved = QApplication::palette(); }
    void TearDown() override
    {
        Theme::notifier()->setDesktopScheme(ThemeNotifier::DesktopScheme::unknown);
        QApplication::setPalette(m_saved);
    }

private:
    QPalette m_saved;
};

// A session bus of the test's own, so the desktop's portal is one the test
// plays and no real desktop is asked or disturbed.
class PrivateBus {
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty() || !m_dir.isValid()) return;
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        if (!config.open(QIODevice::WriteOnly)) return;
        config.write(QStringLiteral(R"(<busconfig><type>session</type>
            <listen>unix:path=%1</listen><auth>EXTERNAL</auth>
            <policy context="default"><allow send_destination="*" eavesdrop="true"/>
            <allow eavesdrop="true"/><allow own="*"/></policy>
            </busconfig>)")
                         .arg(m_dir.filePath(QStringLiteral("socket")))
                         .toUtf8());
        config.close();
        m_daemon.start(daemon, {QStringLiteral("--config-file=") + config.fileName(),
                                QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        while (!m_daemon.canReadLine())
            if (!m_daemon.waitForReadyRead(int(test::kPatience.count()))) return;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

// The desktop's settings portal, as much of it as the theme reads: the
// colour scheme, answered to Read and announced with SettingChanged.
class StandInPortal : public QDBusVirtualObject {
public:
    static constexpr uint kDark = 1;
    static constexpr uint kLight = 2;

    StandInPortal(const QDBusConnection& bus, uint scheme)
        : m_bus(bus)
        , m_scheme(scheme)
    {
    }

    bool publish()
    {
        return m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/portal/desktop"),
                                           this) &&
               m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }

    void announce(uint scheme)
    {
        m_scheme = scheme;
        QDBusMessage changed = QDBusMessage::createSignal(
            QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("SettingChanged"));
        changed << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme")
                << QVariant::fromValue(QDBusVariant(m_scheme));
        m_bus.send(changed);
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != QStringLiteral("Read")) return false;
        // Read answers the value inside one variant more than the signal does.
        const QVariant value =
            QVariant::fromValue(QDBusVariant(QVariant::fromValue(QDBusVariant(m_scheme))));
        return connection.send(message.createReply(QVariantList{value}));
    }

private:
    QDBusConnection m_bus;
    uint m_scheme;
};

// The app following a stand-in portal on a bus of its own, the portal showing
// light. Its connections close once no copy of them is left, before the bus
// goes.
class FollowedPortal {
public:
    explicit FollowedPortal(const QString& address)
        : m_portalSide(QDBusConnection::connectToBus(address, kPortalName))
        , m_appSide(QDBusConnection::connectToBus(address, kAppName))
        , m_portal(m_portalSide, StandInPortal::kLight)
    {
    }

    StandInPortal& portal() { return m_portal; }

    // Whether the app took in the portal's first answer.
    bool follow()
    {
        if (!m_portal.publish()) return false;
        m_listener.reset(Theme::notifier()->followPortal(m_appSide));
        return test::eventually([] {
            return Theme::notifier()->desktopScheme() == ThemeNotifier::DesktopScheme::light;
        });
    }

    // Once this answers, every signal the portal sent before waits in the
    // GUI thread's queue: the portal answers a ping after them.
    bool pingPortal()
    {
        const QDBusMessage ping =
            m_appSide.call(QDBusMessage::createMethodCall(
                               m_portalSide.baseService(), QStringLiteral("/"),
                               QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")),
                           QDBus::Block);
        return ping.type() != QDBusMessage::ErrorMessage;
    }

private:
    static inline const QString kPortalName = QStringLiteral("stand-in portal");
    static inline const QString kAppName = QStringLiteral("app");
    struct Disconnects {
        ~Disconnects()
        {
            QDBusConnection::disconnectFromBus(kAppName);
            QDBusConnection::disconnectFromBus(kPortalName);
        }
    } m_disconnects; // first made, last gone
    QDBusConnection m_portalSide;
    QDBusConnection m_appSide;
    StandInPortal m_portal;
    std::unique_ptr<QObject> m_listener;
};

// The lightness of what a widget paints: its ground (the colour most of it
// has) and its ink (the one farthest from that).
std::pair<int, int> groundAndInk(QWidget& widget)
{
    const QImage image = widget.grab().toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb ground = counts.isEmpty() ? 0 : counts.cbegin().key();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(ground)) ground = it.key();
    int ink = qGray(ground);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (std::abs(qGray(it.key()) - qGray(ground)) > std::abs(ink - qGray(ground)))
            ink = qGray(it.key());
    return {qGray(ground), ink};
}

} // namespace

TEST(ThemePastel, SumsUnicodeScalarValues)
{
    EXPECT_EQ(Theme::pastelIndex(u"abc"), 0u); // 294
    EXPECT_EQ(Theme::pastelIndex(u"b"), 2u);   // 98
    EXPECT_EQ(Theme::pastelIndex(u""), 0u);
    EXPECT_EQ(Theme::pastel(u"b"), Theme::pastels()[2]);
    EXPECT_EQ(Theme::pastel(u"Downloads"), Theme::pastel(QStringLiteral("Downloads")));
}

TEST(ThemePastel, CharacterOutsideTheBasicPlaneCountsAsOneScalar)
{
    // U+1F600 is 128512, index 4; its two UTF-16 units would sum to index 1.
    EXPECT_EQ(Theme::pastelIndex(QStringView(u"\U0001F600")), 4u);
    // "a" (97) then U+10FFFF (1114111): 1114208, index 2.
    EXPECT_EQ(Theme::pastelIndex(QStringView(u"a\U0010FFFF")), 2u);
}

TEST(ThemePastel, BrokenTextAndLongNamesStayInRange)
{
    // A lone surrogate (possible in a QString, not in valid Unicode) reads as
    // U+FFFD (65533), index 1.
    const QChar lone[] = {QChar(0xD800)};
    EXPECT_EQ(Theme::pastelIndex(QStringView(lone, 1)), 1u);
    const QChar trailing[] = {QChar('b'), QChar(0xD83D)};
    EXPECT_EQ(Theme::pastelIndex(QStringView(trailing, 2)), (98u + 65533u) % 6);

    // A million of the largest scalar would overflow a 32-bit sum.
    QString huge;
    for (int i = 0; i < 1'000'000; ++i)
        huge += QStringView(u"\U0010FFFF");
    EXPECT_EQ(Theme::pastelIndex(huge), (1'000'000ull * 1114111ull) % 6);
}

TEST(ThemeAlpha, WithAlphaReplacesTheAlphaFadedByMultipliesIt)
{
    const QColor translucent(10, 20, 30, 128);
    const QColor set = withAlpha(translucent, 0.5);
    const QColor faded = fadedBy(translucent, 0.5);
    EXPECT_NEAR(set.alphaF(), 0.5, 0.01);
    EXPECT_NEAR(faded.alphaF(), 0.25, 0.01) << "a translucent colour fades further";
    EXPECT_EQ(set.rgb(), translucent.rgb());
    EXPECT_EQ(faded.rgb(), translucent.rgb());
    EXPECT_NEAR(fadedBy(Qt::black, 0.3).alphaF(), withAlpha(Qt::black, 0.3).alphaF(), 0.01)
        << "on an opaque colour the two agree";
}

TEST(ThemeTint, ArchivesAndAppsTakeTheLastTwoPastelsCrossed)
{
    EXPECT_EQ(Theme::tint(FileCategory::archives), Theme::pastels()[5]);
    EXPECT_EQ(Theme::tint(FileCategory::apps), Theme::pastels()[4]);
    EXPECT_EQ(Theme::tint(FileCategory::documents), Theme::pastels()[3]);
    EXPECT_EQ(Theme::tint(FileCategory::code), QColor::fromRgbF(0.40f, 0.45f, 0.95f));
    const auto gradient = Theme::gradient(FileCategory::images);
    EXPECT_EQ(gradient[0], QColor::fromRgbF(1.0f, 0.62f, 0.27f));
}

TEST_F(Appearance, DarkPaletteTurnsTheDynamicColours)
{
    EXPECT_TRUE(Theme::isDark(darkPalette()));
    EXPECT_FALSE(Theme::isDark(lightPalette()));
    // The boundary: a window lightness of 127 is dark, 128 is not.
    EXPECT_TRUE(Theme::isDark(paletteWithWindow(QColor(127, 127, 127), Qt::white, Qt::black)));
    EXPECT_FALSE(Theme::isDark(paletteWithWindow(QColor(128, 128, 128), Qt::black, Qt::white)));

    QApplication::setPalette(lightPalette());
    ASSERT_FALSE(Theme::isDark());
    EXPECT_EQ(Theme::ink(), QColor::fromRgbF(0.11f, 0.11f, 0.13f));
    EXPECT_EQ(Theme::card(), QColor(Qt::white));
    EXPECT_EQ(Theme::bg(), QColor(Qt::white));
    EXPECT_EQ(Theme::line().rgb(), QColor(Qt::black).rgb());

    QApplication::setPalette(darkPalette());
    ASSERT_TRUE(Theme::isDark());
    EXPECT_EQ(Theme::ink(), QColor::fromRgbF(0.94f, 0.94f, 0.94f));
    EXPECT_EQ(Theme::card(), QColor::fromRgbF(0.16f, 0.16f, 0.16f));
    EXPECT_EQ(Theme::bg(), QColor(30, 30, 30));
    // Hairlines follow the text colour: light on a dark background.
    EXPECT_EQ(Theme::line().rgb(), QColor(230, 230, 230).rgb());
    EXPECT_NEAR(Theme::line().alphaF(), 0.09, 0.01);
    EXPECT_NEAR(Theme::fill().alphaF(), 0.045, 0.01);
}

TEST_F(Appearance, DesktopDarkSchemeOverALightPaletteKeepsTextReadable)
{
    QApplication::setPalette(lightPalette());
    Theme::notifier()->setDesktopScheme(ThemeNotifier::DesktopScheme::dark);
    EXPECT_TRUE(Theme::isDark());
    // The light palette's black text and white background would vanish under
    // dark cards; the theme's own dark values stand in for them.
    EXPECT_EQ(Theme::primary().rgb(), QColor(Qt::white).rgb());
    EXPECT_LT(Theme::bg().lightness(), 128);

    Theme::notifier()->setDesktopScheme(ThemeNotifier::DesktopScheme::light);
    EXPECT_FALSE(Theme::isDark());
    EXPECT_EQ(Theme::primary().rgb(), QColor(Qt::black).rgb());
}

TEST_F(Appearance, DesktopDarkSchemeReachesWidgetsThatDrawWithThePalette)
{
    // Plain labels, headings and dialogs draw with the application palette,
    // not the theme: a dark desktop over a light palette must reach them too.
    QApplication::setPalette(lightPalette());
    QLabel label(QStringLiteral("Old Installers"));
    Theme::notifier()->setDesktopScheme(ThemeNotifier::DesktopScheme::dark);
    QCoreApplication::processEvents(); // widgets take a new palette from a posted event
    EXPECT_GT(label.palette().color(QPalette::WindowText).lightness(), 128);
    EXPECT_LT(label.palette().color(QPalette::Window).lightness(), 128);
    EXPECT_EQ(Theme::bg(), QColor(30, 30, 30));

    Theme::notifier()->setDesktopScheme(ThemeNotifier::DesktopScheme::light);
    QCoreApplication::processEvents();
    EXPECT_FALSE(Theme::isDark());
    EXPECT_EQ(label.palette().color(QPalette::WindowText).rgb(), QColor(Qt::black).rgb());
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor(239, 239, 239));
}

// A symbol made once in a theme tone is drawn in that tone as it is now: white
// symbols on a light page after the desktop turned light are not there at all.
TEST_F(Appearance, SymbolsMadeInAToneFollowTheDesktopTurningLightOrDark)
{
    QApplication::setPalette(lightPalette());
    Theme::notifier()->setDesktopScheme(ThemeNotifier::DesktopScheme::dark);
    QCoreApplication::processEvents();
    const QIcon followed = Symbols::icon(QStringLiteral("xmark"), &Theme::primary);
    const QIcon fixed = Symbols::icon(QStringLiteral("xmark"), Theme::primary());
    const auto inkOf = [](const QIcon& icon) {
        const QImage image = icon.pixmap(32, 32).toImage();
        int darkest = 255;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > 128)
                    darkest = std::min(darkest, qGray(image.pixel(x, y)));
        return darkest;
    };
    EXPECT_GT(inkOf(followed), 128) << "light ink on the dark page";

    Theme::notifier()->setDesktopScheme(ThemeNotifier::DesktopScheme::light);
    QCoreApplication::processEvents();
    EXPECT_LT(inkOf(followed), 128) << "dark ink once the page is light";
    EXPECT_GT(inkOf(fixed), 128) << "a fixed colour stays as it was made";
}

TEST_F(Appearance, PaletteChangeIsAnnounced)
{
    int announced = 0;
    const auto connection = QObject::connect(Theme::notifier(), &ThemeNotifier::appearanceChanged,
                                             Theme::notifier(), [&announced] { ++announced; });
    QApplication::setPalette(darkPalette());
    QCoreApplication::processEvents();
    EXPECT_GE(announced, 1);
    QObject::disconnect(connection);
}

// The desktop tells of a switch between light and dark while the app runs, as
// the settings portal does: what is on screen turns with it, both ways.
TEST_F(Appearance, TheDesktopSwitchingLightAndDarkWhileShownRestylesWhatIsShown)
{
    QApplication::setPalette(lightPalette());
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "no dbus-daemon (scripts/install-deps.sh installs it)";
    {
        FollowedPortal followed(bus.address());
        ASSERT_TRUE(followed.follow()) << "the first read is answered";
        StandInPortal& portal = followed.portal();

        QLabel label(QStringLiteral("Old Installers"));
        label.setFont(Theme::font(28, QFont::Bold));
        label.show();
        portal.announce(StandInPortal::kDark);
        EXPECT_TRUE(test::eventually([&] {
            const auto [ground, ink] = groundAndInk(label);
            return ground < 128 && ink > 128;
        })) << "light text on a dark ground once the desktop turned dark";

        portal.announce(StandInPortal::kLight);
        EXPECT_TRUE(test::eventually([&] {
            const auto [ground, ink] = groundAndInk(label);
            return ground > 128 && ink < 128;
        })) << "dark text on a light ground once it turned light again";
    }
}

// Anything on the bus may speak for the desktop and announce thousands of
// changes at once: each one shown would repaint every window, so only where a
// burst ends is shown, and a burst ending where it began shows nothing.
TEST_F(Appearance, ABurstOfDesktopChangesIsShownOnlyWhereItEnds)
{
    constexpr int kBurst = 200;
    // One change shown announces itself at most twice (the stand-in palette,
    // then the scheme); a burst shown signal by signal, hundreds of times.
    constexpr int kAtMostAnnounced = 4;
    QApplication::setPalette(lightPalette());
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << "no dbus-daemon (scripts/install-deps.sh installs it)";
    {
        FollowedPortal followed(bus.address());
        ASSERT_TRUE(followed.follow()) << "the first read is answered";
        StandInPortal& portal = followed.portal();
        int announced = 0;
        const auto counting = QObject::connect(Theme::notifier(), &ThemeNotifier::appearanceChanged,
                                               Theme::notifier(), [&announced] { ++announced; });
        const auto burstEndingOn = [&](uint last) {
            for (int i = kBurst - 1; i >= 0; --i)
                portal.announce(i % 2 == 0 ? last
                                           : StandInPortal::kDark + StandInPortal::kLight - last);
            // Once the ping is answered, the whole burst waits in the queue
            // and one turn of the loop takes all of it.
            return followed.pingPortal();
        };

        ASSERT_TRUE(burstEndingOn(StandInPortal::kLight)) << "the portal answers a ping";
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        EXPECT_EQ(announced, 0) << "a burst ending on the scheme shown changes nothing";
        EXPECT_FALSE(Theme::isDark());

        ASSERT_TRUE(burstEndingOn(StandInPortal::kDark));
        EXPECT_TRUE(test::eventually([] {
            return Theme::notifier()->desktopScheme() == ThemeNotifier::DesktopScheme::dark;
        })) << "the burst's last value is shown";
        EXPECT_TRUE(Theme::isDark());
        EXPECT_GE(announced, 1);
        EXPECT_LE(announced, kAtMostAnnounced) << "for " << kBurst << " changes announced";
        QObject::disconnect(counting);
    }
}
