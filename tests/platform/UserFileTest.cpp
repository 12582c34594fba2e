#include "platform/UserFile.h"
#include "platform/metadata/ContentAttributes.h"
#include "support/Fifo.h"
#include "support/GuiThreadCheck.h"
#include "support/TestHome.h"

#include <QFile>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

using namespace ovra;
using ovra::test::TestHome;

namespace {

QByteArray local(const QString& path)
{
    return QFile::encodeName(path);
}

using test::CheckMode;

} // namespace

TEST(UserFile, ReadsRegularFilesOnly)
{
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QString notes = home.writeFile(QStringLiteral("notes.txt"), "twelve bytes");
    const std::optional<UserFile> file = UserFile::open(notes);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size(), 12u);
    bool wasCut = false;
    EXPECT_EQ(file->readHead(6, &wasCut), QByteArray("twelve"));
    EXPECT_TRUE(wasCut);
    EXPECT_EQ(file->readHead(100, &wasCut), QByteArray("twelve bytes"));
    EXPECT_FALSE(wasCut);
    EXPECT_TRUE((::fcntl(file->fd(), F_GETFD) & FD_CLOEXEC) != 0);

    // A link is refused even when it leads to a regular file, and so is its folder.
    const QString link = home.path(QStringLiteral("link.txt"));
    ASSERT_EQ(::symlink(local(notes).constData(), local(link).constData()), 0);
    EXPECT_FALSE(UserFile::open(link));
    EXPECT_FALSE(UserFile::open(home.root()));
    EXPECT_FALSE(UserFile::open(home.path(QStringLiteral("missing.txt"))));
    EXPECT_FALSE(UserFile::open(QString()));
}

// None of these may block the open or be read from: a FIFO would wait for a
// writer for ever, a device could feed a reader for ever.
TEST(UserFile, RefusesFifosSocketsAndDevicesWithoutWaiting)
{
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QString fifo = home.path(QStringLiteral("scan.png"));
    ASSERT_EQ(::mkfifo(local(fifo).constData(), 0600), 0);
    EXPECT_FALSE(UserFile::open(fifo));

    const QString socketPath = home.path(QStringLiteral("s.sock"));
    const int sock = test::makeSocket(socketPath);
    ASSERT_GE(sock, 0);
    EXPECT_FALSE(UserFile::open(socketPath));
    ::close(sock);

    EXPECT_FALSE(UserFile::open(QStringLiteral("/dev/null")));
    EXPECT_FALSE(UserFile::open(QStringLiteral("/dev/zero")));
    EXPECT_EQ(openUserFolder("/dev/null"), -1);
}

// The kernel refuses O_NOATIME on a file the reader does not own; such a file
// must still open. Run as another user than the file's owner.
TEST(UserFile, OpensAFileOfAnotherOwnerWithoutNoAtime)
{
    QTemporaryFile shared(QStringLiteral("/tmp/ovra-userfile-XXXXXX"));
    ASSERT_TRUE(shared.open());
    shared.write("shared");
    shared.flush();
    ASSERT_EQ(::chmod(local(shared.fileName()).constData(), 0644), 0);
    const QString path = shared.fileName();
    EXPECT_EXIT(
        {
            // As root, become somebody else first; otherwise the file is not ours.
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(2);
            const int probe = ::open(local(path).constData(), O_RDONLY | O_NOATIME);
            if (probe >= 0 || errno != EPERM) _exit(3);
            const UserFile::AllowOnThisThread directReads;
            const std::optional<UserFile> file = UserFile::open(path);
            _exit(file && file->readHead(16) == "shared" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(UserFile, CountsOpensOnTheGuiThreadOnly)
{
    const CheckMode counting(UserFile::GuiThreadCheck::count);
    TestHome home;
    const QString notes = home.writeFile(QStringLiteral("notes.txt"), "x");

    // This test runs on the application's main thread.
    const int before = UserFile::guiThreadOpens();
    EXPECT_TRUE(UserFile::open(notes));
    EXPECT_EQ(UserFile::guiThreadOpens(), before + 1);
    // Even an open that fails has touched the disk.
    EXPECT_FALSE(UserFile::open(home.path(QStringLiteral("missing"))));
    EXPECT_EQ(UserFile::guiThreadOpens(), before + 2);

    std::thread worker([&] { EXPECT_TRUE(UserFile::open(notes)); });
    worker.join();
    {
        const UserFile::AllowOnThisThread directReads;
        EXPECT_TRUE(UserFile::open(notes));
    }
    EXPECT_EQ(UserFile::guiThreadOpens(), before + 2);

    {
        const CheckMode off(UserFile::GuiThreadCheck::off);
        EXPECT_TRUE(UserFile::open(notes));
    }
    EXPECT_EQ(UserFile::guiThreadOpens(), before + 2);

    // Reading a file's extended attributes counts as touching it.
    md::readWhereFroms(QFile::encodeName(notes));
    EXPECT_EQ(UserFile::guiThreadOpens(), before + 3);
}

TEST(UserFileDeathTest, FatalCheckStopsAnOpenOnTheGuiThread)
{
    TestHome home;
    const QString notes = home.writeFile(QStringLiteral("notes.txt"), "x");
    EXPECT_DEATH(
        {
            UserFile::setGuiThreadCheck(UserFile::GuiThreadCheck::fatal);
            (void)UserFile::open(notes);
        },
        "GUI thread opened .*notes.txt");
}
