#include "CleanupFixtures.h"
#include "platform/UserFile.h"

#include "cleanup/CleanupSearch.h"
#include "library/LibraryStore.h"
#include "platform/metadata/MetadataIndex.h"
#include "support/FixtureFiles.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace ovra;
using namespace ovra::test;

namespace {

class CleanupSearchTest : public ::testing::Test {
protected:
    SpotlightResult search(CleanupKind kind)
    {
        md::MetadataIndex index;
        return CleanupSearch::run(index, kind, LibraryStore::defaultScopes());
    }

    TestHome home;
    // The search blocks on the files: called here as a pool thread would call it.
    UserFile::AllowOnThisThread allow;
};

QString desktopEntry(const QString& name, const QString& exec, const QString& type = "Application")
{
    return QStringLiteral("[Desktop Entry]\nType=%1\nName=%2\nExec=%3 %U\n").arg(type, name, exec);
}

} // namespace

TEST_F(CleanupSearchTest, OldInstallersAreTheLinuxOnesOlderThanAWeek)
{
    const double old = daysAgo(10);
    for (const char* name :
         {"Downloads/debian.iso", "Downloads/raspios.img", "Downloads/tool.deb",
          "Downloads/tool.rpm", "Documents/Editor.AppImage", "Downloads/app.flatpakref",
          "Downloads/driver.run", "Downloads/UPPER.ISO"})
        writeSized(home, name, 1000, old);
    writeSized(home, "Downloads/fresh.iso", 1000, daysAgo(2));
    writeSized(home, "Downloads/archive.zip", 1000, old);
    home.makeFolder("Downloads/folder.deb");
    TestHome::setTimes(home.path("Downloads/folder.deb"), old, old);

    const SpotlightResult found = search(CleanupKind::installers);
    QStringList names = namesOf(found.items);
    names.sort();
    EXPECT_EQ(names, (QStringList{"Editor.AppImage", "UPPER.ISO", "app.flatpakref", "debian.iso",
                                  "driver.run", "raspios.img", "tool.deb", "tool.rpm"}));
    EXPECT_EQ(found.totalCount, 8);
    EXPECT_EQ(found.totalSize, 8000);
}

TEST_F(CleanupSearchTest, OldScreenshotsAreThoseOlderThanThirtyDays)
{
    const QByteArray png = pngBytes(8, 8);
    writeAged(home, "Pictures/Screenshot from 2024-01-01 10-00-00.png", png, daysAgo(40));
    writeAged(home, "Pictures/Screenshot from 2024-06-01 10-00-00.png", png, daysAgo(10));
    writeAged(home, "Pictures/holiday.png", png, daysAgo(40));

    const SpotlightResult found = search(CleanupKind::oldScreenshots);
    EXPECT_EQ(namesOf(found.items), QStringList{"Screenshot from 2024-01-01 10-00-00.png"});
}

TEST_F(CleanupSearchTest, BigOldVideosAreOverTwoHundredMegabytesAndUnopenedForHalfAYear)
{
    const double old = daysAgo(200);
    writeSized(home, "Videos/never-opened.mp4", 200000001, old);
    writeSized(home, "Videos/exactly-the-limit.mp4", 200000000, old);
    writeSized(home, "Videos/recording.ts", 900000000, old);
    const QString opened = writeSized(home, "Videos/opened-lately.mp4", 300000000, old);
    TestHome::setTimes(opened, daysAgo(20), std::nullopt);
    const QString listedAsUsed = writeSized(home, "Videos/in-recent-list.mp4", 300000000, old);
    writeSized(home, "Videos/changed-lately.mp4", 300000000, daysAgo(20));
    writeRecentlyUsed(home, {{listedAsUsed, daysAgo(5)}});

    const SpotlightResult found = search(CleanupKind::bigOldVideos);
    EXPECT_EQ(namesOf(found.items), QStringList{"never-opened.mp4"});
}

TEST_F(CleanupSearchTest, UnusedAppsComeOnlyFromTheUsersOwnFoldersMeasuredOnDisk)
{
    const double old = daysAgo(300);
    const QString tool = writeSized(home, "bin/big-tool", 50000, old);
    writeAged(home, ".local/share/applications/org.example.Big.desktop",
              desktopEntry("Big", tool).toUtf8(), old);
    writeAged(home, ".local/share/applications/org.example.Missing.desktop",
              desktopEntry("Missing", "/nowhere/missing").toUtf8(), old);
    writeAged(home, ".local/share/applications/org.example.Link.desktop",
              desktopEntry("Link", tool, "Link").toUtf8(), old);
    writeSized(home, "Applications/Small.AppImage", 3000, old);
    const QString used = writeSized(home, "Applications/Used.AppImage", 9000, old);
    TestHome::setTimes(used, daysAgo(3), std::nullopt);
    // An app lying in a searched folder is no installed app, and the system's
    // own entries cannot be moved to the Trash.
    writeSized(home, "Documents/Loose.AppImage", 4000, old);
    const QString system = QDir(home.root() + "/../share/applications").absolutePath();
    QDir().mkpath(system);
    QFile entry(system + "/org.example.System.desktop");
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write(desktopEntry("System", tool).toUtf8());
    entry.close();

    const SpotlightResult found = search(CleanupKind::unusedApps);
    // Largest on disk first: the entry counts its program's size.
    EXPECT_EQ(namesOf(found.items), (QStringList{"Big", "Small.AppImage", "Missing"}));
    ASSERT_EQ(found.items.size(), 3);
    EXPECT_EQ(found.items[0].size, 50000);
    EXPECT_EQ(found.items[1].size, 3000);
    EXPECT_EQ(found.items[2].size, QFileInfo(found.items[2].path).size());
    EXPECT_EQ(found.totalCount, 3);
    EXPECT_EQ(found.totalSize, 50000 + 3000 + found.items[2].size);
}

TEST_F(CleanupSearchTest, AnAppInAFolderTheUserCannotChangeIsNeverSuggested)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    if (::geteuid() == 0) GTEST_SKIP() << "root may change any folder";
    writeSized(home, "Applications/Locked.AppImage", 3000, daysAgo(300));
    QFile::setPermissions(home.path("Applications"), QFile::ReadOwner | QFile::ExeOwner);
    const SpotlightResult found = search(CleanupKind::unusedApps);
    QFile::setPermissions(home.path("Applications"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(found.items.isEmpty());
}

TEST_F(CleanupSearchTest, ForgottenDownloadsAreLooseFilesNeitherChangedNorUsedForNinetyDays)
{
    const double old = daysAgo(100);
    writeSized(home, "Downloads/forgotten-small.pdf", 100, old);
    writeSized(home, "Downloads/forgotten-big.pdf", 5000, old);
    const QString opened = writeSized(home, "Downloads/opened.pdf", 100, old);
    writeRecentlyUsed(home, {{opened, daysAgo(10)}});
    const QString touched = writeSized(home, "Downloads/read-lately.pdf", 100, old);
    TestHome::setTimes(touched, daysAgo(10), std::nullopt);
    writeSized(home, "Downloads/recent.pdf", 100, daysAgo(80));
    writeSized(home, "Downloads/.hidden.pdf", 100, old);
    writeSized(home, "Downloads/inner/deep.pdf", 100, old);
    TestHome::setTimes(home.path("Downloads/inner"), old, old);
    writeSized(home, "Downloads/Tool.AppImage", 100, old);

    const SpotlightResult found = search(CleanupKind::oldDownloads);
    EXPECT_EQ(namesOf(found.items), (QStringList{"forgotten-big.pdf", "forgotten-small.pdf"}));
    EXPECT_EQ(found.totalCount, 2);
    EXPECT_EQ(found.totalSize, 5100);
}

TEST_F(CleanupSearchTest, WithoutADownloadsFolderNothingIsForgotten)
{
    const SpotlightResult found = search(CleanupKind::oldDownloads);
    EXPECT_TRUE(found.isEmpty());
}

TEST(CleanupAccept, AFileOfUnknownAgeIsNeverSuggestedAsOld)
{
    FileItem item = fileItem("/h/Downloads/a.iso", 10, FileCategory::archives);
    EXPECT_TRUE(CleanupSearch::acceptCleanupItem(item, CleanupKind::installers));
    item.modified = kDistantPast;
    for (CleanupKind kind : {CleanupKind::installers, CleanupKind::oldScreenshots,
                             CleanupKind::bigOldVideos, CleanupKind::oldDownloads})
        EXPECT_FALSE(CleanupSearch::acceptCleanupItem(item, kind));
    item.category = FileCategory::folders;
    item.modified = 1.7e9;
    EXPECT_FALSE(CleanupSearch::acceptCleanupItem(item, CleanupKind::installers));
}
