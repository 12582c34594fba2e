#include "platform/AtomicSave.h"
#include "platform/UserFile.h"
#include "platform/metadata/AttributeCache.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace ovra;
using ovra::test::contentOf;
using ovra::test::TestHome;

namespace {

// A full disk without root: past the file-size limit every write fails with
// EFBIG (SIGXFSZ ignored). Both are put back when the test is done.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
};

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

// The damaged caches of a hostile session, in this version's form: a list count
// read from the file (the codecs, or the authors) asks for ~103 GB before any
// element is read.
QByteArray damagedCache(bool inAuthors)
{
    QByteArray bytes = QByteArray::fromHex("4f564d43000000020000000000000001"   // magic, version, 1
                                           "000000012f"                         // path "/"
                                           "0000000000000001"                   // size
                                           "3ff0000000000000"                   // modified
                                           "ffffffff"                           // no sniffed type
                                           "01"                                 // has content
                                           "00000000000000000000000000000000"); // read access
    bytes += inAuthors ? QByteArray::fromHex("0000000001") : QByteArray::fromHex("00000000000000");
    bytes += QByteArray::fromHex("fffffff0");
    return bytes;
}

} // namespace

TEST(AtomicSave, AFailedWriteKeepsTheOldFileAndLeavesNothingBehind)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QString folder = home.makeFolder(QStringLiteral("saves"));
    const QString path = folder + QStringLiteral("/index.json");
    ASSERT_TRUE(AtomicSave::save(path, "all the recognised text", OwnFile::Links::notFollowed));
    EXPECT_EQ(contentOf(path), "all the recognised text");

    {
        const FileSizeLimit full(4096);
        EXPECT_FALSE(
            AtomicSave::save(path, QByteArray(64 * 1024, 'x'), OwnFile::Links::notFollowed));
        EXPECT_FALSE(
            AtomicSave::save(path, QByteArray(64 * 1024, 'y'), OwnFile::Links::notFollowed))
            << "and again";
    }
    EXPECT_EQ(contentOf(path), "all the recognised text");
    EXPECT_EQ(filesIn(folder), QStringList{"index.json"});

    EXPECT_TRUE(AtomicSave::save(path, QByteArray(64 * 1024, 'z'), OwnFile::Links::notFollowed));
    EXPECT_EQ(contentOf(path), QByteArray(64 * 1024, 'z'));
    EXPECT_EQ(filesIn(folder), QStringList{"index.json"});
}

TEST(AtomicSave, ALinkedFileIsSavedWhereItLives)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QString real = home.writeFile(QStringLiteral("dotfiles/Ovra.conf"), "old");
    const QString link = home.path(QStringLiteral("Ovra.conf"));
    ASSERT_TRUE(QFile::link(real, link));
    ASSERT_TRUE(AtomicSave::save(link, "new", OwnFile::Links::followed));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(contentOf(real), "new");
}

TEST(AtomicSave, AFullDiskKeepsTheAttributeCache)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QString path = home.path(QStringLiteral(".cache/Ovra/metadata-attributes.cache"));
    md::AttributeMap records;
    for (int i = 0; i < 2000; ++i) {
        md::CachedAttributes r;
        r.size = i;
        r.modified = 1.7e9;
        r.hasContent = true;
        r.content.pixelWidth = i;
        r.content.codecs = QStringList{"h264", "aac"};
        records.emplace("/photos/" + std::to_string(i) + ".jpg", r);
    }
    ASSERT_TRUE(md::AttributeCache::save(path, records));
    const QByteArray good = contentOf(path);
    ASSERT_GT(good.size(), 16 * 1024);

    md::AttributeMap more = records;
    more["/photos/new.jpg"] = md::CachedAttributes{};
    {
        const FileSizeLimit full(8192);
        EXPECT_FALSE(md::AttributeCache::save(path, more));
    }
    EXPECT_EQ(contentOf(path), good);
    EXPECT_EQ(md::AttributeCache::load(path).size(), records.size());
}

TEST(AttributeCache, CountsFromADamagedFileAreCheckedBeforeTheyAreUsed)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QString path = home.path(QStringLiteral("cache"));
    for (const bool inAuthors : {false, true}) {
        home.writeFile(QStringLiteral("cache"), damagedCache(inAuthors));
        EXPECT_TRUE(md::AttributeCache::load(path).empty());
    }

    // A sound record before the damage is kept.
    md::CachedAttributes sound;
    sound.size = 7;
    sound.hasContent = true;
    sound.content.authors = QStringList{"Ann", "Bo"};
    sound.content.codecs = QStringList{"opus"};
    sound.readAccess = {1.6e9, 1.7e9};
    ASSERT_TRUE(md::AttributeCache::save(path, {{"/a.ogg", sound}}));
    QByteArray bytes = contentOf(path);
    bytes[15] = 2; // two records
    bytes += damagedCache(true).mid(16);
    home.writeFile(QStringLiteral("cache"), bytes);
    const md::AttributeMap loaded = md::AttributeCache::load(path);
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded.at("/a.ogg").content, sound.content);
    EXPECT_EQ(loaded.at("/a.ogg").readAccess, sound.readAccess);
}

// A cache or an index replaces a link at its path and leaves what the link
// names alone; a settings file follows its links to the end, wherever that is
// and whether the file there exists yet, and the links stay links.
TEST(AtomicSave, EachCallerSaysWhetherALinkIsFollowed)
{
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QString document = home.writeFile(QStringLiteral("Documents/notes.txt"), "my notes");
    const QString cache = home.path(QStringLiteral("cache.bin"));
    ASSERT_TRUE(QFile::link(document, cache));
    ASSERT_TRUE(AtomicSave::save(cache, "cache bytes", OwnFile::Links::notFollowed));
    EXPECT_FALSE(QFileInfo(cache).isSymLink());
    EXPECT_EQ(contentOf(cache), "cache bytes");
    EXPECT_EQ(contentOf(document), "my notes");

    // A link to a link, the last one relative, to a file not made yet.
    home.makeFolder(QStringLiteral("dotfiles/ovra"));
    const QString settings = home.path(QStringLiteral("Ovra.conf"));
    const QString middle = home.path(QStringLiteral("dotfiles/Ovra.conf"));
    ASSERT_EQ(::symlink("ovra/Ovra.conf", QFile::encodeName(middle).constData()), 0);
    ASSERT_TRUE(QFile::link(middle, settings));
    const QString real = home.path(QStringLiteral("dotfiles/ovra/Ovra.conf"));
    EXPECT_EQ(AtomicSave::target(settings, OwnFile::Links::followed), real);
    EXPECT_EQ(AtomicSave::target(settings, OwnFile::Links::notFollowed), settings);
    ASSERT_TRUE(AtomicSave::save(settings, "viewMode=list\n", OwnFile::Links::followed));
    EXPECT_TRUE(QFileInfo(settings).isSymLink());
    EXPECT_TRUE(QFileInfo(middle).isSymLink());
    EXPECT_EQ(contentOf(real), "viewMode=list\n");
    EXPECT_EQ(filesIn(home.path(QStringLiteral("dotfiles/ovra"))), QStringList{"Ovra.conf"});

    // A chain that never ends is saved nowhere.
    const QString loop = home.path(QStringLiteral("loop.conf"));
    ASSERT_EQ(::symlink("loop.conf", QFile::encodeName(loop).constData()), 0);
    EXPECT_TRUE(AtomicSave::target(loop, OwnFile::Links::followed).isEmpty());
    EXPECT_FALSE(AtomicSave::save(loop, "x", OwnFile::Links::followed));
    EXPECT_TRUE(QFileInfo(loop).isSymLink());
}

// A file that could not be read goes aside under a name no earlier one holds,
// and a file set aside before is never overwritten.
TEST(AtomicSave, AnUnreadableFileIsSetAsideUnderAFreeName)
{
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QString path = home.path(QStringLiteral("Ovra.conf"));
    EXPECT_TRUE(AtomicSave::setAside(path)) << "nothing there: nothing to keep";
    for (const QByteArray bytes : {"first", "second", "third"}) {
        home.writeFile(QStringLiteral("Ovra.conf"), bytes);
        EXPECT_TRUE(AtomicSave::setAside(path));
        EXPECT_FALSE(QFileInfo::exists(path));
    }
    EXPECT_EQ(contentOf(path + QStringLiteral(".unreadable")), "first");
    EXPECT_EQ(contentOf(path + QStringLiteral(".unreadable-2")), "second");
    EXPECT_EQ(contentOf(path + QStringLiteral(".unreadable-3")), "third");
}
