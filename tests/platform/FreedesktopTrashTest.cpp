#include "platform/FreedesktopTrash.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ovra;
using ovra::test::contentOf;
using ovra::test::entriesIn;
using ovra::test::TestHome;

namespace {

constexpr int kSkipped = 77;

struct statx statOf(const QString& path)
{
    struct statx st {};
    ::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW,
            STATX_TYPE | STATX_INO | STATX_CTIME | STATX_BTIME, &st);
    return st;
}

EntryIdentity identityOf(const QString& path)
{
    const struct statx st = statOf(path);
    if (!(st.stx_mask & STATX_TYPE)) return {};
    return entryIdentityAt(AT_FDCWD, QFile::encodeName(path).constData(), st);
}

// What a file system that keeps no birth time (ext4 made with 128-byte inodes)
// tells of an entry: the pick's side and the move's.
EntryIdentity identityWithoutBirthTime(const QString& path)
{
    struct statx st = statOf(path);
    st.stx_mask &= ~STATX_BTIME;
    return entryIdentityAt(AT_FDCWD, QFile::encodeName(path).constData(), st);
}

int statWithoutBirthTime(int folder, const QByteArray& name, struct statx& out)
{
    const int error = FreedesktopTrash::statEntry(folder, name, out);
    out.stx_mask &= ~STATX_BTIME;
    return error;
}

QByteArray pathLine(const QByteArray& info)
{
    for (const QByteArray& line : info.split('\n'))
        if (line.startsWith("Path=")) return line.mid(5);
    return {};
}

// Runs `body` in a child process and answers its exit code; a child that has
// not ended within a minute is killed (-1): what hung before must not hang
// the suite.
int inChild(const std::function<int()>& body)
{
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (!test::eventually([&] { return ::waitpid(pid, &status, WNOHANG) != 0; },
                          std::chrono::minutes(1))) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

class FreedesktopTrashTest : public ::testing::Test {
protected:
    QString trash(const QString& relative) const
    {
        return m_home.path(QStringLiteral(".local/share/Trash/") + relative);
    }

    // Moves block on the disk; here the test stands for the pool thread.
    UserFile::AllowOnThisThread m_allowed;
    TestHome m_home;
};

TEST_F(FreedesktopTrashTest, WritesTheWayBackEscapedAndDated)
{
    const QStringList names{QStringLiteral("50%41 off.txt"), QStringLiteral("line\nbreak.txt"),
                            QStringLiteral("Café – ünïcode.txt"),
                            QStringLiteral("plain-name_(1)~!*'.txt")};
    const QRegularExpression date(QStringLiteral("^DeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:"
                                                 "\\d\\d:\\d\\d$"),
                                  QRegularExpression::MultilineOption);
    for (const QString& name : names) {
        const QString path = m_home.writeFile(QStringLiteral("Documents/") + name, "x");
        const FreedesktopTrash::Result result = FreedesktopTrash().move(path);
        ASSERT_TRUE(result.moved) << result.reason.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_TRUE(QFileInfo::exists(trash(QStringLiteral("files/") + name)));
        const QByteArray info = contentOf(trash(QStringLiteral("info/") + name + ".trashinfo"));
        ASSERT_TRUE(info.startsWith("[Trash Info]\n")) << info.toStdString();
        const QByteArray written = pathLine(info);
        // Escaped: one line, only unreserved characters, and read back whole.
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Za-z0-9%/_.!~*'()-]+$"))
                        .match(QString::fromLatin1(written))
                        .hasMatch())
            << written.toStdString();
        EXPECT_EQ(QByteArray::fromPercentEncoding(written), QFile::encodeName(path));
        EXPECT_TRUE(date.match(QString::fromUtf8(info)).hasMatch()) << info.toStdString();
    }
    EXPECT_EQ(FreedesktopTrash::escapePath("/a/50%41 off\n.txt"), "/a/50%2541%20off%0A.txt");
    EXPECT_EQ(FreedesktopTrash::escapePath("/é"), "/%C3%A9");
}

TEST_F(FreedesktopTrashTest, TakesANameFreeInBothFolders)
{
    // A record left without its file still holds its name.
    QDir().mkpath(trash(QStringLiteral("info")));
    QFile orphan(trash(QStringLiteral("info/notes.txt.trashinfo")));
    ASSERT_TRUE(orphan.open(QIODevice::WriteOnly));
    orphan.close();
    const QString first = m_home.writeFile(QStringLiteral("a/notes.txt"), "first");
    const QString second = m_home.writeFile(QStringLiteral("b/notes.txt"), "second");
    const FreedesktopTrash::Result one = FreedesktopTrash().move(first);
    const FreedesktopTrash::Result two = FreedesktopTrash().move(second);
    ASSERT_TRUE(one.moved && two.moved);
    EXPECT_NE(one.trashedPath, two.trashedPath);
    EXPECT_NE(QFileInfo(one.trashedPath).fileName(), QStringLiteral("notes.txt"));
    for (const FreedesktopTrash::Result& r : {one, two}) {
        const QString name = QFileInfo(r.trashedPath).fileName();
        EXPECT_TRUE(QFileInfo::exists(trash(QStringLiteral("info/") + name + ".trashinfo")));
    }
    EXPECT_EQ(contentOf(one.trashedPath), "first");
    EXPECT_EQ(contentOf(two.trashedPath), "second");
}

TEST_F(FreedesktopTrashTest, ANameAsLongAsTheSystemAllowsStillGetsItsRecord)
{
    const QString name = QString(240, u'é').left(120) + QStringLiteral(".txt"); // 244 bytes
    const QString path = m_home.writeFile(QStringLiteral("Documents/") + name, "long");
    const int code = inChild([&] { return FreedesktopTrash().move(path).moved ? 0 : 1; });
    EXPECT_EQ(code, 0);
    const QStringList records = entriesIn(trash(QStringLiteral("info")));
    ASSERT_EQ(records.size(), 1);
    const QByteArray info = contentOf(trash(QStringLiteral("info/") + records.first()));
    EXPECT_EQ(QByteArray::fromPercentEncoding(pathLine(info)), QFile::encodeName(path));
    EXPECT_EQ(contentOf(trash(QStringLiteral("files/") + records.first().chopped(10))), "long");
}

TEST_F(FreedesktopTrashTest, AFullDiskLeavesTheFileWhereItWas)
{
    const QString path = m_home.writeFile(QStringLiteral("Documents/report.txt"), "keep me");
    QDir().mkpath(trash(QStringLiteral("info")));
    const int code = inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 0;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const FreedesktopTrash::Result result = FreedesktopTrash().move(path);
        if (result.moved) return 1;
        return result.reason.contains(QStringLiteral("no room")) ? 0 : 2;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(contentOf(path), "keep me");
    EXPECT_TRUE(entriesIn(trash(QStringLiteral("info"))).isEmpty());
    EXPECT_TRUE(entriesIn(trash(QStringLiteral("files"))).isEmpty());
}

TEST_F(FreedesktopTrashTest, AFailedMoveTakesItsRecordBack)
{
    // A folder that holds the Trash cannot move into it.
    const QString dotLocal = m_home.path(QStringLiteral(".local"));
    QDir().mkpath(trash(QStringLiteral("files")));
    const FreedesktopTrash::Result result = FreedesktopTrash().move(dotLocal);
    EXPECT_FALSE(result.moved);
    EXPECT_FALSE(result.reason.isEmpty());
    EXPECT_TRUE(QFileInfo(dotLocal).isDir());
    EXPECT_TRUE(entriesIn(trash(QStringLiteral("info"))).isEmpty());
}

TEST_F(FreedesktopTrashTest, ADamagedTrashRefusesAtOnce)
{
    for (const QString& damaged : {QStringLiteral("info"), QStringLiteral("files"), QString()}) {
        QDir(m_home.path(QStringLiteral(".local/share/Trash"))).removeRecursively();
        QDir().mkpath(m_home.path(QStringLiteral(".local/share")));
        if (!damaged.isEmpty()) QDir().mkpath(trash(QString()));
        QFile blocker(damaged.isEmpty() ? m_home.path(QStringLiteral(".local/share/Trash"))
                                        : trash(damaged));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString path = m_home.writeFile(QStringLiteral("Documents/a.txt"), "a");
        const int code = inChild([&] {
            const FreedesktopTrash::Result result = FreedesktopTrash().move(path);
            return result.moved                                             ? 1
                   : result.reason.contains(QStringLiteral("not a folder")) ? 0
                                                                            : 2;
        });
        EXPECT_EQ(code, 0) << damaged.toStdString();
        EXPECT_EQ(contentOf(path), "a");
    }
}

TEST_F(FreedesktopTrashTest, AnUnwritableTrashRefusesWithAReason)
{
    QDir().mkpath(trash(QStringLiteral("info")));
    const QString path = m_home.writeFile(QStringLiteral("Documents/a.txt"), "a");
    ASSERT_EQ(::chmod(QFile::encodeName(trash(QStringLiteral("info"))).constData(), 0500), 0);
    const int code = inChild([&] {
        // The superuser writes anywhere: the move runs as an ordinary user.
        if (::geteuid() == 0) {
            // The home and the temporary folder that holds it.
            const QByteArray root = QFile::encodeName(QFileInfo(m_home.root()).path());
            const QByteArray command = "chown -R 65534:65534 '" + root + "'";
            if (std::system(command.constData()) != 0 || ::setgid(65534) != 0 ||
                ::setuid(65534) != 0)
                return kSkipped;
        }
        const FreedesktopTrash::Result result = FreedesktopTrash().move(path);
        if (result.moved) return 1;
        return result.reason.contains(QStringLiteral("can't be written to")) ? 0 : 2;
    });
    ::chmod(QFile::encodeName(trash(QStringLiteral("info"))).constData(), 0700);
    if (code == kSkipped) GTEST_SKIP() << "no ordinary user to run as";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(contentOf(path), "a");
}

TEST_F(FreedesktopTrashTest, MovesOnlyTheEntryThatWasSeen)
{
    const QString path = m_home.writeFile(QStringLiteral("Documents/picked.txt"), "picked");
    const EntryIdentity seen = identityOf(path);
    ASSERT_EQ(seen.kind, EntryKind::file);
    // Held by a second name, so no new file can take its inode number.
    ASSERT_EQ(::link(QFile::encodeName(path).constData(),
                     QFile::encodeName(m_home.path(QStringLiteral("held"))).constData()),
              0);

    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path + QStringLiteral("/inside")));
    FreedesktopTrash::Result result = FreedesktopTrash().move(path, seen);
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(result.reason, QStringLiteral("it has been replaced by a folder"));
    EXPECT_TRUE(QFileInfo(path + QStringLiteral("/inside")).isDir());

    ASSERT_TRUE(QDir(path).removeRecursively());
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    result = FreedesktopTrash().move(path, seen);
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(result.reason, QStringLiteral("it has been replaced by a special file"));

    // Another file under the same name: a different inode.
    ASSERT_TRUE(QFile::remove(path));
    const QString other = m_home.writeFile(QStringLiteral("Documents/other.txt"), "other");
    ASSERT_TRUE(QFile::rename(other, path));
    result = FreedesktopTrash().move(path, seen);
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(contentOf(path), "other");
    EXPECT_TRUE(entriesIn(trash(QStringLiteral("files"))).isEmpty());
    EXPECT_TRUE(entriesIn(trash(QStringLiteral("info"))).isEmpty());

    result = FreedesktopTrash().move(path, identityOf(path));
    EXPECT_TRUE(result.moved) << result.reason.toStdString();
}

// A file deleted and made again under its name may get its inode number back
// at once (ext4 hands it out again): the birth time still tells them apart.
TEST_F(FreedesktopTrashTest, AFileMadeAgainUnderItsNameStaysThoughItHasTheInodeBack)
{
    const QString path = m_home.writeFile(QStringLiteral("Documents/picked.txt"), "picked");
    const EntryIdentity picked = identityOf(path);
    if (picked.birth == 0) GTEST_SKIP() << "this file system records no birth time";
    // Birth times move with the file system's clock tick: made again until a tick has passed.
    EntryIdentity madeAgain;
    do {
        ASSERT_TRUE(QFile::remove(path));
        m_home.writeFile(QStringLiteral("Documents/picked.txt"), "made again");
        madeAgain = identityOf(path);
    } while (madeAgain.birth == picked.birth);
    // What the user saw, had the new file taken the old one's inode number.
    EntryIdentity seen = madeAgain;
    seen.birth = picked.birth;

    FreedesktopTrash::Result result = FreedesktopTrash().move(path, seen);
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(result.reason, QStringLiteral("it has been replaced by another file"));
    EXPECT_EQ(contentOf(path), "made again");
    EXPECT_TRUE(entriesIn(trash(QStringLiteral("files"))).isEmpty());

    result = FreedesktopTrash().move(path, madeAgain);
    EXPECT_TRUE(result.moved) << result.reason.toStdString();
}

// Where the file system keeps no birth time, a file made again on the inode
// its name held has another change time; so has a file only chmod-ed since it
// was seen, and refusing that too is the safe side.
TEST_F(FreedesktopTrashTest, WithoutBirthTimesTheChangeTimeTellsTheEntry)
{
    const QString path = m_home.writeFile(QStringLiteral("Documents/picked.txt"), "picked");
    const QByteArray native = QFile::encodeName(path);
    const EntryIdentity seen = identityWithoutBirthTime(path);
    ASSERT_NE(seen.birth, 0);
    // Change times move with the file system's clock tick: changed until a tick has passed.
    mode_t mode = 0600;
    do {
        mode ^= 0040;
        ASSERT_EQ(::chmod(native.constData(), mode), 0);
    } while (identityWithoutBirthTime(path).birth == seen.birth);
    ASSERT_EQ(identityWithoutBirthTime(path).inode, seen.inode);

    const FreedesktopTrash noBirthTimes(FreedesktopTrash::mountedVolume, statWithoutBirthTime);
    FreedesktopTrash::Result result = noBirthTimes.move(path, seen);
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(result.reason, QStringLiteral("it has been replaced by another file"));
    EXPECT_EQ(contentOf(path), "picked");
    EXPECT_TRUE(entriesIn(trash(QStringLiteral("files"))).isEmpty());

    result = noBirthTimes.move(path, identityWithoutBirthTime(path));
    EXPECT_TRUE(result.moved) << result.reason.toStdString();
}

// Change times that count whole seconds (ext4 with 128-byte inodes) are shared
// by a file made again within the second; the handle the file system gives the
// new file holds another generation of the inode.
TEST_F(FreedesktopTrashTest, WithoutBirthTimesTheHandleTellsAFileMadeAgainWithinTheSecond)
{
    const QString path = m_home.writeFile(QStringLiteral("Documents/picked.txt"), "picked");
    const EntryIdentity picked = identityWithoutBirthTime(path);
    if (picked.handle == 0) GTEST_SKIP() << "this file system gives no handles";
    ASSERT_TRUE(QFile::remove(path));
    m_home.writeFile(QStringLiteral("Documents/picked.txt"), "made again");
    const EntryIdentity madeAgain = identityWithoutBirthTime(path);
    ASSERT_NE(madeAgain.handle, picked.handle);
    // What the user saw, had the new file taken the old one's inode number
    // within the second.
    EntryIdentity seen = madeAgain;
    seen.handle = picked.handle;

    const FreedesktopTrash noBirthTimes(FreedesktopTrash::mountedVolume, statWithoutBirthTime);
    FreedesktopTrash::Result result = noBirthTimes.move(path, seen);
    EXPECT_FALSE(result.moved);
    EXPECT_EQ(result.reason, QStringLiteral("it has been replaced by another file"));
    EXPECT_EQ(contentOf(path), "made again");

    result = noBirthTimes.move(path, madeAgain);
    EXPECT_TRUE(result.moved) << result.reason.toStdString();
}

TEST_F(FreedesktopTrashTest, ALinkGoesAsItself)
{
    const QString target = m_home.writeFile(QStringLiteral("Documents/target.txt"), "target");
    const QString link = m_home.path(QStringLiteral("Desktop/shortcut"));
    QDir().mkpath(m_home.path(QStringLiteral("Desktop")));
    ASSERT_TRUE(QFile::link(target, link));
    const FreedesktopTrash::Result result = FreedesktopTrash().move(link, {EntryKind::link, 0, 0});
    ASSERT_TRUE(result.moved) << result.reason.toStdString();
    EXPECT_TRUE(QFileInfo(result.trashedPath).isSymLink());
    EXPECT_EQ(contentOf(target), "target");
}

class OtherFileSystemTest : public FreedesktopTrashTest {
protected:
    void SetUp() override
    {
        QDir().mkpath(m_home.path(QStringLiteral("media/stick/photos")));
        m_top = QFileInfo(m_home.path(QStringLiteral("media/stick"))).canonicalFilePath();
    }

    // The folder stands for another file system mounted there.
    FreedesktopTrash pretendMounted() const
    {
        return FreedesktopTrash([top = m_top](const QString& folder) {
            if (folder == top || folder.startsWith(top + u'/'))
                return std::optional<FreedesktopTrash::Volume>({0xfeed, top});
            return FreedesktopTrash::mountedVolume(folder);
        });
    }

    QString m_top;
};

TEST_F(OtherFileSystemTest, UsesItsOwnTrashWithARelativePath)
{
    const QString path = m_top + QStringLiteral("/photos/a b.jpg");
    QFile(path).open(QIODevice::WriteOnly);
    const FreedesktopTrash::Result result = pretendMounted().move(path);
    ASSERT_TRUE(result.moved) << result.reason.toStdString();
    const QString own = m_top + QStringLiteral("/.Trash-") + QString::number(::getuid());
    EXPECT_EQ(result.trashedPath, own + QStringLiteral("/files/a b.jpg"));
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(own).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(pathLine(contentOf(own + QStringLiteral("/info/a b.jpg.trashinfo"))),
              "photos/a%20b.jpg");
    EXPECT_FALSE(QFileInfo::exists(trash(QStringLiteral("files/a b.jpg"))));
}

TEST_F(OtherFileSystemTest, PrefersTheSharedStickyTrash)
{
    const QString shared = m_top + QStringLiteral("/.Trash");
    const QString path = m_top + QStringLiteral("/photos/c.jpg");
    QFile(path).open(QIODevice::WriteOnly);
    // Without the sticky bit the shared folder is not trusted.
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0777), 0);
    FreedesktopTrash::Result result = pretendMounted().move(path);
    ASSERT_TRUE(result.moved);
    EXPECT_TRUE(result.trashedPath.startsWith(m_top + QStringLiteral("/.Trash-")));

    ASSERT_TRUE(QFile::rename(result.trashedPath, path));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    result = pretendMounted().move(path);
    ASSERT_TRUE(result.moved);
    EXPECT_EQ(result.trashedPath,
              shared + u'/' + QString::number(::getuid()) + QStringLiteral("/files/c.jpg"));
}

TEST_F(OtherFileSystemTest, RefusesRatherThanCopying)
{
    // Another user's trap: the per-user Trash is a link to elsewhere.
    const QString elsewhere = m_home.makeFolder(QStringLiteral("elsewhere"));
    ASSERT_TRUE(
        QFile::link(elsewhere, m_top + QStringLiteral("/.Trash-") + QString::number(::getuid())));
    const QString path = m_top + QStringLiteral("/photos/d.jpg");
    QFile(path).open(QIODevice::WriteOnly);
    const FreedesktopTrash::Result result = pretendMounted().move(path);
    EXPECT_FALSE(result.moved);
    EXPECT_TRUE(result.reason.startsWith(QStringLiteral("its file system (at “") + m_top))
        << result.reason.toStdString();
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_TRUE(entriesIn(elsewhere).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(trash(QStringLiteral("files/d.jpg"))));
}

// A real mount, where the machine lets a test make one (a private mount
// namespace, as root or in a user namespace of its own).
TEST_F(FreedesktopTrashTest, ARealMountKeepsItsFilesOnIt)
{
    const QString mountPoint = m_home.makeFolder(QStringLiteral("mnt"));
    const int code = inChild([&] {
        const uid_t uid = ::getuid();
        if (::unshare(CLONE_NEWNS) != 0) {
            if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return kSkipped;
            QFile map(QStringLiteral("/proc/self/uid_map"));
            if (!map.open(QIODevice::WriteOnly) ||
                map.write(QByteArray::number(uid) + ' ' + QByteArray::number(uid) + " 1\n") < 0)
                return kSkipped;
        }
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("none", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, nullptr) != 0)
            return kSkipped;
        const QString path = mountPoint + QStringLiteral("/song.ogg");
        if (!QFile(path).open(QIODevice::WriteOnly)) return 3;
        const FreedesktopTrash::Result result = FreedesktopTrash().move(path);
        const QString expected = QFileInfo(mountPoint).canonicalFilePath() +
                                 QStringLiteral("/.Trash-") + QString::number(::getuid()) +
                                 QStringLiteral("/files/song.ogg");
        if (!result.moved) return 4;
        return result.trashedPath == expected && QFileInfo::exists(expected) ? 0 : 5;
    });
    if (code == kSkipped) GTEST_SKIP() << "no mount can be made here";
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(entriesIn(trash(QStringLiteral("files"))).isEmpty());
}

} // namespace
