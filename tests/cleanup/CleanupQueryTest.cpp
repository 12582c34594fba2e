#include "cleanup/CleanupSearch.h"
#include "platform/metadata/Item.h"
#include "platform/metadata/ItemView.h"
#include "platform/metadata/Query.h"

#include <gtest/gtest.h>

using namespace ovra;

namespace {

const QDateTime kNow(QDate(2024, 6, 1), QTime(12, 0));

double daysAgo(int days)
{
    return double(kNow.addDays(-days).toSecsSinceEpoch());
}

// A file as the index holds it: its type from its name, and its dates.
md::Item file(const QString& name, int changedDaysAgo, std::optional<int> usedDaysAgo = {})
{
    md::Item item;
    item.path = QStringLiteral("/home/ann/Downloads/") + name;
    item.fsName = name;
    item.uniformType = UniformType::forFileName(name);
    item.contentType = item.uniformType.identifier();
    item.contentTypeTree = item.uniformType.tree();
    item.fsSize = 1000;
    item.contentChangeDate = daysAgo(changedDaysAgo);
    if (usedDaysAgo) item.lastUsedDate = daysAgo(*usedDaysAgo);
    return item;
}

bool suggests(CleanupKind kind, const md::Item& item)
{
    const md::Query query = md::Query::parse(CleanupSearch::queryString(kind), kNow);
    EXPECT_TRUE(query.isValid()) << rawValue(kind).toStdString();
    return query.matches(md::ItemView(item));
}

} // namespace

TEST(CleanupQuery, InstallersOlderThanAWeek)
{
    for (const char* name : {"setup.deb", "tool.AppImage", "installer.run"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(suggests(CleanupKind::installers, file(QString::fromLatin1(name), 8)));
        EXPECT_FALSE(suggests(CleanupKind::installers, file(QString::fromLatin1(name), 6)));
    }
    EXPECT_FALSE(suggests(CleanupKind::installers, file(QStringLiteral("report.pdf"), 400)));
    EXPECT_FALSE(suggests(CleanupKind::installers, file(QStringLiteral("photos.zip"), 400)));
    // The forgotten downloads list their folder instead of asking the index.
    EXPECT_TRUE(CleanupSearch::queryString(CleanupKind::oldDownloads).isEmpty());
}

TEST(CleanupQuery, ScreenshotsOlderThanAMonth)
{
    md::Item shot = file(QStringLiteral("Screenshot.png"), 31);
    EXPECT_FALSE(suggests(CleanupKind::oldScreenshots, shot)); // a picture, not a capture
    shot.isScreenCapture = true;
    EXPECT_TRUE(suggests(CleanupKind::oldScreenshots, shot));
    shot.contentChangeDate = daysAgo(29);
    EXPECT_FALSE(suggests(CleanupKind::oldScreenshots, shot));
}

TEST(CleanupQuery, BigVideosNeitherChangedNorWatchedForHalfAYear)
{
    md::Item film = file(QStringLiteral("Wedding.mp4"), 200);
    film.fsSize = 300'000'000;
    EXPECT_TRUE(suggests(CleanupKind::bigOldVideos, film)); // never watched
    film.lastUsedDate = daysAgo(190);
    EXPECT_TRUE(suggests(CleanupKind::bigOldVideos, film));
    film.lastUsedDate = daysAgo(10);
    EXPECT_FALSE(suggests(CleanupKind::bigOldVideos, film)); // watched lately

    md::Item small = file(QStringLiteral("Clip.mp4"), 200);
    small.fsSize = 150'000'000;
    EXPECT_FALSE(suggests(CleanupKind::bigOldVideos, small));
    md::Item fresh = file(QStringLiteral("Trip.mp4"), 20);
    fresh.fsSize = 300'000'000;
    EXPECT_FALSE(suggests(CleanupKind::bigOldVideos, fresh));
    md::Item song = file(QStringLiteral("Album.flac"), 400);
    song.fsSize = 300'000'000;
    EXPECT_FALSE(suggests(CleanupKind::bigOldVideos, song));
}

TEST(CleanupQuery, AppsNotOpenedForHalfAYear)
{
    EXPECT_TRUE(suggests(CleanupKind::unusedApps, file(QStringLiteral("Tool.AppImage"), 10)));
    EXPECT_TRUE(suggests(CleanupKind::unusedApps, file(QStringLiteral("Tool.AppImage"), 10, 200)));
    EXPECT_FALSE(suggests(CleanupKind::unusedApps, file(QStringLiteral("Tool.AppImage"), 400, 3)));
    EXPECT_TRUE(suggests(CleanupKind::unusedApps, file(QStringLiteral("org.ex.App.desktop"), 10)));
    EXPECT_FALSE(suggests(CleanupKind::unusedApps, file(QStringLiteral("tool.sh"), 400)));
}
