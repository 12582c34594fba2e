#include "library/ListOptions.h"
#include "ListFixtures.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QDate>
#include <QTime>

#include <gtest/gtest.h>

#include <sys/xattr.h>

using namespace ovra;

// The list filters and the sort order are plain functions of a list and a
// value of options: no state object, no window.

namespace {

using test::file;
using test::folder;
using test::names;

class ListOptionsTest : public ::testing::Test {
protected:
    test::TestHome home;
    const QDateTime now = QDateTime(QDate(2026, 3, 14), QTime(15, 9, 26), Qt::UTC);
};

} // namespace

// Filters

TEST_F(ListOptionsTest, KindAndSizeFilters)
{
    ListOptions options;
    options.now = now;
    const QList<FileItem> items{folder(QStringLiteral("f"), 5'000'000'000),
                                file(QStringLiteral("small"), 999'999),
                                file(QStringLiteral("exact"), 1'000'000),
                                file(QStringLiteral("pic"), 5'000'000, 0, FileCategory::images)};
    EXPECT_EQ(names(applyFilters(items, options, {})), names(items));

    options.kindFilter = FileCategory::folders;
    EXPECT_EQ(names(applyFilters(items, options, {})), QStringLiteral("f"));
    // However large a folder is, a size filter leaves none in.
    options.sizeFilter = SizeFilter::mb1;
    EXPECT_EQ(names(applyFilters(items, options, {})), QString());

    options.kindFilter = std::nullopt;
    EXPECT_EQ(names(applyFilters(items, options, {})), QStringLiteral("exact pic"));
    options.sizeFilter = SizeFilter::gb1;
    EXPECT_EQ(names(applyFilters({file(QStringLiteral("iso"), 1'000'000'000),
                                  file(QStringLiteral("big"), 999'999'999)},
                                 options, {})),
              QStringLiteral("iso"));
}

TEST_F(ListOptionsTest, DateFilterKeepsAFileModifiedExactlyAtTheCutoff)
{
    ListOptions options;
    options.now = now;
    const double weekAgo = now.toMSecsSinceEpoch() / 1000.0 - 604'800;
    const QList<FileItem> items{file(QStringLiteral("at"), 0, weekAgo),
                                file(QStringLiteral("before"), 0, weekAgo - 0.001),
                                file(QStringLiteral("unknown"), 0, kDistantPast)};
    options.dateFilter = DateFilter::week;
    EXPECT_EQ(names(applyFilters(items, options, {})), QStringLiteral("at"));
    options.dateFilter = DateFilter::year;
    EXPECT_EQ(names(applyFilters(items, options, {})), QStringLiteral("at before"));

    const double midnight = now.toLocalTime().date().startOfDay().toMSecsSinceEpoch() / 1000.0;
    options.dateFilter = DateFilter::today;
    EXPECT_EQ(names(applyFilters({file(QStringLiteral("midnight"), 0, midnight),
                                  file(QStringLiteral("late"), 0, midnight - 1)},
                                 options, {})),
              QStringLiteral("midnight"));
}

TEST_F(ListOptionsTest, SourceFilterKeepsFilesFromThatSourceOnly)
{
    // The query reads download origins on this thread, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    FileItem site = file(QStringLiteral("report.pdf"), 1);
    site.path = home.writeFile(QStringLiteral("Downloads/report.pdf"), "x");
    FileItem plain = file(QStringLiteral("notes.txt"), 1);
    plain.path = home.writeFile(QStringLiteral("Downloads/notes.txt"), "x");
    FileItem downloads = folder(QStringLiteral("Downloads"));
    downloads.path = home.path(QStringLiteral("Downloads"));
    const QByteArray origin("https://files.example.com/report.pdf");
    if (::setxattr(site.path.toUtf8().constData(), "user.xdg.origin.url", origin.constData(),
                   origin.size(), 0) != 0)
        GTEST_SKIP() << "no user extended attributes on this file system";

    ListOptions options;
    options.now = now;
    options.sourceFilter = QStringLiteral("example.com");
    const SourceLookup lookup = downloadSourceLookup();
    EXPECT_EQ(names(applyFilters({downloads, site, plain}, options, lookup)),
              QStringLiteral("report.pdf"));
    options.sourceFilter = QStringLiteral("Example.com");
    EXPECT_EQ(names(applyFilters({downloads, site, plain}, options, lookup)), QString());
}

// Sorting

TEST_F(ListOptionsTest, NamesSortByDigitValueAndKindsKeepNamesAToZ)
{
    ListOptions options;
    options.now = now;
    const QList<FileItem> scans{file(QStringLiteral("Scan 10")), file(QStringLiteral("scan 2")),
                                file(QStringLiteral("Banana"))};
    options.sortKey = SortKey::name;
    options.ascending = true;
    EXPECT_EQ(names(sortItems(scans, options, false)), QStringLiteral("Banana scan 2 Scan 10"));
    options.ascending = false;
    EXPECT_EQ(names(sortItems(scans, options, false)), QStringLiteral("Scan 10 scan 2 Banana"));

    const QList<FileItem> kinds{file(QStringLiteral("b.png")), file(QStringLiteral("z.txt")),
                                file(QStringLiteral("a.png")), file(QStringLiteral("c.txt"))};
    options.sortKey = SortKey::kind;
    options.ascending = true;
    EXPECT_EQ(names(sortItems(kinds, options, false)), QStringLiteral("a.png b.png c.txt z.txt"));
    options.ascending = false;
    EXPECT_EQ(names(sortItems(kinds, options, false)), QStringLiteral("c.txt z.txt a.png b.png"));
}

TEST_F(ListOptionsTest, ALongListSortsByNameAsAShortOneDoes)
{
    // Long enough that the names' keys are made in several pieces at once: a
    // key paired with another item's name would put some out of order.
    constexpr int kCount = 20000;
    QList<FileItem> shuffled;
    for (int i = 0; i < kCount; ++i)
        shuffled.append(file(QStringLiteral("Item %1").arg((i * 7919) % kCount)));
    ListOptions options;
    options.now = now;
    options.sortKey = SortKey::name;
    for (bool ascending : {true, false}) {
        options.ascending = ascending;
        const QList<FileItem> sorted = sortItems(shuffled, options, false);
        ASSERT_EQ(sorted.size(), kCount);
        int wrong = 0;
        for (int i = 0; i < kCount; ++i) {
            const int expected = ascending ? i : kCount - 1 - i;
            wrong += sorted[i].name != QStringLiteral("Item %1").arg(expected);
        }
        EXPECT_EQ(wrong, 0) << (ascending ? "ascending" : "descending");
    }
}

TEST_F(ListOptionsTest, KindsCompareByComposedScalarValues)
{
    ListOptions options;
    options.now = now;
    options.sortKey = SortKey::kind;
    options.ascending = true;
    // "É file" composed and decomposed are one kind, so the names decide.
    EXPECT_EQ(names(sortItems({file(QStringLiteral("b.e\u0301")), file(QStringLiteral("a.\u00E9"))},
                              options, false)),
              QStringLiteral("a.\u00E9 b.e\u0301"));
    // U+FF21 comes before U+1D400 by scalar value, though not by UTF-16 units.
    EXPECT_EQ(
        names(sortItems({file(QStringLiteral("a.\U0001D400")), file(QStringLiteral("b.\uFF21"))},
                        options, false)),
        QStringLiteral("b.\uFF21 a.\U0001D400"));
}

TEST_F(ListOptionsTest, EqualKeysKeepTheGivenOrderInBothDirections)
{
    ListOptions options;
    options.now = now;
    QList<FileItem> many; // long enough for an unstable sort to show
    for (int i = 0; i < 64; ++i)
        many.append(file(QString::number(i), i % 3, i % 5));
    for (SortKey key : {SortKey::size, SortKey::date}) {
        for (bool ascending : {true, false}) {
            options.sortKey = key;
            options.ascending = ascending;
            const QList<FileItem> sorted = sortItems(many, options, false);
            for (qsizetype i = 1; i < sorted.size(); ++i) {
                const FileItem &a = sorted[i - 1], &b = sorted[i];
                const double keyA = key == SortKey::size ? a.size : a.modified;
                const double keyB = key == SortKey::size ? b.size : b.modified;
                EXPECT_TRUE(ascending ? keyA <= keyB : keyA >= keyB);
                if (keyA == keyB) {
                    EXPECT_LT(a.name.toInt(), b.name.toInt());
                }
            }
        }
    }
    options.sortKey = SortKey::name; // letter case aside, these are one name
    options.ascending = true;
    EXPECT_EQ(names(sortItems({file(QStringLiteral("Read me")), file(QStringLiteral("read me"))},
                              options, false)),
              QStringLiteral("Read me read me"));
}

TEST_F(ListOptionsTest, FoldersFirstKeepsEachPartInOrder)
{
    ListOptions options;
    options.now = now;
    const QList<FileItem> items{file(QStringLiteral("x"), 3), folder(QStringLiteral("F1"), 1),
                                file(QStringLiteral("y"), 9), folder(QStringLiteral("F2"), 2)};
    options.sortKey = SortKey::size;
    options.ascending = false;
    EXPECT_EQ(names(sortItems(items, options, true)), QStringLiteral("F2 F1 y x"));
    EXPECT_EQ(names(sortItems(items, options, false)), QStringLiteral("y x F2 F1"));
}
