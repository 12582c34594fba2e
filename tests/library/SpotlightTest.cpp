#include "library/Spotlight.h"
#include "platform/UserFile.h"
#include "platform/metadata/MetadataIndex.h"
#include "support/QtApp.h"
#include "support/TestHome.h"

#include <gtest/gtest.h>

using namespace ovra;
using ovra::test::TestHome;

namespace {

QStringList names(const SpotlightResult& r)
{
    QStringList out;
    for (const FileItem& f : r.items)
        out << f.name;
    return out;
}

} // namespace

TEST(Spotlight, ListsTheFirstLimitAcceptedButCountsEveryOne)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    for (int i = 0; i < 10; ++i)
        home.writeFile(QStringLiteral("Files/f%1.txt").arg(i), QByteArray(100 + i, 'x'), 1.6e9 + i);
    home.writeFile("Files/skip.txt", QByteArray(1000, 'x'), 1.7e9);
    md::MetadataIndex index;
    const auto accept = [](const FileItem& f) { return f.name != QStringLiteral("skip.txt"); };
    const SpotlightResult r =
        Spotlight::runBlocking(index, "kMDItemFSName == '*.txt'", {home.path("Files")},
                               "kMDItemFSContentChangeDate", 3, accept);
    EXPECT_EQ(names(r), (QStringList{"f9.txt", "f8.txt", "f7.txt"}));
    EXPECT_EQ(r.totalCount, 10);
    EXPECT_EQ(r.totalSize, 1045);
}

TEST(Spotlight, ATestOfTheCategoryKeepsWhatTheSameTestOfWholeItemsKeeps)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    for (const char* name : {"a.png", "b.mp3", "c.pdf", "d.txt", "e.zip", "f.py", "g.mp4",
                             "Sub/h.txt", "Tool.app/Contents/Info.plist", "noext"})
        home.writeFile(QStringLiteral("Files/") + QString::fromUtf8(name), "x");
    md::MetadataIndex index;
    for (FileCategory category : kAllFileCategories) {
        const auto byCategory =
            Spotlight::Accept::byCategory([category](FileCategory c) { return c == category; });
        const auto byItem = [category](const FileItem& f) { return f.category == category; };
        const SpotlightResult light = Spotlight::runBlocking(
            index, "kMDItemFSName == '*'", {home.path("Files")}, "kMDItemFSName", 100, byCategory);
        const SpotlightResult full = Spotlight::runBlocking(
            index, "kMDItemFSName == '*'", {home.path("Files")}, "kMDItemFSName", 100, byItem);
        EXPECT_EQ(names(light), names(full)) << rawValue(category).toStdString();
        EXPECT_EQ(light.totalCount, full.totalCount);
        EXPECT_EQ(light.totalSize, full.totalSize);
    }
}

TEST(Spotlight, NoiseIsSkippedButBundlesThemselvesAreKept)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    home.writeFile("Pictures/Photos.photoslibrary/originals/a.jpg", "x");
    home.writeFile("Pictures/.thumbs/b.jpg", "x");
    home.writeFile("Pictures/c.jpg", "x");
    md::MetadataIndex index;
    const SpotlightResult r = Spotlight::runBlocking(
        index, "kMDItemFSName == '*'", {home.path("Pictures")}, "kMDItemFSName", 100, {});
    QStringList found = names(r);
    found.sort();
    EXPECT_EQ(found, (QStringList{"Photos.photoslibrary", "c.jpg"}));
    EXPECT_EQ(r.totalCount, 2);

    EXPECT_FALSE(Spotlight::isNoise(home.path("Pictures/Photos.photoslibrary")));
    EXPECT_TRUE(Spotlight::isNoise(home.path("Pictures/Photos.photoslibrary/originals/a.jpg")));
    EXPECT_TRUE(Spotlight::isNoise(home.path("Code/app/node_modules/x/index.js")));
    EXPECT_TRUE(Spotlight::isNoise(home.path(".config/x.txt")));
    EXPECT_FALSE(Spotlight::isNoise(home.path("Applications/Tool.app")));
    EXPECT_TRUE(Spotlight::isNoise(home.path("Applications/Tool.app/Contents/Info.plist")));
}

TEST(Spotlight, InvalidQueriesAndCancelledRunsGiveTheEmptyResult)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::ensureApp();
    TestHome home;
    home.writeFile("Files/a.txt", "x");
    md::MetadataIndex index;
    QFuture<SpotlightResult> invalid = Spotlight::run(
        index, "kMDItemFSName == 'a.txt", {home.path("Files")}, "kMDItemFSName", 10, {});
    ASSERT_TRUE(invalid.isFinished());
    EXPECT_TRUE(invalid.result().isEmpty());
    EXPECT_EQ(index.stats().files, 0u) << "an invalid query walks nothing";

    const SpotlightResult cancelled =
        Spotlight::runBlocking(index, "kMDItemFSName == '*'", {home.path("Files")}, "kMDItemFSName",
                               10, {}, [] { return true; });
    EXPECT_TRUE(cancelled.isEmpty());

    QFuture<SpotlightResult> none = Spotlight::run(index, "kMDItemFSSize > 1000000",
                                                   {home.path("Files")}, "kMDItemFSSize", 10, {});
    ASSERT_TRUE(test::waitFor(none));
    EXPECT_TRUE(none.result().isEmpty());
}
