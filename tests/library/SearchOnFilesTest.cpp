// Typed searches run end to end: the text is parsed, its query string runs over
// a home folder of real files, and the right files come back.
#include "library/LibraryStore.h"
#include "platform/metadata/MetadataIndex.h"
#include "support/FixtureFiles.h"
#include "support/QtApp.h"
#include "support/TestHome.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace ovra;
using ovra::test::TestHome;

namespace {

class SearchOnFilesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApp();
        const double now = double(QDateTime::currentSecsSinceEpoch());
        const double day = 86400;
        // "Last week" is the previous calendar week: noon of this weekday a week ago
        // falls in it whatever the day, the first day of a week or a clock change.
        const QDateTime weekAgo(QDate::currentDate().addDays(-7), QTime(12, 0));
        home.writeFile("Documents/Invoice-2024.pdf", "%PDF-1.4\n",
                       double(weekAgo.toSecsSinceEpoch()));
        home.writeFile("Documents/old-contract.pdf", "%PDF-1.4\n", now - 40 * day);
        home.writeFile("Documents/notes.txt", "recent notes", now - 2 * day);
        home.writeFile("Pictures/Screenshot from 2025-03-01 10-22-33.png", test::pngBytes(40, 30),
                       now - day);
        test::ExifSpec fuji;
        fuji.make = "FUJIFILM";
        fuji.model = "X-T4";
        home.writeFile("Pictures/DSCF0001.jpg", test::jpegBytes(64, 48, fuji), now - 5 * day);
        home.writeFile("Documents/DSCF0002.jpg", test::jpegBytes(64, 48, fuji), now - 5 * day);
        const QString big = home.writeFile("Movies/holiday.mp4", {}, now - 10 * day);
        ::truncate(big.toUtf8().constData(), 300'000'000);
        TestHome::setTimes(big, std::nullopt, now - 10 * day);
        home.writeFile("Movies/clip.mp4", "tiny", now - 10 * day);
        qputenv("XDG_VIDEOS_DIR", home.path("Movies").toUtf8());
        index = std::make_unique<md::MetadataIndex>();
        store = std::make_unique<LibraryStore>(*index);
    }

    QStringList search(const QString& text)
    {
        EXPECT_TRUE(test::waitFor(store->search(text)));
        QStringList names;
        if (store->searchResult())
            for (const FileItem& f : store->searchResult()->items)
                names << f.name;
        names.sort();
        return names;
    }

    TestHome home;
    std::unique_ptr<md::MetadataIndex> index;
    std::unique_ptr<LibraryStore> store;
};

} // namespace

TEST_F(SearchOnFilesTest, KindsDatesSizesAndWords)
{
    EXPECT_EQ(search("pdfs from last week"), QStringList{"Invoice-2024.pdf"});
    EXPECT_EQ(search("pdf"), (QStringList{"Invoice-2024.pdf", "old-contract.pdf"}));
    EXPECT_EQ(search("invoice"), QStringList{"Invoice-2024.pdf"});
    EXPECT_EQ(search("big videos"), QStringList{"holiday.mp4"});
    EXPECT_EQ(search("screenshots"), QStringList{"Screenshot from 2025-03-01 10-22-33.png"});
    EXPECT_TRUE(search("\"no such phrase anywhere\"").isEmpty());
}

TEST_F(SearchOnFilesTest, CamerasAndFolders)
{
    EXPECT_EQ(search("photos shot on fuji"), (QStringList{"DSCF0001.jpg", "DSCF0002.jpg"}));
    EXPECT_EQ(search("photos shot on fuji in pictures"), QStringList{"DSCF0001.jpg"});
}

TEST_F(SearchOnFilesTest, DownloadSources)
{
    const QString file = home.writeFile("Downloads/release.tar.gz", "x");
    const QByteArray url = "https://github.com/example/project/releases/download/v1/release.tar.gz";
    if (setxattr(file.toUtf8().constData(), "user.xdg.origin.url", url.constData(),
                 size_t(url.size()), 0) != 0)
        GTEST_SKIP() << "no user extended attributes on this file system";
    home.writeFile("Downloads/other.tar.gz", "x");
    // The store fixes its scopes when it is made: make it again now Downloads exists.
    store = std::make_unique<LibraryStore>(*index);
    EXPECT_EQ(search("from github"), QStringList{"release.tar.gz"});
}
