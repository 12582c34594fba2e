#include "duplicates/DuplicateGroup.h"
#include "duplicates/DuplicateScanner.h"

#include <gtest/gtest.h>

namespace ovra {

namespace {

const QString kHome = QStringLiteral("/home/ann");

FileItem file(const QString& path, double created, std::optional<double> birth = std::nullopt)
{
    FileItem item;
    item.path = path;
    item.name = path.section(u'/', -1);
    item.modified = created;
    item.created = birth;
    item.size = 100;
    return item;
}

FileItem photo(const QString& path, int w, int h, qint64 size)
{
    FileItem item = file(path, 0);
    item.pixelWidth = w;
    item.pixelHeight = h;
    item.size = size;
    return item;
}

} // namespace

TEST(KeeperRules, OutsideDownloadsBeatsAgeAndNames)
{
    // The older copy lies below Downloads, even in a subfolder of it.
    EXPECT_EQ(DuplicateScanner::pickKeeper({file(kHome + "/Downloads/a/x.pdf", 10),
                                            file(kHome + "/Pictures/x copy.pdf", 20)},
                                           kHome),
              kHome + "/Pictures/x copy.pdf");
    // A folder whose name merely starts like Downloads is not it.
    EXPECT_EQ(
        DuplicateScanner::pickKeeper(
            {file(kHome + "/Pictures/x.pdf", 20), file(kHome + "/Downloads2/x.pdf", 10)}, kHome),
        kHome + "/Downloads2/x.pdf");
}

TEST(KeeperRules, NamesThatLookLikeCopies)
{
    for (const char* name : {"report copy.pdf", "photo (1).jpg", "photo-2.jpg", "photo_2.jpg",
                             "IMG_2.JPG", "a (12) b.txt"})
        EXPECT_TRUE(DuplicateScanner::looksLikeCopy(QString::fromUtf8(name))) << name;
    for (const char* name : {"photo 12.jpg", "report.pdf", "copyright.txt", "v2.jpg"})
        EXPECT_FALSE(DuplicateScanner::looksLikeCopy(QString::fromUtf8(name))) << name;
    EXPECT_EQ(
        DuplicateScanner::pickKeeper(
            {file(kHome + "/D/report copy.pdf", 10), file(kHome + "/D/report.pdf", 20)}, kHome),
        kHome + "/D/report.pdf");
}

TEST(KeeperRules, OldestThenFirst)
{
    // The creation date counts where known, else the modification date.
    EXPECT_EQ(DuplicateScanner::pickKeeper(
                  {file(kHome + "/a.txt", 50, 40), file(kHome + "/b.txt", 30)}, kHome),
              kHome + "/b.txt");
    EXPECT_EQ(DuplicateScanner::pickKeeper(
                  {file(kHome + "/a.txt", 50, 20), file(kHome + "/b.txt", 30)}, kHome),
              kHome + "/a.txt");
    EXPECT_EQ(DuplicateScanner::pickKeeper({file(kHome + "/a.txt", 30), file(kHome + "/b.txt", 30)},
                                           kHome),
              kHome + "/a.txt");
}

TEST(KeeperRules, BestPhotoByPixelsThenSize)
{
    EXPECT_EQ(DuplicateScanner::pickBestPhoto(
                  {photo("/p/a.jpg", 4000, 3000, 10), photo("/p/b.jpg", 3000, 4000, 20)}),
              "/p/b.jpg");
    EXPECT_EQ(DuplicateScanner::pickBestPhoto(
                  {photo("/p/a.jpg", 4000, 3000, 20), photo("/p/b.jpg", 3000, 4000, 20)}),
              "/p/a.jpg");
    FileItem unknown = photo("/p/u.jpg", 0, 0, 999);
    unknown.pixelHeight.reset();
    EXPECT_EQ(DuplicateScanner::pickBestPhoto({unknown, photo("/p/b.jpg", 10, 10, 1)}), "/p/b.jpg");
}

// The keep choice accepts only a file of the group, and a group never ends up
// with every file an extra.
TEST(KeeperRules, KeepIsAlwaysAMember)
{
    DuplicateGroup group;
    group.files = {file("/a", 1), file("/b", 1), file("/c", 1)};
    group.stamps = {FileStamp{}, FileStamp{}, FileStamp{}};
    group.keep = "/b";
    group.setKeep("/elsewhere");
    EXPECT_EQ(group.keep, "/a");
    EXPECT_EQ(group.extras().size(), 2);

    group.keep = "/nowhere"; // as a stale value could say
    EXPECT_EQ(group.keeper().path, "/a");
    EXPECT_EQ(group.extras().size(), 2);

    group.setKeep("/c");
    group.removeFiles({"/c"});
    EXPECT_EQ(group.keep, "/a");
    EXPECT_EQ(group.files.size(), group.stamps.size());
    EXPECT_EQ(group.reclaimable(), 100);
}

} // namespace ovra
