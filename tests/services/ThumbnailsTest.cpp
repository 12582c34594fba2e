#include "services/Thumbnails.h"
#include "support/FakeThumbnailGenerator.h"
#include "support/Wait.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

using namespace ovra;

namespace {

using Type = ThumbnailRepresentation::Type;

QImage solid(int side, QColor colour)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

Thumbnail wait(QFuture<Thumbnail> future)
{
    // Answers are delivered through this thread's event loop.
    EXPECT_TRUE(test::eventually([&] { return future.isFinished(); }));
    return future.result();
}

// Answers every request with a picture of the side asked for, of the type the
// test sets; a path naming something missing has no picture.
struct Loader {
    explicit Loader(int threads = 2)
        : generator(std::make_shared<test::FakeThumbnailGenerator>(
              [this](const QString& path, int pixelSide) -> std::optional<ThumbnailRepresentation> {
                  if (path.contains(u"missing")) return std::nullopt;
                  return ThumbnailRepresentation{type.load(), solid(pixelSide, Qt::red)};
              }))
        , thumbnails(
              generator,
              [this](const FileIconFacts&, int side) {
                  iconCalls.fetch_add(1);
                  onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
                  return solid(side, Qt::blue);
              },
              threads)
    {
    }
    ~Loader() { generator->releaseAll(); }

    std::atomic<Type> type{Type::thumbnail};
    std::shared_ptr<test::FakeThumbnailGenerator> generator;
    std::atomic<int> iconCalls{0};
    std::atomic<bool> onGuiThread{false};
    Thumbnails thumbnails;
};

} // namespace

TEST(ThumbnailBuckets, SidesRoundUpToFourSizes)
{
    const std::pair<double, int> cases[] = {
        {0, 64},       {10, 64},   {64, 64},    {64.5, 160},         {160, 160}, {300, 320},
        {320.01, 640}, {640, 640}, {5000, 640}, {std::nan(""), 640}, {-5, 64}};
    for (const auto& [side, bucket] : cases)
        EXPECT_EQ(Thumbnails::bucket(side), bucket) << side;
    EXPECT_EQ(Thumbnails::cacheKey(160, QStringLiteral("/Users/example/cat.jpg")),
              QStringLiteral("160|0|/Users/example/cat.jpg"));
}

TEST(ThumbnailBuckets, AFileRewrittenInPlaceGetsANewPictureTheOldOneIsNotServed)
{
    Loader loader;
    const QString path = QStringLiteral("/documents/report.pdf");
    const qint64 before = Thumbnails::version(1'700'000'000.0);
    const qint64 after = Thumbnails::version(1'700'000'060.5);
    const Thumbnail old = wait(loader.thumbnails.load(path, 160, before));
    EXPECT_EQ(old.version, before);
    EXPECT_TRUE(loader.thumbnails.cached(path, 160, before));
    EXPECT_FALSE(loader.thumbnails.cached(path, 160, after));

    const Thumbnail fresh = wait(loader.thumbnails.load(path, 160, after));
    EXPECT_EQ(fresh.version, after);
    EXPECT_NE(fresh.image.cacheKey(), old.image.cacheKey());
    EXPECT_EQ(loader.generator->requests().size(), 2);
}

TEST(ThumbnailBuckets, LargerPicturesServeSmallerRequestsNeverTheReverse)
{
    Loader loader;
    const QString path = QStringLiteral("/pictures/cat.jpg");
    const Thumbnail loaded = wait(loader.thumbnails.load(path, 300));
    EXPECT_EQ(loaded.image.width(), 320 * Thumbnails::kScale);
    EXPECT_FALSE(loaded.isIcon);

    for (const double side : {10.0, 100.0, 320.0}) {
        const auto hit = loader.thumbnails.cached(path, side);
        ASSERT_TRUE(hit) << side;
        EXPECT_EQ(hit->image.cacheKey(), loaded.image.cacheKey());
    }
    EXPECT_FALSE(loader.thumbnails.cached(path, 400));

    wait(loader.thumbnails.load(path, 400));
    const auto requests = loader.generator->requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[1].pixelSide, 640 * Thumbnails::kScale);

    // A small request is served at once, without asking again, by the smallest
    // entry that is large enough.
    const QFuture<Thumbnail> small = loader.thumbnails.load(path, 50);
    EXPECT_TRUE(small.isFinished());
    EXPECT_EQ(small.result().image.cacheKey(), loaded.image.cacheKey());
    EXPECT_EQ(loader.thumbnails.cached(path, 500)->image.width(), 640 * Thumbnails::kScale);
    EXPECT_EQ(loader.generator->requests().size(), 2);
}

TEST(ThumbnailBuckets, UrlsOfOnePathShareEntries)
{
    Loader loader;
    wait(loader.thumbnails.load(QUrl::fromLocalFile(QStringLiteral("/tmp/a b.png")), 100));
    EXPECT_TRUE(loader.thumbnails.cached(QUrl(QStringLiteral("file:///tmp/a%20b.png")), 100));
    EXPECT_TRUE(loader.thumbnails.cached(QStringLiteral("/tmp/a b.png"), 160));
}

TEST(ThumbnailFallback, NoPictureGivesTheIconOnceAndCachesIt)
{
    Loader loader;
    const QString path = QStringLiteral("/nowhere/missing.bin");
    const Thumbnail first = wait(loader.thumbnails.load(path, 100));
    EXPECT_TRUE(first.isIcon);
    EXPECT_EQ(first.path, path);
    EXPECT_EQ(first.image.pixelColor(0, 0), QColor(Qt::blue));
    // Icon files are read and drawn where the picture was tried, never on the GUI thread.
    EXPECT_FALSE(loader.onGuiThread);

    const Thumbnail second = wait(loader.thumbnails.load(path, 150));
    EXPECT_TRUE(second.isIcon);
    EXPECT_EQ(loader.generator->requests().size(), 1);
    EXPECT_EQ(loader.iconCalls, 1);
}

TEST(ThumbnailFallback, AudioCountsAsIconUnlessFullyRendered)
{
    EXPECT_TRUE(Thumbnails::isIcon(Type::icon, false));
    EXPECT_TRUE(Thumbnails::isIcon(Type::icon, true));
    EXPECT_FALSE(Thumbnails::isIcon(Type::thumbnail, true));

    Loader loader;
    loader.type = Type::lowQualityThumbnail;
    EXPECT_TRUE(wait(loader.thumbnails.load(QStringLiteral("/music/song.mp3"), 64)).isIcon);
    EXPECT_FALSE(wait(loader.thumbnails.load(QStringLiteral("/videos/clip.mp4"), 64)).isIcon);
    EXPECT_FALSE(wait(loader.thumbnails.load(QStringLiteral("/files/no-extension"), 64)).isIcon);
}

TEST(ThumbnailQueue, NewestRequestFirstAndCancelledOnesDropped)
{
    Loader loader(1);
    QFuture<Thumbnail> blocker = loader.thumbnails.load(QStringLiteral("/block/one"), 64);
    ASSERT_TRUE(loader.generator->waitUntilBlocked());

    QFuture<Thumbnail> a = loader.thumbnails.load(QStringLiteral("/a"), 64);
    QFuture<Thumbnail> b = loader.thumbnails.load(QStringLiteral("/b"), 64);
    QFuture<Thumbnail> gone = loader.thumbnails.load(QStringLiteral("/scrolled-away"), 64);
    QFuture<Thumbnail> c = loader.thumbnails.load(QStringLiteral("/c"), 64);
    gone.cancel();
    // Work already started completes and is cached even when nobody waits.
    blocker.cancel();
    loader.generator->release(1);

    for (auto* future : {&a, &b, &c})
        wait(*future);
    EXPECT_EQ(loader.generator->requestedPaths(), (QStringList{"/block/one", "/c", "/b", "/a"}));
    EXPECT_TRUE(gone.isCanceled());
    EXPECT_TRUE(loader.thumbnails.cached(QStringLiteral("/block/one"), 64));
}

TEST(ThumbnailMemory, LeastRecentlyUsedLeaveBeyondTheCountLimit)
{
    Loader loader(4);
    const auto path = [](int i) { return QStringLiteral("/many/%1.png").arg(i); };
    QList<QFuture<Thumbnail>> loads;
    for (int i = 0; i < Thumbnails::kCountLimit; ++i)
        loads.append(loader.thumbnails.load(path(i), 10));
    for (const auto& future : loads)
        wait(future);
    loads.clear();
    // Every lookup counts as a use: this makes 1 the least recently used.
    for (int i = 0; i < Thumbnails::kCountLimit; ++i)
        ASSERT_TRUE(loader.thumbnails.cached(path(i), 10)) << i;
    ASSERT_TRUE(loader.thumbnails.cached(path(0), 10));

    wait(loader.thumbnails.load(path(Thumbnails::kCountLimit), 10));
    EXPECT_TRUE(loader.thumbnails.cached(path(0), 10));
    EXPECT_FALSE(loader.thumbnails.cached(path(1), 10));
    EXPECT_TRUE(loader.thumbnails.cached(path(2), 10));
}

TEST(ThumbnailMemory, LargePicturesAreBoundedByBytesBeforeCount)
{
    Loader loader;
    const qsizetype pictureBytes =
        qsizetype(640 * Thumbnails::kScale) * 640 * Thumbnails::kScale * 4;
    const int fits = int(Thumbnails::kByteLimit / pictureBytes);
    const auto path = [](int i) { return QStringLiteral("/large/%1.png").arg(i); };
    for (int i = 0; i <= fits; ++i)
        wait(loader.thumbnails.load(path(i), 640));
    EXPECT_FALSE(loader.thumbnails.cached(path(0), 640));
    EXPECT_TRUE(loader.thumbnails.cached(path(1), 640));
    EXPECT_TRUE(loader.thumbnails.cached(path(fits), 640));
}
