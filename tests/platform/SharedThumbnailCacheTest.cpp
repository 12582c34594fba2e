#include "platform/thumbnails/SharedThumbnailCache.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <ctime>

#include <sys/stat.h>

using namespace ovra;
namespace cache = SharedThumbnailCache;

TEST(SharedThumbnailCache, RequestsGoToTheSmallestFolderThatHoldsThem)
{
    EXPECT_EQ(cache::sizeFor(128), cache::Size::normal);
    EXPECT_EQ(cache::sizeFor(129), cache::Size::large);
    EXPECT_EQ(cache::sizeFor(320), cache::Size::xLarge);
    EXPECT_EQ(cache::sizeFor(1280), cache::Size::xxLarge);
    EXPECT_EQ(cache::folderName(cache::Size::xLarge), QStringLiteral("x-large"));
}

TEST(SharedThumbnailCache, UrisEscapeWhatAPathMayNotCarry)
{
    EXPECT_EQ(cache::uriFor(QStringLiteral("/home/ann/a b;c?d#e%f[g].png")),
              QStringLiteral("file:///home/ann/a%20b%3Bc%3Fd%23e%25f%5Bg%5D.png"));
    EXPECT_EQ(cache::uriFor(QStringLiteral("/home/ann/it's(1)+2=3&$,@:~!*.jpg")),
              QStringLiteral("file:///home/ann/it's(1)+2=3&$,@:~!*.jpg"));
    EXPECT_EQ(cache::uriFor(QStringLiteral("/ü")), QStringLiteral("file:///%C3%BC"));
}

TEST(SharedThumbnailCache, CurrentOnlyForTheSameFileTimeAndSize)
{
    const QString uri = QStringLiteral("file:///a.png");
    const cache::FileStamp stamp{1700000000, 42};
    EXPECT_TRUE(cache::isCurrent({uri, "1700000000", "42"}, uri, stamp));
    EXPECT_TRUE(cache::isCurrent({uri, "1700000000", QString()}, uri, stamp)); // size is optional
    EXPECT_FALSE(cache::isCurrent({uri, "1700000001", "42"}, uri, stamp));
    EXPECT_FALSE(cache::isCurrent({uri, "1700000000", "43"}, uri, stamp));
    EXPECT_FALSE(cache::isCurrent({uri, "1700000000.5", "42"}, uri, stamp));
    EXPECT_FALSE(cache::isCurrent({uri, QString(), "42"}, uri, stamp));
    EXPECT_FALSE(
        cache::isCurrent({QStringLiteral("file:///b.png"), "1700000000", "42"}, uri, stamp));
}

TEST(SharedThumbnailCache, StoringReplacesWholeFilesOnly)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString target = cache::thumbnailPath(QStringLiteral("file:///x"), cache::Size::large);
    ASSERT_TRUE(cache::store(target, "first"));
    ASSERT_TRUE(cache::store(target, "second"));
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("second"));
    EXPECT_EQ(QDir(cache::root() + QStringLiteral("/large")).entryList(QDir::Files).size(), 1);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(cache::root()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(cache::holds(target));
    EXPECT_FALSE(cache::holds(home.path(QStringLiteral("Pictures/a.png"))));
}

// Stores cut short by a kill leave their temporaries in the cache's folders:
// those of pictures go, in every size's folder and in this build's failure
// notes; what other programs keep there under other names stays.
TEST(SharedThumbnailCache, TheTemporariesOfStoresCutShortGo)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString uri = QStringLiteral("file:///x");
    // Two hours untouched: stale whichever process made them.
    const QString suffix = QStringLiteral(".tmp-1-abc");
    const double twoHoursAgo = double(std::time(nullptr)) - 2 * 60 * 60;
    const auto temporary = [&](const QString& path) {
        return home.writeFile(QDir(home.root()).relativeFilePath(path + suffix), "x", twoHoursAgo);
    };
    QStringList stale;
    for (const cache::Size size : cache::kSizes)
        stale << temporary(cache::thumbnailPath(uri, size));
    stale << temporary(cache::failurePath(uri));
    const QString notOurs = temporary(cache::root() + QStringLiteral("/normal/notes.png"));
    EXPECT_EQ(cache::removeStaleTemporaries(), int(stale.size()));
    for (const QString& path : stale)
        EXPECT_FALSE(QFile::exists(path)) << qPrintable(path);
    EXPECT_TRUE(QFile::exists(notOurs));
}
