#include "platform/AtomicSave.h"
#include "platform/UserFile.h"
#include "platform/metadata/AttributeCache.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <optional>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
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

struct stat statusOf(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

mode_t permissionsOf(const QString& path)
{
    return statusOf(path).st_mode & 07777;
}

void setPermissions(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

// A group other than this user's own that a file of theirs may be given: any
// for root, else another the user is in. None when there is no such group.
std::optional<gid_t> anotherGroup()
{
    constexpr gid_t kNobody = 65534;
    if (::geteuid() == 0) return kNobody;
    gid_t groups[NGROUPS_MAX];
    const int count = ::getgroups(NGROUPS_MAX, groups);
    for (int i = 0; i < count; ++i)
        if (groups[i] != ::getegid()) return groups[i];
    return std::nullopt;
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

// A save replaces the file with a new one: that one takes the old one's
// permissions (a settings file the user made private stays private, whatever
// the umask) and its group, and a file saved through a link those of the file
// the link names. Only a file made for the first time takes the mode asked for.
TEST(AtomicSave, ASaveKeepsThePermissionsAndGroupOfTheFileItReplaces)
{
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QString own = home.writeFile(QStringLiteral("private.conf"), "old");
    setPermissions(own, 0600);
    ASSERT_TRUE(AtomicSave::save(own, "new", OwnFile::Links::notFollowed, 0666));
    EXPECT_EQ(permissionsOf(own), 0600u);
    EXPECT_EQ(contentOf(own), "new");

    const QString real = home.writeFile(QStringLiteral("dotfiles/ovra.conf"), "old");
    const QString link = home.path(QStringLiteral("Ovra.conf"));
    ASSERT_TRUE(QFile::link(real, link));
    const std::optional<gid_t> group = anotherGroup();
    if (group) {
        ASSERT_EQ(::chown(QFile::encodeName(real).constData(), uid_t(-1), *group), 0);
    }
    setPermissions(real, 0640);
    ASSERT_TRUE(AtomicSave::save(link, "new", OwnFile::Links::followed));
    EXPECT_EQ(permissionsOf(real), 0640u);
    if (group) {
        EXPECT_EQ(statusOf(real).st_gid, *group);
    }
    EXPECT_TRUE(QFileInfo(link).isSymLink());

    const QString fresh = home.path(QStringLiteral("fresh.cache"));
    ASSERT_TRUE(AtomicSave::save(fresh, "bytes", OwnFile::Links::notFollowed, 0600));
    EXPECT_EQ(permissionsOf(fresh), 0600u);
}

// A file in a group its owner is not in (given by root) cannot be saved into
// that group again: the new file is in the owner's own group, which then gets
// no more than everyone else, not what the old group had.
TEST(AtomicSave, AGroupThatCannotBeGivenGetsNoMoreThanEveryoneElse)
{
    if (::geteuid() != 0) GTEST_SKIP() << "a file in a group its owner is not in is made by root";
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    constexpr uid_t kNobody = 65534;
    constexpr gid_t kRootGroup = 0;
    const QString folder = home.makeFolder(QStringLiteral("nobody"));
    const QString path = home.writeFile(QStringLiteral("nobody/shared.conf"), "old");
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), kNobody, kNobody), 0);
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), kNobody, kRootGroup), 0);
    setPermissions(path, 0640);

    // The owner saves, in a child, so the test program stays root; from inside
    // the folder, as the test's folders above it are root's alone.
    EXPECT_EXIT(
        {
            const bool dropped = ::chdir(QFile::encodeName(folder).constData()) == 0 &&
                                 ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 &&
                                 ::setuid(kNobody) == 0;
            _exit(dropped && AtomicSave::save(QStringLiteral("shared.conf"), "new",
                                              OwnFile::Links::notFollowed)
                      ? 0
                      : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(contentOf(path), "new");
    EXPECT_EQ(statusOf(path).st_gid, kNobody);
    EXPECT_EQ(permissionsOf(path), 0600u);
}
