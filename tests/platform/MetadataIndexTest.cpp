#include "platform/metadata/MetadataIndex.h"
#include "platform/FileTime.h"
#include "platform/UserFile.h"
#include "platform/metadata/IndexTable.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>

#include <linux/capability.h>
#include <unistd.h>

using namespace ovra;
using namespace ovra::md;
using ovra::test::TestHome;

namespace {

using ovra::test::pngBytes;

QStringList names(const MetadataIndex::Results& r)
{
    QStringList out;
    for (std::size_t i = 0; i < r.count(); ++i)
        out << r.path(i).section(u'/', -1);
    return out;
}

class MetadataIndexTest : public ::testing::Test {
protected:
    MetadataIndex::Results run(MetadataIndex& index, const QString& query,
                               const QStringList& scopes,
                               std::optional<Attr> sort = Attr::FSContentChangeDate,
                               std::size_t max = 300000)
    {
        const Query q = Query::parse(query);
        EXPECT_TRUE(q.isValid()) << query.toStdString() << ": " << q.errorString().toStdString();
        return index.query(q, scopes, sort, max);
    }

    TestHome home;
};

} // namespace

TEST_F(MetadataIndexTest, IndexesVisibleFilesAndSkipsHiddenLinksAndBadNames)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    home.writeFile("Documents/report.pdf", "%PDF-1.4\n");
    home.writeFile("Documents/notes.txt", "hello");
    home.writeFile("Documents/.secret.txt", "hidden");
    home.writeFile("Documents/.git/config", "hidden folder");
    home.writeFile("Documents/sub/deeper/list.csv", "a,b");
    symlink(home.path("Documents/notes.txt").toUtf8().constData(),
            home.path("Documents/link.txt").toUtf8().constData());
    symlink(home.path("Documents/sub").toUtf8().constData(),
            home.path("Documents/linkdir").toUtf8().constData());
    // A name that is not UTF-8 is skipped: a mangled name could open another file.
    const QByteArray bad = home.path("Documents/").toUtf8() + QByteArray("caf\xe9.txt");
    int fd = ::open(bad.constData(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ::close(fd);

    MetadataIndex index;
    const auto r = run(index, "kMDItemFSName == '*'", {home.path("Documents")});
    QStringList found = names(r);
    found.sort();
    EXPECT_EQ(found, (QStringList{"deeper", "list.csv", "notes.txt", "report.pdf", "sub"}));
    EXPECT_EQ(index.stats().files, 3u);
    EXPECT_EQ(index.stats().folders, 2u);
}

TEST_F(MetadataIndexTest, ScopeWhosePathHoldsAHiddenPartStillWorks)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile(".local/share/files/a.txt", "x");
    MetadataIndex index;
    const auto r = run(index, "kMDItemFSName == 'a.txt'", {home.path(".local/share/files")});
    EXPECT_EQ(names(r), QStringList{"a.txt"});
}

TEST_F(MetadataIndexTest, SortsDescendingCutsAtTheMaximumAndCountsEveryMatch)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    for (int i = 0; i < 40; ++i)
        home.writeFile(QStringLiteral("Files/f%1.txt").arg(i), QByteArray(i * 10, 'x'),
                       1.6e9 + i * 100);
    MetadataIndex index;
    auto bySize = run(index, "kMDItemFSSize >= 100", {home.path("Files")}, Attr::FSSize, 5);
    EXPECT_EQ(bySize.totalMatches(), 30u);
    EXPECT_EQ(names(bySize), (QStringList{"f39.txt", "f38.txt", "f37.txt", "f36.txt", "f35.txt"}));
    // 1.6e9 is 2020-09-13T12:26:40Z: five files were written before 12:35.
    auto byDate = run(index, "kMDItemFSContentChangeDate < $time.iso(2020-09-13T12:35:00Z)",
                      {home.path("Files")});
    ASSERT_EQ(byDate.count(), 5u);
    EXPECT_EQ(byDate.path(0).section(u'/', -1), "f4.txt");
    auto byName = run(index, "kMDItemFSName == 'f1*'", {home.path("Files")}, Attr::FSName);
    EXPECT_EQ(names(byName).first(), "f19.txt");
    EXPECT_EQ(names(byName).last(), "f1.txt");
}

TEST_F(MetadataIndexTest, InvalidQueryWalksNothingAndFindsNothing)
{
    home.writeFile("Files/a.txt", "x");
    MetadataIndex index;
    const auto r =
        index.query(Query::parse(u"kMDItemFSName == 'a.txt"), {home.path("Files")}, Attr::FSName);
    EXPECT_EQ(r.count(), 0u);
    EXPECT_EQ(index.stats().files, 0u);
}

// Quitting never waits for a first walk of a large home.
TEST_F(MetadataIndexTest, AStoppedIndexWalksNothingMoreAndKeepsWhatItHas)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Documents/a.txt", "x");
    home.writeFile("Pictures/b.txt", "x");
    MetadataIndex index;
    EXPECT_EQ(names(run(index, "kMDItemFSName == '*.txt'", {home.path("Documents")})),
              QStringList{"a.txt"});
    index.stop();
    home.writeFile("Documents/c.txt", "x");
    index.refresh();
    EXPECT_EQ(names(run(index, "kMDItemFSName == '*.txt'",
                        {home.path("Documents"), home.path("Pictures")})),
              QStringList{"a.txt"});
    EXPECT_EQ(index.stats().files, 1u);
}

TEST_F(MetadataIndexTest, SubfolderScopeAndOverlappingScopes)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Documents/a.txt", "x");
    home.writeFile("Documents/Work/b.txt", "x");
    home.writeFile("Documents/Work/Deep/c.txt", "x");
    MetadataIndex index;
    index.ensureScopes({home.path("Documents")});
    QStringList inner =
        names(run(index, "kMDItemFSName == '*.txt'", {home.path("Documents/Work")}));
    inner.sort();
    EXPECT_EQ(inner, (QStringList{"b.txt", "c.txt"}));
    // Asking for a folder and one inside it lists each file once.
    const auto both = run(index, "kMDItemFSName == '*.txt'",
                          {home.path("Documents"), home.path("Documents/Work")});
    EXPECT_EQ(both.count(), 3u);
}

TEST_F(MetadataIndexTest, NoiseFoldersAreMarkedButTheBundleItselfIsNot)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Projects/web/node_modules/lib/index.js", "x");
    home.writeFile("Projects/Tool.app/Contents/Info.plist", "x");
    home.writeFile("Projects/web/main.js", "x");
    MetadataIndex index;
    const auto r = run(index, "kMDItemFSName == '*'", {home.path("Projects")});
    QStringList clean;
    for (std::size_t i = 0; i < r.count(); ++i)
        if (!r.isNoise(i)) clean << r.path(i).section(u'/', -1);
    clean.sort();
    EXPECT_EQ(clean, (QStringList{"Tool.app", "main.js", "node_modules", "web"}));
}

TEST_F(MetadataIndexTest, ReadsContentAttributesOnceAndKeepsThemOnDisk)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    home.writeFile("Pictures/wide.png", pngBytes(640, 200));
    home.writeFile("Pictures/Screenshot from 2024-03-01 10-22-33.png", pngBytes(20, 10));
    {
        MetadataIndex index;
        const auto r = run(index, "kMDItemPixelWidth >= 300", {home.path("Pictures")});
        ASSERT_EQ(names(r), QStringList{"wide.png"});
        const Item item = r.item(0);
        EXPECT_EQ(item.pixelWidth, 640);
        EXPECT_EQ(item.pixelHeight, 200);
        EXPECT_EQ(item.contentType, QStringLiteral("public.png"));
        EXPECT_TRUE(item.contentTypeTree.contains(QStringLiteral("public.image")));
        EXPECT_EQ(names(run(index, "kMDItemIsScreenCapture == 1", {home.path("Pictures")})),
                  QStringList{"Screenshot from 2024-03-01 10-22-33.png"});
        EXPECT_EQ(index.stats().contentReads, 2u);
    }
    MetadataIndex again;
    const auto r = run(again, "kMDItemPixelWidth >= 300", {home.path("Pictures")});
    EXPECT_EQ(names(r), QStringList{"wide.png"});
    EXPECT_EQ(again.stats().contentReads, 0u)
        << "the second index should read nothing from the files";
}

TEST_F(MetadataIndexTest, ScanningLeavesAccessTimesAlone)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString file = home.writeFile("Pictures/photo.png", pngBytes(50, 50), 1.7e9);
    TestHome::setTimes(file, 1.6e9, std::nullopt); // older than the write: relatime would update it
    MetadataIndex index;
    run(index, "kMDItemPixelWidth == 50", {home.path("Pictures")});
    struct stat st {};
    ASSERT_EQ(stat(file.toUtf8().constData(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1600000000);
}

TEST_F(MetadataIndexTest, LastUsedComesFromTheRecentListAndFromReadsAfterWrites)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    const QString opened = home.writeFile("Documents/opened.txt", "x", 1.7e9);
    const QString listed = home.writeFile("Documents/listed.txt", "x", 1.7e9);
    const QString untouched = home.writeFile("Documents/untouched.txt", "x", 1.7e9);
    TestHome::setTimes(opened, 1.7e9 + 3600, std::nullopt);
    TestHome::setTimes(untouched, 1.7e9, std::nullopt);
    TestHome::setTimes(listed, 1.7e9, std::nullopt);
    home.writeFile(
        ".local/share/recently-used.xbel",
        "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\">\n<bookmark href=\"file://" +
            QUrl::toPercentEncoding(listed, "/") +
            "\" added=\"2024-01-01T00:00:00Z\" "
            "modified=\"2024-01-02T00:00:00Z\" visited=\"2024-01-03T00:00:00Z\"/>\n</xbel>\n");
    MetadataIndex index;
    const auto r =
        run(index, "kMDItemLastUsedDate == *", {home.path("Documents")}, Attr::LastUsedDate);
    EXPECT_EQ(names(r), (QStringList{"listed.txt", "opened.txt"}));
    EXPECT_EQ(r.item(0).lastUsedDate,
              QDateTime::fromString("2024-01-03T00:00:00Z", Qt::ISODate).toSecsSinceEpoch());
}

TEST_F(MetadataIndexTest, RefreshSeesNewAndRemovedFilesAndReadsNothingUnchanged)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    home.writeFile("Pictures/a.png", pngBytes(400, 300));
    home.writeFile("Pictures/Old/b.png", pngBytes(400, 300));
    MetadataIndex index;
    EXPECT_EQ(run(index, "kMDItemPixelWidth == 400", {home.path("Pictures")}).count(), 2u);
    const std::size_t readsAfterBuild = index.stats().contentReads;

    index.refresh();
    EXPECT_EQ(index.stats().contentReads, readsAfterBuild);

    home.writeFile("Pictures/c.png", pngBytes(400, 300));
    QFile::remove(home.path("Pictures/Old/b.png"));
    index.refresh();
    QStringList after = names(run(index, "kMDItemPixelWidth == 400", {home.path("Pictures")}));
    after.sort();
    EXPECT_EQ(after, (QStringList{"a.png", "c.png"}));
    EXPECT_EQ(index.stats().contentReads, readsAfterBuild + 1);
}

TEST_F(MetadataIndexTest, AFileWhoseContentSaysNothingIsReadOnce)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    home.writeFile("Music/silence.mp3", "x");
    home.writeFile("Music/blank.png", "x");
    {
        MetadataIndex index;
        EXPECT_EQ(run(index, "kMDItemFSName == '*'", {home.path("Music")}).count(), 2u);
        const std::size_t readsAfterBuild = index.stats().contentReads;
        EXPECT_EQ(readsAfterBuild, 2u);
        home.writeFile("Music/new.txt", "x"); // the folder is listed again
        index.refresh();
        EXPECT_EQ(run(index, "kMDItemFSName == '*'", {home.path("Music")}).count(), 3u);
        EXPECT_EQ(index.stats().contentReads, readsAfterBuild);
    }
    MetadataIndex again;
    EXPECT_EQ(run(again, "kMDItemPixelWidth == *", {home.path("Music")}).count(), 0u);
    EXPECT_EQ(again.stats().contentReads, 0u);
}

TEST_F(MetadataIndexTest, AScopeThatAppearsLaterIsWalkedThen)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    home.writeFile("Documents/open.txt", "x");
    MetadataIndex index;
    EXPECT_EQ(run(index, "kMDItemFSName == '*'", {home.path("Missing")}).count(), 0u);
    home.writeFile("Missing/now-here.txt", "x");
    index.refresh();
    EXPECT_EQ(names(run(index, "kMDItemFSName == '*'", {home.path("Missing")})),
              QStringList{"now-here.txt"});
}

TEST_F(MetadataIndexTest, SurvivesUnreadableFolders)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    if (geteuid() == 0) GTEST_SKIP() << "root reads every folder";
    home.writeFile("Documents/Locked/secret.txt", "x");
    home.writeFile("Documents/open.txt", "x");
    chmod(home.path("Documents/Locked").toUtf8().constData(), 0);
    MetadataIndex index;
    QStringList found =
        names(run(index, "kMDItemFSName == '*'", {home.path("Documents"), home.path("Missing")}));
    found.sort();
    chmod(home.path("Documents/Locked").toUtf8().constData(), 0755);
    EXPECT_EQ(found, (QStringList{"Locked", "open.txt"}));
}

TEST_F(MetadataIndexTest, WhereFromsComeFromTheFreedesktopAttributes)
{
    // The query reads download origins on this thread, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString file = home.writeFile("Downloads/tool.deb", "x");
    const QByteArray url = "https://example.org/tool.deb";
    if (setxattr(file.toUtf8().constData(), "user.xdg.origin.url", url.constData(),
                 size_t(url.size()), 0) != 0)
        GTEST_SKIP() << "no user extended attributes on this file system";
    home.writeFile("Downloads/plain.txt", "x");
    MetadataIndex index;
    const auto r = run(index, "kMDItemWhereFroms == '*example.org*'cd", {home.path("Downloads")});
    ASSERT_EQ(names(r), QStringList{"tool.deb"});
    EXPECT_EQ(r.item(0).whereFroms, QStringList{QString::fromUtf8(url)});
}

// Every query thread reads the origins at once: each file's are read once, the
// same list answers every thread, and entries far apart (in different slot
// pages) keep their own.
TEST_F(MetadataIndexTest, OriginsAreReadOnceAndSharedAcrossThreads)
{
    const QString withOrigin = home.writeFile("Downloads/a.zip", "x");
    const QByteArray url = "https://example.org/a.zip";
    if (setxattr(withOrigin.toUtf8().constData(), "user.xdg.origin.url", url.constData(),
                 size_t(url.size()), 0) != 0)
        GTEST_SKIP() << "no user extended attributes on this file system";
    const QString other = home.writeFile("Downloads/b.zip", "x");
    const QByteArray otherUrl = "https://example.com/b.zip";
    setxattr(other.toUtf8().constData(), "user.xdg.origin.url", otherUrl.constData(),
             size_t(otherUrl.size()), 0);
    const std::string plain = home.writeFile("Downloads/plain.txt", "x").toStdString();

    constexpr std::uint32_t kFirst = 3, kFar = 70000, kPlain = 9000, kEntries = 80000;
    const std::string first = withOrigin.toStdString(), far = other.toStdString();
    OriginCache cache(kEntries);
    std::atomic<int> pathsAsked{0};
    const auto pathOf = [&](std::uint32_t entry) {
        ++pathsAsked;
        return entry == kFirst ? first : entry == kFar ? far : plain;
    };
    std::vector<const OriginCache::Origins*> seen(8 * 3);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                std::uint32_t n = 0;
                for (std::uint32_t entry : {kFirst, kFar, kPlain}) {
                    const auto* o = cache.find(entry, [&] { return pathOf(entry); });
                    if (round == 0) seen[std::size_t(t * 3) + n] = o;
                    ++n;
                }
            }
        });
    for (std::thread& thread : threads)
        thread.join();

    for (int t = 0; t < 8; ++t) {
        ASSERT_TRUE(seen[std::size_t(t * 3)]);
        EXPECT_EQ(seen[std::size_t(t * 3)], seen[0]);
        EXPECT_EQ(seen[std::size_t(t * 3) + 1], seen[1]);
        EXPECT_EQ(seen[std::size_t(t * 3) + 2], nullptr);
    }
    EXPECT_EQ(seen[0]->list, QStringList{QString::fromUtf8(url)});
    EXPECT_EQ(seen[0]->utf8, std::vector<std::string>{url.toStdString()});
    ASSERT_TRUE(seen[1]);
    EXPECT_EQ(seen[1]->list, QStringList{QString::fromUtf8(otherUrl)});
    // Racing first readers may each read a file once; later asks never do.
    EXPECT_LE(pathsAsked.load(), 3 * 8);
    const int asked = pathsAsked.load();
    EXPECT_EQ(cache.find(kFirst, [&] { return pathOf(kFirst); }), seen[0]);
    EXPECT_EQ(cache.find(kPlain, [&] { return pathOf(kPlain); }), nullptr);
    EXPECT_EQ(pathsAsked.load(), asked);
    EXPECT_EQ(cache.find(kEntries, [&] { return first; }), nullptr);
}

TEST_F(MetadataIndexTest, SingleFileLookupMatchesTheTable)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    const QString file = home.writeFile("Pictures/p.png", pngBytes(33, 44), 1.65e9 + 0.123456789);
    MetadataIndex index;
    const auto fromFs = index.itemAtPath(file);
    ASSERT_TRUE(fromFs);
    const auto r = run(index, "kMDItemFSName == 'p.png'", {home.path("Pictures")});
    ASSERT_EQ(r.count(), 1u);
    const Item fromTable = r.item(0);
    EXPECT_EQ(fromFs->contentChangeDate, fromTable.contentChangeDate);
    EXPECT_EQ(fromFs->pixelWidth, 33);
    EXPECT_EQ(fromTable.pixelHeight, 44);
    struct statx st {};
    statx(AT_FDCWD, file.toUtf8().constData(), 0, STATX_MTIME, &st);
    EXPECT_EQ(*fromTable.contentChangeDate, fileTimeSeconds(st.stx_mtime));
    EXPECT_FALSE(index.itemAtPath(home.path("Pictures/none.png")));
    home.writeFile("Pictures/.hidden.png", pngBytes(2, 2));
    EXPECT_FALSE(index.itemAtPath(home.path("Pictures/.hidden.png")));
}

TEST_F(MetadataIndexTest, RefreshWithNoFolderChangedStillSeesTheRecentList)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    const QString file = home.writeFile("Documents/plan.txt", "x", 1.7e9);
    TestHome::setTimes(file, 1.7e9, std::nullopt);
    MetadataIndex index;
    EXPECT_EQ(run(index, "kMDItemLastUsedDate == *", {home.path("Documents")}).count(), 0u);
    home.writeFile(".local/share/recently-used.xbel",
                   "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\">\n<bookmark href=\"file://" +
                       QUrl::toPercentEncoding(file, "/") +
                       "\" visited=\"2024-01-03T00:00:00Z\"/>\n</xbel>\n");
    index.refresh();
    EXPECT_EQ(names(run(index, "kMDItemLastUsedDate == *", {home.path("Documents")})),
              QStringList{"plan.txt"});
}

// A name the type database matches whole must not decide the type of every
// other file that merely shares its suffix, in whatever order the walk meets them.
TEST_F(MetadataIndexTest, WholeNameTypesDoNotSpreadToTheirSuffix)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Project/CMakeLists.txt", "project(x)");
    for (int i = 0; i < 20; ++i)
        home.writeFile(QStringLiteral("Project/notes-%1.txt").arg(i), "plain");
    MetadataIndex index;
    const auto plain =
        run(index, "kMDItemContentType == 'public.plain-text'", {home.path("Project")});
    EXPECT_EQ(plain.count(), 20u);
    const auto cmake = run(index, "kMDItemFSName == 'CMakeLists.txt'", {home.path("Project")});
    ASSERT_EQ(cmake.count(), 1u);
    EXPECT_NE(cmake.item(0).contentType, QStringLiteral("public.plain-text"));
}

// A folder has no size of its own: the 4096 bytes of its listing are not one.
TEST_F(MetadataIndexTest, FoldersCarryNoSize)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Files/a.txt", "abc");
    home.writeFile("Files/Sub/b.txt", "x");
    MetadataIndex index;
    QStringList sized = names(run(index, "kMDItemFSSize == *", {home.path("Files")}));
    sized.sort();
    EXPECT_EQ(sized, (QStringList{"a.txt", "b.txt"}));
    EXPECT_EQ(names(run(index, "kMDItemFSSize != *", {home.path("Files")})), QStringList{"Sub"});
    const auto small = run(index, "kMDItemFSSize <= 5000000", {home.path("Files")}, Attr::FSSize);
    EXPECT_EQ(small.count(), 2u);
    const auto all = run(index, "kMDItemFSName == '*'", {home.path("Files")}, Attr::FSSize);
    ASSERT_EQ(all.count(), 3u);
    std::int64_t total = 0;
    for (std::size_t i = 0; i < all.count(); ++i) {
        total += all.fileSize(i);
        EXPECT_EQ(all.item(i).fsSize.has_value(), !all.path(i).endsWith("/Sub"));
    }
    EXPECT_EQ(total, 4);
    const auto folder = index.itemAtPath(home.path("Files/Sub"));
    ASSERT_TRUE(folder);
    EXPECT_FALSE(folder->fsSize);
}

namespace {

// Files the user may read but does not own are opened without O_NOATIME (the
// kernel refuses it). A root test process stands in for such a user by giving
// up CAP_FOWNER on this thread (the threads it starts inherit that) for a file
// it hands to another owner.
class WithoutFileOwnerOverride {
public:
    WithoutFileOwnerOverride()
    {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_isActive = syscall(SYS_capget, &m_header, m_saved) == 0;
        if (!m_isActive) return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[CAP_TO_INDEX(CAP_FOWNER)].effective &= ~CAP_TO_MASK(CAP_FOWNER);
        m_isActive = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutFileOwnerOverride()
    {
        if (m_isActive) syscall(SYS_capset, &m_header, m_saved);
    }
    bool isActive() const { return m_isActive; }

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_saved[2]{};
    bool m_isActive = false;
};

} // namespace

TEST_F(MetadataIndexTest, OurOwnReadOfAFileWeDoNotOwnIsNotAUse)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    if (geteuid() != 0) GTEST_SKIP() << "needs a file of another owner";
    const QString file = home.writeFile("Pictures/shared.png", pngBytes(40, 30), 1.7e9);
    ASSERT_EQ(chown(file.toUtf8().constData(), 65534, 65534), 0);
    // Older than the write: the read's access time update is not held back.
    TestHome::setTimes(file, 1.6e9, std::nullopt);
    const QStringList pictures{home.path("Pictures")};
    {
        const WithoutFileOwnerOverride notOwner;
        ASSERT_TRUE(notOwner.isActive());
        MetadataIndex index;
        EXPECT_EQ(names(run(index, "kMDItemPixelWidth == 40", pictures)),
                  QStringList{"shared.png"});
        struct stat st {};
        ASSERT_EQ(stat(file.toUtf8().constData(), &st), 0);
        ASSERT_GT(st.st_atim.tv_sec, 1600000000) << "the read should have touched it";
        index.refresh();
        EXPECT_EQ(run(index, "kMDItemLastUsedDate == *", pictures).count(), 0u);
    }
    MetadataIndex later; // from the attribute cache, without reading the file
    EXPECT_EQ(run(later, "kMDItemLastUsedDate == *", pictures).count(), 0u);
    EXPECT_EQ(later.stats().contentReads, 0u);

    // The user opens it: that is a use.
    TestHome::setTimes(file, 1.7e9 + 3600, std::nullopt);
    // The saved tables answer first; the look at the disk behind them sees the use.
    MetadataIndex afterUse;
    std::atomic_bool caughtUp = false;
    afterUse.addChangeHandler([&] { caughtUp = true; });
    run(afterUse, "kMDItemLastUsedDate == *", pictures);
    EXPECT_TRUE(test::eventually([&] { return caughtUp.load(); }));
    EXPECT_EQ(names(run(afterUse, "kMDItemLastUsedDate == *", pictures)),
              QStringList{"shared.png"});
}

namespace {

constexpr int kDeepLevels = 2000;
const char* const kLevel = "level";

// A chain of folders far deeper than PATH_MAX, made and taken down relative to
// folder descriptors (neither works through whole paths).
void makeDeepChain(const QString& base, const char* fileAtTheBottom)
{
    int folder = open(base.toUtf8().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    for (int i = 0; i < kDeepLevels; ++i) {
        ASSERT_EQ(mkdirat(folder, kLevel, 0755), 0);
        const int next = openat(folder, kLevel, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(folder);
        ASSERT_GE(next, 0);
        folder = next;
    }
    const int file = openat(folder, fileAtTheBottom, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    EXPECT_GE(file, 0);
    close(file);
    close(folder);
}

// Lifts each level's child to the top before removing the level, so no path
// ever grows long (the temporary folder's own removal works through paths).
void removeDeepChain(const QString& base, const char* fileAtTheBottom)
{
    const int top = open(base.toUtf8().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0) return;
    for (;;) {
        const int level = openat(top, kLevel, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (level < 0) break;
        unlinkat(level, fileAtTheBottom, 0);
        const bool hasChild = renameat(level, kLevel, top, "next") == 0;
        close(level);
        unlinkat(top, kLevel, AT_REMOVEDIR);
        if (!hasChild || renameat(top, "next", top, kLevel) != 0) break;
    }
    close(top);
}

} // namespace

TEST_F(MetadataIndexTest, FoldersDeeperThanPathMaxAreIndexed)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    const QString base = home.makeFolder("Deep");
    const auto removal = std::unique_ptr<const QString, void (*)(const QString*)>(
        &base, [](const QString* b) { removeDeepChain(*b, "bottom.txt"); });
    makeDeepChain(base, "bottom.txt");
    MetadataIndex index;
    const auto r = run(index, "kMDItemFSName == \"bottom.txt\"", {base});
    ASSERT_EQ(r.count(), 1u);
    EXPECT_EQ(r.path(0), base + QStringLiteral("/level").repeated(kDeepLevels) +
                             QStringLiteral("/bottom.txt"));
    EXPECT_GT(r.path(0).size(), PATH_MAX);
    EXPECT_EQ(run(index, "kMDItemContentTypeTree == \"public.folder\"", {base}).count(),
              std::size_t(kDeepLevels));
    index.refresh();
    EXPECT_EQ(run(index, "kMDItemFSName == \"bottom.txt\"", {base}).count(), 1u);
}
