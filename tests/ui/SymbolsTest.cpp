#include "ui/Symbols.h"

#include <QDir>
#include <QIcon>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

// Every symbol name the app's screens use.
const char* const kAppSymbols[] = {"app.dashed",
                                   "archivebox",
                                   "arrow.clockwise",
                                   "arrow.down",
                                   "arrow.down.circle",
                                   "arrow.right",
                                   "arrow.up",
                                   "arrow.up.arrow.down",
                                   "arrow.up.forward.app",
                                   "backward.fill",
                                   "bird.fill",
                                   "briefcase.fill",
                                   "bubble.left.and.bubble.right.fill",
                                   "camera.fill",
                                   "camera.viewfinder",
                                   "checkmark",
                                   "checkmark.circle",
                                   "checkmark.seal",
                                   "chevron.down",
                                   "chevron.left",
                                   "chevron.left.forwardslash.chevron.right",
                                   "chevron.right",
                                   "clock",
                                   "doc",
                                   "doc.on.clipboard",
                                   "doc.on.doc",
                                   "doc.richtext",
                                   "doc.text",
                                   "ellipsis",
                                   "envelope.badge.fill",
                                   "envelope.fill",
                                   "externaldrive",
                                   "externaldrive.fill",
                                   "eye",
                                   "film",
                                   "film.stack",
                                   "folder",
                                   "forward.fill",
                                   "gamecontroller.fill",
                                   "globe",
                                   "house",
                                   "icloud",
                                   "icloud.fill",
                                   "info.circle",
                                   "line.3.horizontal.decrease",
                                   "line.3.horizontal.decrease.circle",
                                   "list.bullet",
                                   "lock",
                                   "lock.shield",
                                   "magnifyingglass",
                                   "menubar.dock.rectangle",
                                   "message.fill",
                                   "music.note",
                                   "music.note.list",
                                   "paintpalette.fill",
                                   "paperplane.fill",
                                   "pause.fill",
                                   "pencil.and.outline",
                                   "person.2.fill",
                                   "photo",
                                   "photo.fill",
                                   "photo.on.rectangle.angled",
                                   "photo.stack",
                                   "pin",
                                   "pin.fill",
                                   "play.fill",
                                   "play.rectangle",
                                   "play.rectangle.fill",
                                   "plus",
                                   "puzzlepiece.extension.fill",
                                   "questionmark.circle",
                                   "repeat",
                                   "repeat.1",
                                   "shippingbox",
                                   "shippingbox.fill",
                                   "shuffle",
                                   "sidebar.left",
                                   "sidebar.right",
                                   "sparkle",
                                   "sparkles",
                                   "square.grid.2x2",
                                   "square.grid.3x3",
                                   "square.on.square",
                                   "star.fill",
                                   "terminal",
                                   "text.badge.xmark",
                                   "text.viewfinder",
                                   "trash",
                                   "tray",
                                   "video.fill",
                                   "xmark",
                                   "xmark.circle.fill"};

// Our own drawings: the theme has nothing that fits these.
const char* const kDrawnSymbols[] = {"chevron.down",
                                     "chevron.left",
                                     "chevron.right",
                                     "chevron.left.forwardslash.chevron.right",
                                     "line.3.horizontal.decrease",
                                     "line.3.horizontal.decrease.circle",
                                     "sparkle",
                                     "sparkles"};

bool isDrawn(const QString& name)
{
    for (const char* drawn : kDrawnSymbols)
        if (name == QLatin1String(drawn)) return true;
    return false;
}

int coveredPixels(const QImage& image)
{
    int covered = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0) ++covered;
    return covered;
}

bool adwaitaInstalled()
{
    return QDir(QStringLiteral("/usr/share/icons/Adwaita")).exists();
}

} // namespace

TEST(Symbols, EveryAppSymbolIsMappedAndDrawsSomething)
{
    const QColor red(200, 30, 40);
    for (const char* symbol : kAppSymbols) {
        const QString name = QLatin1String(symbol);
        EXPECT_TRUE(Symbols::isKnown(name)) << symbol;
        const QImage image = Symbols::pixmap(name, 24, red).toImage();
        ASSERT_EQ(image.size(), QSize(24, 24)) << symbol;
        EXPECT_GT(coveredPixels(image), 10) << symbol;
    }
}

TEST(Symbols, MappedThemeNamesExistInTheInstalledTheme)
{
    if (!adwaitaInstalled()) GTEST_SKIP() << "no Adwaita icon theme";
    // A misspelt theme name would quietly fall back to a drawing or the generic
    // mark; with the theme installed every mapped name must be found.
    for (const char* symbol : kAppSymbols) {
        const QString name = QLatin1String(symbol);
        if (isDrawn(name))
            EXPECT_TRUE(Symbols::themeFile(name).isEmpty()) << symbol;
        else
            EXPECT_TRUE(Symbols::themeFile(name).endsWith(QLatin1String("-symbolic.svg")))
                << symbol;
    }
}

TEST(Symbols, UnknownNameGetsAGenericMarkNeverABlank)
{
    const QIcon icon = Symbols::icon(QStringLiteral("no.such.symbol"), Qt::black);
    ASSERT_FALSE(icon.isNull());
    EXPECT_GT(coveredPixels(icon.pixmap(16).toImage()), 10);
    EXPECT_GT(coveredPixels(Symbols::pixmap(QString(), 16, Qt::black).toImage()), 10);
    EXPECT_FALSE(Symbols::isKnown(QStringLiteral("no.such.symbol")));
}

TEST(Symbols, DrawnInTheAskedColour)
{
    // The theme's artwork comes dark grey; only its coverage may remain.
    const QColor tint(10, 200, 90);
    for (const char* symbol : {"trash", "chevron.down", "sparkles"}) {
        const QImage image = Symbols::pixmap(QLatin1String(symbol), 32, tint)
                                 .toImage()
                                 .convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.alpha() == 255) {
                    ASSERT_EQ(pixel.rgb(), tint.rgb()) << symbol << " at " << x << "," << y;
                }
            }
    }
}

TEST(Symbols, DisabledIconIsFainter)
{
    const QIcon icon = Symbols::icon(QStringLiteral("trash"), Qt::black);
    const QImage normal = icon.pixmap(QSize(24, 24), QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(QSize(24, 24), QIcon::Disabled).toImage();
    int strongest = 0;
    for (int y = 0; y < disabled.height(); ++y)
        for (int x = 0; x < disabled.width(); ++x)
            strongest = std::max(strongest, qAlpha(disabled.pixel(x, y)));
    EXPECT_GT(strongest, 0);
    EXPECT_LT(strongest, 128);
    EXPECT_EQ(coveredPixels(normal), coveredPixels(disabled));
}

TEST(Symbols, HighDensityRenderingIsSharp)
{
    const QPixmap pixmap = Symbols::pixmap(QStringLiteral("folder"), 16, Qt::black, 2.0);
    EXPECT_EQ(pixmap.size(), QSize(32, 32));
    EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), 2.0);
}
