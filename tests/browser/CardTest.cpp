#include "browser/FolderCard.h"
#include "browser/GalleryCard.h"
#include "browser/PlaceholderCover.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "services/TextIndex.h"
#include "services/Thumbnails.h"
#include "support/FakeThumbnailGenerator.h"
#include "support/TestHome.h"
#include "support/Wait.h"
#include "ui/Theme.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

FileItem fileAt(const QString& path, FileCategory category, qint64 size = 0)
{
    FileItem item;
    item.path = path;
    item.name = path.section(u'/', -1);
    item.category = category;
    item.size = size;
    item.modified = 1'700'000'000;
    return item;
}

// A red square in the middle of a clear picture, as a logo is drawn.
QImage logo(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = height / 3; y < height * 2 / 3; ++y)
        for (int x = width / 3; x < width * 2 / 3; ++x)
            image.setPixelColor(x, y, Qt::red);
    return image;
}

// Paints every file red (a logo for /clear/ paths), or hands back nothing for
// /icon/ paths so the loader falls back to the icon. One loader thread, so a
// blocked request holds back every later one. Icons are green, except for
// /noicon/ paths, which have none at all.
std::optional<ThumbnailRepresentation> picture(const QString& path, int pixelSide)
{
    if (path.startsWith(u"/icon/")) return std::nullopt;
    const QImage image = path.startsWith(u"/clear/")
                             ? logo(pixelSide, pixelSide * 3 / 4)
                             : test::solidImage(pixelSide, pixelSide * 3 / 4, Qt::red);
    return ThumbnailRepresentation{ThumbnailRepresentation::Type::thumbnail, image};
}

struct Loader {
    Loader()
        : thumbnails(
              generator,
              [](const FileIconFacts& facts, int side) {
                  return facts.path.startsWith(u"/icon/noicon")
                             ? QImage()
                             : test::solidImage(side, side, Qt::green);
              },
              1)
    {
    }
    ~Loader() { generator->releaseAll(); }

    std::shared_ptr<test::FakeThumbnailGenerator> generator =
        std::make_shared<test::FakeThumbnailGenerator>(picture);
    Thumbnails thumbnails;
};

class BritishLocale : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

bool hasRed(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60) return true;
        }
    return false;
}

} // namespace

// Placeholder cover

TEST(PlaceholderCoverTest, ChoosesTheCoverByCategory)
{
    using Style = PlaceholderCover::Style;
    const QList<std::pair<FileCategory, Style>> expected{
        {FileCategory::images, Style::paper},    {FileCategory::videos, Style::paper},
        {FileCategory::documents, Style::paper}, {FileCategory::code, Style::paper},
        {FileCategory::music, Style::album},     {FileCategory::archives, Style::icon},
        {FileCategory::apps, Style::icon},       {FileCategory::folders, Style::icon},
        {FileCategory::other, Style::icon}};
    ASSERT_EQ(expected.size(), qsizetype(kAllFileCategories.size()));
    for (const auto& [category, style] : expected)
        EXPECT_EQ(PlaceholderCover::styleFor(category), style) << rawValue(category).toStdString();

    // An icon cover turns its spinner only while it has no icon.
    const FileItem zip = fileAt(QStringLiteral("/a/b.zip"), FileCategory::archives);
    EXPECT_TRUE(PlaceholderCover(zip, QImage(), 100).showsSpinner());
    EXPECT_FALSE(PlaceholderCover(zip, test::solidImage(8, 8, Qt::green), 100).showsSpinner());
    EXPECT_FALSE(
        PlaceholderCover(fileAt(QStringLiteral("/a/b.txt"), FileCategory::documents), QImage(), 100)
            .showsSpinner());
}

TEST(PlaceholderCoverTest, PaperPageSymbolAndExtensionBadge)
{
    EXPECT_EQ(PlaceholderCover::paperSymbol(FileCategory::images),
              QStringLiteral("photo.on.rectangle.angled"));
    EXPECT_EQ(PlaceholderCover::paperSymbol(FileCategory::videos),
              QStringLiteral("play.rectangle"));
    EXPECT_EQ(PlaceholderCover::paperSymbol(FileCategory::documents), QStringLiteral("doc.text"));
    EXPECT_EQ(PlaceholderCover::paperSymbol(FileCategory::code),
              QStringLiteral("chevron.left.forwardslash.chevron.right"));

    auto badge = [](const QString& path) {
        return PlaceholderCover::extensionBadge(fileAt(path, FileCategory::documents));
    };
    EXPECT_EQ(badge(QStringLiteral("/d/Report.pdf")), QStringLiteral("PDF"));
    EXPECT_EQ(badge(QStringLiteral("/d/backup.tar.gz")), QStringLiteral("GZ"));
    EXPECT_EQ(badge(QStringLiteral("/d/README")), QStringLiteral("FILE"));
    EXPECT_EQ(badge(QStringLiteral("/d/.bashrc")), QStringLiteral("FILE"));
    EXPECT_EQ(badge(QStringLiteral("/d/trailing.")), QStringLiteral("FILE"));
    // A dot in a folder's name is not the file's extension.
    EXPECT_EQ(badge(QStringLiteral("/d/v1.2/notes")), QStringLiteral("FILE"));
}

TEST(PlaceholderCoverTest, AlbumCoverTitleAndColours)
{
    FileItem song = fileAt(QStringLiteral("/m/Song.mp3"), FileCategory::music);
    EXPECT_EQ(PlaceholderCover::albumTitle(song), QStringLiteral("Song"));
    // A tagged title usually has no file suffix and stays as it is.
    song.title = QStringLiteral("Live in Cork");
    EXPECT_EQ(PlaceholderCover::albumTitle(song), QStringLiteral("Live in Cork"));
    // Without an extension, the dots of a title stay.
    FileItem bare = fileAt(QStringLiteral("/m/Best of"), FileCategory::music);
    bare.title = QStringLiteral("Vol. 1.5");
    EXPECT_EQ(PlaceholderCover::albumTitle(bare), QStringLiteral("Vol. 1.5"));

    // The second colour is always the pastel three places on from the first.
    for (const QString& name : {QStringLiteral("Song.mp3"), QStringLiteral("a"),
                                QStringLiteral("Ünïcødé 🎵.flac"), QString()}) {
        const auto [c1, c2] = PlaceholderCover::albumColors(name);
        const auto& pastels = Theme::pastels();
        const auto first = std::find(pastels.begin(), pastels.end(), c1) - pastels.begin();
        EXPECT_EQ(c2, pastels[size_t((first + 3) % 6)]) << name.toStdString();
        EXPECT_EQ(c1, Theme::pastel(name));
    }
}

// Card texts

TEST(GalleryCardTest, TagTextFollowsTheFirstMatchingRule)
{
    auto tag = [](const FileItem& item, CardSize size = CardSize::medium) {
        return GalleryCard::tagText(item, size).toStdString();
    };
    // Without an extension, the category's title stands in.
    EXPECT_EQ(tag(fileAt(QStringLiteral("/d/notes"), FileCategory::documents, 12'000)),
              "Documents \u00B7 12 KB");
    // Apps say "App" whatever their extension and size.
    EXPECT_EQ(tag(fileAt(QStringLiteral("/a/Editor.app"), FileCategory::apps, 5'000'000)), "App");

    FileItem photo = fileAt(QStringLiteral("/p/IMG_1.jpg"), FileCategory::images, 2'400'000);
    photo.pixelWidth = 4032;
    photo.pixelHeight = 3024;
    EXPECT_EQ(tag(photo, CardSize::medium), "JPG \u00B7 4032\u00D73024");
    EXPECT_EQ(tag(photo, CardSize::large), "JPG \u00B7 4032\u00D73024");
    EXPECT_EQ(tag(photo, CardSize::small), "JPG \u00B7 2.4 MB");
    photo.pixelHeight.reset();
    EXPECT_EQ(tag(photo), "JPG \u00B7 2.4 MB");

    FileItem song = fileAt(QStringLiteral("/m/a.mp3"), FileCategory::music, 4'000'000);
    song.duration = 187;
    EXPECT_EQ(tag(song), "MP3 \u00B7 3:07");
    song.duration.reset();
    EXPECT_EQ(tag(song), "MP3 \u00B7 4 MB");
    FileItem clip = fileAt(QStringLiteral("/v/clip.MOV"), FileCategory::videos, 1);
    clip.duration = 3725;
    EXPECT_EQ(tag(clip), "MOV \u00B7 1:02:05");

    EXPECT_EQ(tag(fileAt(QStringLiteral("/d/empty.txt"), FileCategory::documents, 0)), "TXT");
    EXPECT_EQ(tag(fileAt(QStringLiteral("/d/odd.bin"), FileCategory::other, -5)), "BIN");
}

TEST_F(BritishLocale, CardShowsDisplayTitleAndDateAndElidesWithoutWidening)
{
    Loader loader;
    GalleryCard card(AppContext{}, loader.thumbnails);
    FileItem app = fileAt(QStringLiteral("/apps/Editor.app"), FileCategory::apps);
    app.modified = QDateTime(QDate(2025, 3, 14), QTime(15, 9, 42)).toSecsSinceEpoch();
    card.setItem(app);
    EXPECT_EQ(card.shownTitle(), QStringLiteral("Editor"));
    EXPECT_EQ(card.shownDate(), QStringLiteral("14 Mar 2025, 15:09"));
    EXPECT_EQ(card.shownTag(), QStringLiteral("App"));

    FileItem song = fileAt(QStringLiteral("/m/01 track.flac"), FileCategory::music);
    song.title = QStringLiteral("Harbour Lights");
    card.setItem(song);
    EXPECT_EQ(card.shownTitle(), QStringLiteral("Harbour Lights"));

    for (CardSize size : kAllCardSizes) {
        card.setCardSize(size);
        card.setItem(fileAt(QStringLiteral("/p/a.jpg"), FileCategory::images));
        const QSize shortSize = card.size();
        const QSize shortHint = card.sizeHint();
        const QString longName = QStringLiteral("A very long holiday photo name, ") +
                                 QString(200, u'x') + QStringLiteral(" the end.jpeg");
        card.setItem(fileAt(QStringLiteral("/p/") + longName, FileCategory::images, 1));
        EXPECT_EQ(card.size(), shortSize);
        EXPECT_EQ(card.sizeHint(), shortHint);
        EXPECT_EQ(card.cardRect().width(), GalleryCard::cardWidth(size));
        // Cut in the middle: the start and the extension both stay in sight.
        const QString title = card.shownTitle();
        EXPECT_TRUE(title.startsWith(QStringLiteral("A very"))) << title.toStdString();
        EXPECT_TRUE(title.endsWith(QStringLiteral("end.jpeg"))) << title.toStdString();
        EXPECT_TRUE(title.contains(QChar(0x2026)));
        EXPECT_LE(QFontMetricsF(Theme::font(13, QFont::Medium)).horizontalAdvance(title),
                  GalleryCard::cardWidth(size) - 28);
    }
}

TEST(GalleryCardTest, CardSizesAndTheBucketTheyAskFor)
{
    Loader loader;
    const QList<std::tuple<CardSize, int, int, QString>> sizes{
        {CardSize::small, 200, 198, QStringLiteral("160|1700000000000|/p/a.jpg")},
        {CardSize::medium, 250, 226, QStringLiteral("320|1700000000000|/p/a.jpg")},
        {CardSize::large, 320, 278, QStringLiteral("320|1700000000000|/p/a.jpg")}};
    for (const auto& [size, width, thumbnailHeight, key] : sizes) {
        GalleryCard card(AppContext{}, loader.thumbnails);
        card.setCardSize(size);
        card.setItem(fileAt(QStringLiteral("/p/a.jpg"), FileCategory::images));
        EXPECT_EQ(GalleryCard::cardWidth(size), width);
        EXPECT_EQ(GalleryCard::thumbnailHeight(size), thumbnailHeight);
        // The card lies inside the widget, the shadow's room around it.
        EXPECT_EQ(card.size(),
                  GalleryCard::cardDimensions(size).grownBy(GalleryCard::shadowMargins()));
        EXPECT_TRUE(QRect(QPoint(), card.size()).contains(card.cardRect()));
        // Not asked for until shown.
        EXPECT_TRUE(card.thumbnail().loadKey().isEmpty());
        card.show();
        EXPECT_EQ(card.thumbnail().loadKey(), key);
    }
}

// Copy Text

TEST(GalleryCardTest, CopyTextIsOfferedOnlyWhereItCanFindSomething)
{
    test::TestHome home;
    QHash<QString, QString> texts{{QStringLiteral("/p/blank.png"), QString()},
                                  {QStringLiteral("/p/sign.png"), QStringLiteral("EXIT")}};
    TextIndex index([texts](const QString& path) { return std::optional(texts.value(path)); });
    FileItem blank = fileAt(QStringLiteral("/p/blank.png"), FileCategory::images);
    FileItem sign = fileAt(QStringLiteral("/p/sign.png"), FileCategory::images);
    ASSERT_TRUE(test::eventually([&] { return index.text(blank).isFinished(); }));
    ASSERT_TRUE(test::eventually([&] { return index.currentEntry(blank) != nullptr; }));
    index.text(sign);
    ASSERT_TRUE(test::eventually([&] { return index.currentEntry(sign) != nullptr; }));

    const FileItem fresh = fileAt(QStringLiteral("/p/never-read.jpg"), FileCategory::images);
    EXPECT_TRUE(GalleryCard::offersCopyText(fresh, true, &index));
    EXPECT_FALSE(GalleryCard::offersCopyText(fresh, false, &index));
    EXPECT_FALSE(GalleryCard::offersCopyText(fresh, true, nullptr));
    EXPECT_TRUE(GalleryCard::offersCopyText(sign, true, &index));
    // This very version is known to hold no text...
    EXPECT_FALSE(GalleryCard::offersCopyText(blank, true, &index));
    // ...until the file changes.
    FileItem changed = blank;
    changed.modified += 60;
    EXPECT_TRUE(GalleryCard::offersCopyText(changed, true, &index));

    EXPECT_FALSE(GalleryCard::offersCopyText(
        fileAt(QStringLiteral("/p/logo.SVG"), FileCategory::images), true, &index));
    FileItem pdf = fileAt(QStringLiteral("/d/scan.pdf"), FileCategory::documents);
    pdf.contentType = UniformType::pdf();
    EXPECT_FALSE(GalleryCard::offersCopyText(pdf, true, &index));
    EXPECT_FALSE(GalleryCard::offersCopyText(
        fileAt(QStringLiteral("/v/clip.mp4"), FileCategory::videos), true, &index));
}

TEST(GalleryCardTest, CopyTextButtonCarriesItsOwnHelpText)
{
    test::TestHome home;
    AppState state;
    TextIndex index([](const QString&) { return std::optional(QString()); });
    AppContext context;
    context.state = &state;
    context.textIndex = &index;
    Loader loader;
    GalleryCard card(context, loader.thumbnails);
    card.setItem(fileAt(QStringLiteral("/p/photo.jpg"), FileCategory::images));
    card.show();
    const QPoint button =
        card.cardRect().topLeft() +
        QPoint(card.cardRect().width() - 30, GalleryCard::thumbnailHeight(card.cardSize()) - 20);
    const QPoint middle = card.cardRect().center();
    // Hidden while the card is not hovered: the file's name everywhere.
    EXPECT_NE(card.helpTextAt(button), GalleryCard::copyTextHelp());
    card.setHovering(true, false);
    EXPECT_EQ(card.helpTextAt(button), QStringLiteral("Copy the text in this image"));
    EXPECT_TRUE(card.helpTextAt(middle).contains(QStringLiteral("photo.jpg")));
}

TEST(GalleryCardTest, FillsTheWidthItIsGivenWithItsTextsAndPicture)
{
    Loader loader;
    GalleryCard card(AppContext{}, loader.thumbnails);
    card.setCardSize(CardSize::medium);
    const QString name = QStringLiteral("a-long-name-that-fits-a-wide-card-only.jpg");
    card.setItem(fileAt(QStringLiteral("/p/") + name, FileCategory::images));
    const QString narrowTitle = card.shownTitle();
    const double narrowSide = card.thumbnail().size().width();

    card.setCardWidth(400);
    EXPECT_EQ(card.cardRect().width(), 400);
    EXPECT_TRUE(QRect(QPoint(), card.size()).contains(card.cardRect()));
    EXPECT_EQ(card.cardRect().height(), GalleryCard::cardDimensions(CardSize::medium).height());
    EXPECT_GT(card.thumbnail().size().width(), narrowSide);
    EXPECT_GE(card.shownTitle().size(), narrowTitle.size());
    EXPECT_EQ(card.shownTitle(), name);

    card.setCardWidth(std::nullopt);
    EXPECT_EQ(card.cardRect().width(), GalleryCard::cardWidth(CardSize::medium));
}

// Thumbnail requests

TEST(GalleryCardTest, RetargetingDropsTheOldRequest)
{
    Loader loader;
    GalleryCard holder(AppContext{}, loader.thumbnails);
    holder.setItem(fileAt(QStringLiteral("/block/hold.jpg"), FileCategory::images));
    holder.show();
    // The one loader thread is now busy: later requests wait in its queue.
    ASSERT_TRUE(loader.generator->waitUntilBlocked());
    // Made only after the card's requests would have been: the newest starts first.
    QFuture<Thumbnail> after = loader.thumbnails.load(QStringLiteral("/p/after.jpg"), 64);

    GalleryCard card(AppContext{}, loader.thumbnails);
    card.setItem(fileAt(QStringLiteral("/p/old.jpg"), FileCategory::images));
    card.show();
    EXPECT_EQ(card.thumbnail().loadKey(), QStringLiteral("320|1700000000000|/p/old.jpg"));
    card.setItem(fileAt(QStringLiteral("/p/new.jpg"), FileCategory::images));
    EXPECT_EQ(card.thumbnail().loadKey(), QStringLiteral("320|1700000000000|/p/new.jpg"));

    loader.generator->release();
    ASSERT_TRUE(test::eventually([&] { return card.thumbnail().showsPicture(); }));
    EXPECT_EQ(card.thumbnail().shownThumbnail()->path, QStringLiteral("/p/new.jpg"));
    ASSERT_TRUE(test::eventually([&] { return after.isFinished(); }));
    EXPECT_FALSE(loader.generator->requestedPaths().contains(QStringLiteral("/p/old.jpg")));
}

TEST(GalleryCardTest, RetargetingNeverShowsThePreviousPicture)
{
    Loader loader;
    GalleryCard card(AppContext{}, loader.thumbnails);
    card.setItem(fileAt(QStringLiteral("/p/red.jpg"), FileCategory::images));
    card.show();
    ASSERT_TRUE(test::eventually([&] { return card.thumbnail().showsPicture(); }));
    ASSERT_TRUE(hasRed(card.grab().toImage()));

    // The next file's picture is still being made.
    card.setItem(fileAt(QStringLiteral("/block/next.jpg"), FileCategory::images));
    ASSERT_TRUE(loader.generator->waitUntilBlocked());
    EXPECT_FALSE(card.thumbnail().shownThumbnail().has_value());
    EXPECT_FALSE(hasRed(card.grab().toImage()));

    // The old picture never comes back, not even for the same view re-used.
    card.setItem(fileAt(QStringLiteral("/p/other.txt"), FileCategory::documents));
    EXPECT_FALSE(card.thumbnail().showsPicture() &&
                 card.thumbnail().shownThumbnail()->path != QStringLiteral("/p/other.txt"));
    loader.generator->release();
}

TEST(GalleryCardTest, ALargerCachedPictureShowsAtOnceASmallerOneDoesNot)
{
    Loader loader;
    auto cache = [&](const QString& path, double side) {
        QFuture<Thumbnail> future =
            loader.thumbnails.load(path, side, Thumbnails::version(1'700'000'000));
        return test::eventually([&] { return future.isFinished(); });
    };
    ASSERT_TRUE(cache(QStringLiteral("/p/big.jpg"), 640));
    ASSERT_TRUE(cache(QStringLiteral("/p/tiny.jpg"), 64));

    // Not even shown yet: the first frame already has the picture.
    GalleryCard card(AppContext{}, loader.thumbnails);
    card.setCardSize(CardSize::small);
    card.setItem(fileAt(QStringLiteral("/p/big.jpg"), FileCategory::images));
    EXPECT_TRUE(card.thumbnail().showsPicture());

    // Too small a picture is not blown up: the cover stands until the load.
    card.setItem(fileAt(QStringLiteral("/p/tiny.jpg"), FileCategory::images));
    EXPECT_FALSE(card.thumbnail().showsPicture());
    card.show();
    ASSERT_TRUE(test::eventually([&] { return card.thumbnail().showsPicture(); }));
}

TEST(GalleryCardTest, HidingDropsTheRequestAndShowingAsksAgain)
{
    Loader loader;
    GalleryCard holder(AppContext{}, loader.thumbnails);
    holder.setItem(fileAt(QStringLiteral("/block/hold.jpg"), FileCategory::images));
    holder.show();
    ASSERT_TRUE(loader.generator->waitUntilBlocked());
    // Asked for before the card's request: the newest starts first, so this one
    // is made only after the card's would have been.
    QFuture<Thumbnail> after = loader.thumbnails.load(QStringLiteral("/p/after.jpg"), 64);

    GalleryCard card(AppContext{}, loader.thumbnails);
    card.setItem(fileAt(QStringLiteral("/p/a.jpg"), FileCategory::images));
    card.show();
    card.hide();
    EXPECT_TRUE(card.thumbnail().loadKey().isEmpty());
    loader.generator->release();
    ASSERT_TRUE(test::eventually([&] { return after.isFinished(); }));
    EXPECT_FALSE(loader.generator->requestedPaths().contains(QStringLiteral("/p/a.jpg")));

    card.show();
    ASSERT_TRUE(test::eventually([&] { return card.thumbnail().showsPicture(); }));
}

TEST(GalleryCardTest, IconsGoOnTheCoverAndNeverStretchAsPictures)
{
    Loader loader;
    GalleryCard card(AppContext{}, loader.thumbnails);
    card.setItem(fileAt(QStringLiteral("/block/archive.zip"), FileCategory::archives));
    card.show();
    ASSERT_TRUE(loader.generator->waitUntilBlocked());
    // Nothing yet: the cover's spinner turns.
    EXPECT_TRUE(card.thumbnail().showsSpinner());
    loader.generator->release();

    card.setItem(fileAt(QStringLiteral("/icon/archive.zip"), FileCategory::archives));
    ASSERT_TRUE(test::eventually([&] { return card.thumbnail().shownThumbnail().has_value(); }));
    EXPECT_TRUE(card.thumbnail().shownThumbnail()->isIcon);
    EXPECT_FALSE(card.thumbnail().showsPicture());
    EXPECT_FALSE(card.thumbnail().showsSpinner());

    // A video whose loader could only find its icon shows the paper page.
    card.setItem(fileAt(QStringLiteral("/icon/clip.mp4"), FileCategory::videos));
    ASSERT_TRUE(test::eventually([&] { return card.thumbnail().shownThumbnail().has_value(); }));
    EXPECT_FALSE(card.thumbnail().showsPicture());

    // Not even an icon: the spinner stops rather than turning for ever.
    card.setItem(fileAt(QStringLiteral("/icon/noicon.bin"), FileCategory::other));
    ASSERT_TRUE(test::eventually([&] { return card.thumbnail().shownThumbnail().has_value(); }));
    EXPECT_FALSE(card.thumbnail().showsSpinner());
}

TEST(GalleryCardTest, PlayBadgeOnAVideoPictureOnlyWhileHoveredOrPlaying)
{
    Loader loader;
    GalleryCard card(AppContext{}, loader.thumbnails);
    card.setItem(fileAt(QStringLiteral("/v/clip.mp4"), FileCategory::videos));
    card.show();
    ASSERT_TRUE(test::eventually([&] { return card.thumbnail().showsPicture(); }));
    // The badge's dark disc sits in the middle of the picture area.
    const QPoint middle = card.cardRect().topLeft() +
                          QPoint(card.cardRect().width() / 2,
                                 42 + (GalleryCard::thumbnailHeight(CardSize::medium) - 62) / 2);
    auto middleIsPlainRed = [&] {
        const QColor c = card.grab().toImage().pixelColor(middle);
        return c.red() > 230 && c.green() < 30;
    };
    EXPECT_TRUE(middleIsPlainRed());
    card.setPlaying(true);
    EXPECT_FALSE(middleIsPlainRed());
    card.setPlaying(false);
    card.setHovering(true, false);
    EXPECT_FALSE(middleIsPlainRed());
    card.setHovering(false, false);
    EXPECT_TRUE(middleIsPlainRed());

    // No badge on a picture that is not a video's.
    card.setItem(fileAt(QStringLiteral("/p/still.jpg"), FileCategory::images));
    card.setPlaying(true);
    card.setHovering(true, false);
    ASSERT_TRUE(test::eventually([&] { return card.thumbnail().showsPicture(); }));
    EXPECT_TRUE(middleIsPlainRed());
}

// Pointer

TEST(GalleryCardTest, ReportsClicksDoubleClicksAndMenuRequests)
{
    Loader loader;
    GalleryCard card(AppContext{}, loader.thumbnails);
    const FileItem item = fileAt(QStringLiteral("/p/a.jpg"), FileCategory::images);
    card.setItem(item);
    card.show();

    QList<Qt::KeyboardModifiers> clicks;
    int doubleClicks = 0;
    QList<QPoint> menus;
    QObject::connect(&card, &GalleryCard::clicked, [&](const FileItem& f, Qt::KeyboardModifiers m) {
        EXPECT_EQ(f, item);
        clicks << m;
    });
    QObject::connect(&card, &GalleryCard::doubleClicked, [&](const FileItem&) { ++doubleClicks; });
    QObject::connect(&card, &GalleryCard::contextMenuRequested,
                     [&](const FileItem&, const QPoint& pos) { menus << pos; });

    const QPoint middle = card.cardRect().center();
    QTest::mouseClick(&card, Qt::LeftButton, Qt::ControlModifier, middle);
    ASSERT_EQ(clicks.size(), 1);
    EXPECT_EQ(clicks[0], Qt::ControlModifier);

    // The shadow's room around the card is not the card.
    QTest::mouseClick(&card, Qt::LeftButton, {}, QPoint(2, card.height() - 2));
    EXPECT_EQ(clicks.size(), 1);

    // A double click as the system delivers it: a click, then the second
    // press as a double click, then its release, which must not click again.
    QTest::mouseClick(&card, Qt::LeftButton, {}, middle);
    QTest::mouseDClick(&card, Qt::LeftButton, {}, middle);
    QTest::mouseRelease(&card, Qt::LeftButton, {}, middle);
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(clicks.size(), 2);

    // The menu button shows on a selected card and asks for the menu.
    const QPoint menuButton = card.cardRect().topRight() + QPoint(-20, 20);
    QTest::mouseClick(&card, Qt::LeftButton, {}, menuButton);
    EXPECT_TRUE(menus.isEmpty()); // hidden while neither hovered nor selected
    const qsizetype clicksBefore = clicks.size();
    card.setSelected(true);
    QTest::mouseClick(&card, Qt::LeftButton, {}, menuButton);
    EXPECT_EQ(menus.size(), 1);
    EXPECT_EQ(clicks.size(), clicksBefore);
}

TEST(FolderCardTest, TitlesAreSetInTheThemesSansFace)
{
    // The fixed-pitch face made "Images" and "Downloads" look like terminal text.
    EXPECT_FALSE(QFontInfo(FolderCard::titleFont()).fixedPitch());
    EXPECT_EQ(FolderCard::titleFont().family(), Theme::font(15).family());
}

TEST(GalleryCardTest, AClearPictureLetsTheCardsGroundThroughWithoutAGreySquare)
{
    Loader loader;
    GalleryCard card(AppContext{}, loader.thumbnails);
    card.setItem(fileAt(QStringLiteral("/clear/logo.png"), FileCategory::images));
    card.show();
    ASSERT_TRUE(test::eventually([&] { return card.thumbnail().showsPicture(); }));
    const QImage picture = card.grab().toImage();
    const QPoint middle = card.cardRect().topLeft() +
                          QPoint(card.cardRect().width() / 2,
                                 42 + (GalleryCard::thumbnailHeight(CardSize::medium) - 62) / 2);
    ASSERT_GT(picture.pixelColor(middle).red(), 230);
    // Up from the red square into the picture's clear part: the ground the
    // card shows beside the picture, not the shadow of the picture's box.
    int y = middle.y();
    while (y > 0 && picture.pixelColor(middle.x(), y).red() > 200 &&
           picture.pixelColor(middle.x(), y).green() < 60)
        --y;
    const int ground = picture.pixelColor(card.cardRect().left() + 6, y - 6).lightness();
    for (int above = y - 4; above > y - 12; --above)
        EXPECT_GE(picture.pixelColor(middle.x(), above).lightness(), ground - 3) << above;
}
