#include "ui/ThumbnailView.h"
#include "platform/Background.h"
#include "platform/UserFile.h"
#include "support/FakeThumbnailGenerator.h"
#include "support/GuiThreadCheck.h"
#include "support/TestHome.h"
#include "support/Wait.h"
#include "ui/CategoryTile.h"
#include "ui/OvraLogo.h"
#include "ui/RoundedCorners.h"
#include "ui/Symbols.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QScopeGuard>
#include <QSemaphore>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

// Paints every file red, twice as wide as high.
std::optional<ThumbnailRepresentation> picture(const QString&, int pixelSide)
{
    return ThumbnailRepresentation{ThumbnailRepresentation::Type::thumbnail,
                                   test::solidImage(pixelSide, pixelSide / 2, Qt::red)};
}

FileItem item(const QString& path, FileCategory category)
{
    FileItem item;
    item.path = path;
    item.name = path.section(u'/', -1);
    item.category = category;
    return item;
}

struct Fixture {
    Fixture()
        : loader(
              generator,
              [](const FileIconFacts&, int side) {
                  return test::solidImage(side, side, Qt::green);
              },
              1)
    {
    }
    ~Fixture() { generator->releaseAll(); }

    Thumbnail load(const QString& path, double side)
    {
        QFuture<Thumbnail> future = loader.load(path, side);
        EXPECT_TRUE(test::eventually([&] { return future.isFinished(); }));
        return future.result();
    }

    // What was asked, as "path@side".
    QStringList requests() const
    {
        QStringList out;
        for (const auto& request : generator->requests())
            out.append(request.path + u'@' + QString::number(request.pixelSide));
        return out;
    }

    std::shared_ptr<test::FakeThumbnailGenerator> generator =
        std::make_shared<test::FakeThumbnailGenerator>(picture);
    Thumbnails loader;
};

// Paints the view as the screen would, which is when it asks for its picture.
void paint(ThumbnailView& view)
{
    view.grab();
}

// Tells at every paint of the object it watches, before the paint.
class PaintWatcher : public QObject {
public:
    explicit PaintWatcher(std::function<void()> painted)
        : m_painted(std::move(painted))
    {
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) m_painted();
        return false;
    }

private:
    std::function<void()> m_painted;
};

QImage contentOf(const FileItem& file, const std::optional<Thumbnail>& thumbnail, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    ThumbnailView::paintContent(painter, QRectF(QPointF(0, 0), QSizeF(size)), file, thumbnail,
                                Qt::black);
    return image;
}

} // namespace

// Loading

TEST(ThumbnailViewLoading, SizeChoosesTheBucket)
{
    Fixture fixture;
    ThumbnailView view(fixture.loader);
    view.setItem(item(QStringLiteral("/p/a.jpg"), FileCategory::images));
    const std::pair<QSize, QString> cases[] = {{QSize(40, 40), "64|0|/p/a.jpg"},
                                               {QSize(250, 180), "320|0|/p/a.jpg"},
                                               {QSize(900, 900), "640|0|/p/a.jpg"}};
    for (const auto& [size, key] : cases) {
        view.resize(size);
        paint(view);
        EXPECT_EQ(view.loadKey(), key);
    }
}

TEST(ThumbnailViewLoading, ResizingWithinABucketKeepsTheLoad)
{
    Fixture fixture;
    ThumbnailView view(fixture.loader);
    view.setItem(item(QStringLiteral("/p/a.jpg"), FileCategory::images));
    view.resize(150, 150);
    paint(view);
    ASSERT_TRUE(test::eventually([&] { return view.shownThumbnail().has_value(); }));
    view.resize(155, 155);
    paint(view);
    EXPECT_EQ(fixture.requests(), QStringList{"/p/a.jpg@320"});

    view.resize(170, 170);
    paint(view);
    EXPECT_EQ(view.loadKey(), QStringLiteral("320|0|/p/a.jpg"));
    ASSERT_TRUE(test::eventually([&] { return fixture.requests().size() == 2; }));
    EXPECT_EQ(fixture.requests().last(), QStringLiteral("/p/a.jpg@640"));
}

TEST(ThumbnailViewLoading, ZeroSizeShowsAnyCachedBucketAndLoadsNothing)
{
    Fixture fixture;
    fixture.load(QStringLiteral("/p/big.jpg"), 600);
    ThumbnailView view(fixture.loader);
    view.setItem(item(QStringLiteral("/p/big.jpg"), FileCategory::images));
    view.resize(0, 0);
    paint(view);
    ASSERT_TRUE(view.shownThumbnail());
    EXPECT_EQ(view.shownThumbnail()->image.width(), 1280);
    EXPECT_EQ(fixture.requests().size(), 1);
}

TEST(ThumbnailViewLoading, AnotherItemNeverShowsThePreviousPicture)
{
    Fixture fixture;
    fixture.load(QStringLiteral("/p/cached.jpg"), 100);
    ThumbnailView view(fixture.loader);
    view.resize(100, 100);
    view.setItem(item(QStringLiteral("/p/first.jpg"), FileCategory::images));
    paint(view);
    ASSERT_TRUE(test::eventually([&] { return view.shownThumbnail().has_value(); }));

    view.setItem(item(QStringLiteral("/p/cached.jpg"), FileCategory::images));
    ASSERT_TRUE(view.shownThumbnail());
    EXPECT_EQ(view.shownThumbnail()->path, QStringLiteral("/p/cached.jpg"));

    view.setItem(item(QStringLiteral("/p/new.jpg"), FileCategory::images));
    EXPECT_FALSE(view.shownThumbnail());
}

TEST(ThumbnailViewLoading, AFileReplacedWhileShownIsDrawnAgain)
{
    Fixture fixture;
    ThumbnailView view(fixture.loader);
    view.resize(100, 100);
    FileItem report = item(QStringLiteral("/p/report.pdf"), FileCategory::documents);
    report.modified = 1'700'000'000.0;
    view.setItem(report);
    paint(view);
    ASSERT_TRUE(test::eventually([&] { return view.shownThumbnail().has_value(); }));
    const qint64 oldPicture = view.shownThumbnail()->image.cacheKey();

    report.modified += 30;
    view.setItem(report);
    EXPECT_FALSE(view.shownThumbnail()) << "the old picture stands for the new file";
    paint(view);
    ASSERT_TRUE(test::eventually([&] { return view.shownThumbnail().has_value(); }));
    EXPECT_NE(view.shownThumbnail()->image.cacheKey(), oldPicture);
    EXPECT_EQ(fixture.requests().size(), 2);
}

TEST(ThumbnailViewLoading, AHiddenViewsWaitingRequestIsDropped)
{
    Fixture fixture;
    QFuture<Thumbnail> blocker = fixture.loader.load(QStringLiteral("/block/x"), 64);
    ASSERT_TRUE(fixture.generator->waitUntilBlocked());
    // Asked for before the view's request: the newest starts first, so this one
    // is made only after the view's would have been.
    QFuture<Thumbnail> after = fixture.loader.load(QStringLiteral("/p/after.jpg"), 64);

    ThumbnailView view(fixture.loader);
    view.resize(60, 60);
    view.setItem(item(QStringLiteral("/p/away.jpg"), FileCategory::images));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view, int(test::kPatience.count())));
    paint(view);
    EXPECT_FALSE(view.loadKey().isEmpty());
    view.hide();
    EXPECT_TRUE(view.loadKey().isEmpty());

    fixture.generator->release(1);
    ASSERT_TRUE(test::eventually([&] { return after.isFinished(); }));
    EXPECT_EQ(fixture.requests(), QStringList({"/block/x@128", "/p/after.jpg@128"}));
}

// Content

TEST(ThumbnailViewContent, PicturesFillAndCropOtherFilesSitFittedOnABackdrop)
{
    const QSize size(100, 100);
    const Thumbnail wide{QStringLiteral("/p/x"), test::solidImage(200, 100, Qt::red), false};

    const QImage photo =
        contentOf(item(QStringLiteral("/p/x.jpg"), FileCategory::images), wide, size);
    EXPECT_EQ(photo.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(photo.pixelColor(99, 99), QColor(Qt::red));

    const QImage page =
        contentOf(item(QStringLiteral("/p/x.pdf"), FileCategory::documents), wide, size);
    EXPECT_LT(page.pixelColor(1, 1).alpha(), 40); // the faint backdrop, not the picture
    EXPECT_EQ(page.pixelColor(50, 50), QColor(Qt::red));
    EXPECT_LT(page.pixelColor(50, 20).alpha(), 60); // above the fitted picture
}

TEST(ThumbnailViewContent, IconsShowOnlyForAppsFoldersAndOtherFiles)
{
    const QImage icon = test::solidImage(32, 32, Qt::green);
    const QSizeF size(100, 100);
    EXPECT_TRUE(CategoryTile(item(QStringLiteral("/p/Folder"), FileCategory::folders), icon, size)
                    .layout()
                    .showsIcon);
    const auto document =
        CategoryTile(item(QStringLiteral("/p/a.docx"), FileCategory::documents), icon, size)
            .layout();
    EXPECT_FALSE(document.showsIcon);
    EXPECT_TRUE(document.hasBadge);
    EXPECT_EQ(document.badgeText, QStringLiteral("DOCX"));
    EXPECT_FALSE(CategoryTile(item(QStringLiteral("/p/x"), FileCategory::other), QImage(), size)
                     .layout()
                     .showsIcon);

    // Drawn: the folder's icon on the quiet backdrop, the document on its gradient.
    const Thumbnail iconThumbnail{QStringLiteral("/p/Folder"), icon, true};
    const QImage folder = contentOf(item(QStringLiteral("/p/Folder"), FileCategory::folders),
                                    iconThumbnail, QSize(100, 100));
    EXPECT_EQ(folder.pixelColor(50, 50), QColor(Qt::green));
    EXPECT_LT(folder.pixelColor(2, 2).alpha(), 40);
    const QImage doc = contentOf(item(QStringLiteral("/p/a.docx"), FileCategory::documents),
                                 iconThumbnail, QSize(100, 100));
    EXPECT_EQ(doc.pixelColor(0, 0).alpha(), 255);
    EXPECT_NE(doc.pixelColor(50, 50), QColor(Qt::green));
}

TEST(ThumbnailViewContent, BadgeAndSymbolSizes)
{
    const auto layout = [](const QString& path, double width) {
        return CategoryTile(item(path, FileCategory::documents), QImage(), QSizeF(width, width))
            .layout();
    };
    EXPECT_FALSE(layout(QStringLiteral("/p/a.pdf"), 60).hasBadge);
    EXPECT_FALSE(layout(QStringLiteral("/p/a.pdf"), 70).hasBadge);
    EXPECT_TRUE(layout(QStringLiteral("/p/a.pdf"), 71).hasBadge);
    EXPECT_FALSE(layout(QStringLiteral("/p/README"), 300).hasBadge);

    EXPECT_DOUBLE_EQ(layout(QStringLiteral("/p/a.pdf"), 10).symbolRect.width(), 8);
    EXPECT_DOUBLE_EQ(layout(QStringLiteral("/p/a.pdf"), 200).symbolRect.width(), 56);
    EXPECT_EQ(layout(QStringLiteral("/p/a.pdf"), 80).badgeFont.pixelSize(), 9);
    EXPECT_EQ(layout(QStringLiteral("/p/a.pdf"), 200).badgeFont.pixelSize(), 15);

    // A long extension is cut to the tile rather than overflowing it.
    const auto longName = layout(QStringLiteral("/p/a.averyveryverylongextension"), 80);
    EXPECT_LE(longName.badgeRect.width(), 80);
    EXPECT_GE(longName.badgeRect.left(), 0);
}

TEST(ThumbnailViewContent, TilesOfOneKindAndSizeDifferOnlyByTheirBadge)
{
    // A tile is drawn without its symbol until the artwork has been read.
    ASSERT_TRUE(test::eventually([] { return Symbols::isLoaded(); }));
    const auto tile = [](const QString& path, FileCategory category, int side) {
        return contentOf(item(path, category), std::nullopt, QSize(side, side));
    };
    const QImage jpeg = tile(QStringLiteral("/p/a.jpg"), FileCategory::images, 100);
    EXPECT_EQ(tile(QStringLiteral("/p/b.jpg"), FileCategory::images, 100), jpeg);
    EXPECT_NE(tile(QStringLiteral("/p/a.png"), FileCategory::images, 100), jpeg);
    EXPECT_NE(tile(QStringLiteral("/p/a.jpg"), FileCategory::videos, 100), jpeg);
    // The symbol of a larger tile is larger: its white reaches further right.
    const auto rightmostWhite = [](const QImage& image) {
        int right = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).lightness() > 240) right = std::max(right, x);
        return right;
    };
    const int small = rightmostWhite(tile(QStringLiteral("/p/README"), FileCategory::images, 100));
    const int large = rightmostWhite(tile(QStringLiteral("/p/README"), FileCategory::images, 200));
    EXPECT_GT(large, small + 20);
}

// A tile's symbol is drawn from artwork read on a pool thread: painting opens
// nothing of the icon theme on the GUI thread, and a view painted before the
// artwork arrived paints itself again once it has.
TEST(ThumbnailViewContent, ATilesSymbolIsReadOffTheGuiThreadAndShownOnceItArrives)
{
    test::TestHome home;
    // A theme whose photo symbol fills its whole square.
    home.writeFile(QStringLiteral("icons/Adwaita/scalable/mimetypes/image-x-generic-symbolic.svg"),
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\">"
                   "<rect width=\"16\" height=\"16\" fill=\"#2e3436\"/></svg>");
    const QStringList searchPaths = QIcon::themeSearchPaths();
    QIcon::setThemeSearchPaths(QStringList{home.path(QStringLiteral("icons"))} + searchPaths);
    const auto restorePaths = qScopeGuard([&] { QIcon::setThemeSearchPaths(searchPaths); });

    // The artwork is read on the thumbnails' pool: every thread of it is held
    // until the view has painted once without it.
    QThreadPool& pool = background::pool(background::Pool::thumbnails);
    const int threads = pool.maxThreadCount();
    QSemaphore holding, gate;
    QList<QFuture<void>> held;
    bool open = false;
    const auto openGate = [&] {
        if (!std::exchange(open, true)) gate.release(threads);
    };
    for (int i = 0; i < threads; ++i)
        held << background::run(pool, [&] {
            holding.release();
            gate.acquire();
        });
    const auto release = qScopeGuard([&] {
        openGate();
        for (QFuture<void>& future : held)
            future.waitForFinished();
    });
    ASSERT_TRUE(test::eventually([&] { return holding.available() == threads; }));
    if (Symbols::isLoaded()) GTEST_SKIP() << "the artwork was read before this test";

    const test::CheckMode counted(UserFile::GuiThreadCheck::count);
    const int opens = UserFile::guiThreadOpens();
    // The photo's picture is held back: its tile stays.
    Fixture fixture;
    const FileItem photo = item(QStringLiteral("/block/a.jpg"), FileCategory::images);
    ThumbnailView view(fixture.loader);
    view.resize(100, 100);
    view.setItem(photo);
    bool paintedWithout = false, paintedWith = false;
    PaintWatcher watcher([&] { (Symbols::isLoaded() ? paintedWith : paintedWithout) = true; });
    view.installEventFilter(&watcher);
    view.show();
    ASSERT_TRUE(test::eventually([&] { return paintedWithout; }));
    const QRectF symbol = CategoryTile(photo, QImage(), QSizeF(100, 100)).layout().symbolRect;
    EXPECT_NE(view.grab().toImage().pixelColor(symbol.center().toPoint()), QColor(Qt::white));

    openGate();
    ASSERT_TRUE(test::eventually([&] { return paintedWith; }));
    EXPECT_EQ(view.grab().toImage().pixelColor(symbol.center().toPoint()), QColor(Qt::white));
    EXPECT_EQ(UserFile::guiThreadOpens(), opens);
}

TEST(ThumbnailViewContent, RoundedCornersAreCut)
{
    Fixture fixture;
    fixture.load(QStringLiteral("/p/r.jpg"), 100);
    ThumbnailView view(fixture.loader);
    view.resize(100, 100);
    view.setCornerRadius(20);
    view.setItem(item(QStringLiteral("/p/r.jpg"), FileCategory::images));
    const QImage shown = view.grab().toImage();
    // What lies behind the view shows in the cut corner.
    EXPECT_EQ(shown.pixelColor(1, 1), view.palette().color(QPalette::Window));
    EXPECT_EQ(shown.pixelColor(50, 50), QColor(Qt::red));
    EXPECT_EQ(shown.pixelColor(50, 1), QColor(Qt::red));
}

// The mask of the corners is kept per size and thread: a second size, or a
// denser screen, must never reuse another's.
TEST(ThumbnailViewContent, CornersAreCutSmoothlyAtEverySizeAndDensity)
{
    for (const double ratio : {1.0, 2.0}) {
        for (const int side : {40, 64}) {
            QImage image(QSize(side, side) * ratio, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(ratio);
            image.fill(Qt::red);
            {
                QPainter painter(&image);
                cutCornersRound(painter, QRectF(0, 0, side, side), 10);
            }
            const int last = image.width() - 1;
            SCOPED_TRACE(QStringLiteral("side %1 at %2x").arg(side).arg(ratio).toStdString());
            for (const QPoint corner :
                 {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
                EXPECT_EQ(image.pixelColor(corner).alpha(), 0);
            EXPECT_EQ(image.pixelColor(last / 2, last / 2), QColor(Qt::red));
            EXPECT_EQ(image.pixelColor(last / 2, 0), QColor(Qt::red));
            // Somewhere on the curve a pixel is partly covered: the edge is smooth.
            bool partly = false;
            for (int i = 0; i < int(10 * ratio); ++i) {
                const int alpha = image.pixelColor(i, i).alpha();
                partly = partly || (alpha > 0 && alpha < 255);
            }
            EXPECT_TRUE(partly);
        }
    }
}

TEST(OvraLogoView, WithoutALogoResourceTheApplicationIconShowsUnclipped)
{
    ASSERT_TRUE(OvraLogo::bundledLogo().isNull());
    QPixmap icon(64, 64);
    icon.fill(Qt::blue);
    const QIcon previous = QApplication::windowIcon();
    QApplication::setWindowIcon(QIcon(icon));
    OvraLogo logo(32);
    logo.resize(logo.sizeHint());
    const QImage shown = logo.grab().toImage();
    QApplication::setWindowIcon(previous);
    EXPECT_EQ(shown.size(), QSize(32, 32));
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::blue));
}
