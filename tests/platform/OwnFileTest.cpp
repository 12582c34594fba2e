#include "platform/OwnFile.h"
#include "platform/UserFile.h"
#include "support/Fifo.h"
#include "support/TestHome.h"

#include <QFile>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace ovra;
using ovra::test::TestHome;

namespace {

using Links = OwnFile::Links;
using Status = OwnFile::Status;

QByteArray local(const QString& path)
{
    return QFile::encodeName(path);
}

// The warnings the reads below leave, one line each.
QStringList warnings;

void keepWarnings(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg) warnings.append(message);
}

struct Read {
    Status status;
    QByteArray bytes;
    QStringList said;
};

Read readOf(const QString& path, OwnFile::Rule rule)
{
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(keepWarnings);
    Read read;
    read.bytes = OwnFile::read(path, rule, &read.status);
    qInstallMessageHandler(previous);
    read.said = warnings;
    return read;
}

} // namespace

// Anything may stand at the path of a file of ours or of the desktop's: only a
// regular file within its reader's bound is read, the rest is skipped with one
// line that names it and says why, and nothing waits (a FIFO without a writer
// would hold the reader for ever; /dev/zero would fill its memory).
TEST(OwnFile, OnlyARegularFileWithinItsBoundIsRead)
{
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QString notes = home.writeFile(QStringLiteral("notes.conf"), "twelve bytes");
    const OwnFile::Rule followed{12, Links::followed};
    const OwnFile::Rule notFollowed{12, Links::notFollowed};

    const Read whole = readOf(notes, followed);
    EXPECT_EQ(whole.status, Status::open);
    EXPECT_EQ(whole.bytes, "twelve bytes");
    EXPECT_TRUE(whole.said.isEmpty());

    const Read tooLarge = readOf(notes, {11, Links::followed});
    EXPECT_EQ(tooLarge.status, Status::tooLarge);
    EXPECT_TRUE(tooLarge.bytes.isEmpty());
    ASSERT_EQ(tooLarge.said.size(), 1);
    EXPECT_TRUE(tooLarge.said.front().contains(notes));
    EXPECT_TRUE(tooLarge.said.front().contains(u"12 bytes"));
    // Read whole again in between, it is said again.
    EXPECT_EQ(readOf(notes, followed).status, Status::open);
    EXPECT_EQ(readOf(notes, {11, Links::followed}).said.size(), 1);

    const Read missing = readOf(home.path(QStringLiteral("missing.conf")), followed);
    EXPECT_EQ(missing.status, Status::absent);
    EXPECT_TRUE(missing.said.isEmpty()) << "a file not there yet is no fault";

    const QString fifo = home.path(QStringLiteral("fifo.conf"));
    ASSERT_TRUE(test::makeFifo(fifo));
    Read fromFifo;
    EXPECT_TRUE(test::endsBeside(fifo, [&] { fromFifo = readOf(fifo, followed); }));
    EXPECT_EQ(fromFifo.status, Status::notRegular);
    ASSERT_EQ(fromFifo.said.size(), 1);
    EXPECT_TRUE(fromFifo.said.front().contains(fifo));
    EXPECT_TRUE(fromFifo.said.front().contains(u"FIFO"));
    Read again;
    EXPECT_TRUE(test::endsBeside(fifo, [&] { again = readOf(fifo, followed); }));
    EXPECT_EQ(again.status, Status::notRegular);
    EXPECT_TRUE(again.said.isEmpty()) << "said once, not at every read";

    const QString socketPath = home.path(QStringLiteral("s.sock"));
    const int sock = test::makeSocket(socketPath);
    ASSERT_GE(sock, 0);
    EXPECT_EQ(readOf(socketPath, followed).status, Status::notRegular);
    ::close(sock);

    const QString zero = home.path(QStringLiteral("zero.conf"));
    ASSERT_EQ(::symlink("/dev/zero", local(zero).constData()), 0);
    const Read fromZero = readOf(zero, followed);
    EXPECT_EQ(fromZero.status, Status::notRegular);
    EXPECT_TRUE(fromZero.bytes.isEmpty());
    EXPECT_EQ(fromZero.said.size(), 1);
    EXPECT_EQ(readOf(home.root(), followed).status, Status::notRegular);

    // A link to a regular file is gone through only where its reader says so.
    const QString link = home.path(QStringLiteral("link.conf"));
    ASSERT_EQ(::symlink(local(notes).constData(), local(link).constData()), 0);
    EXPECT_EQ(readOf(link, followed).bytes, "twelve bytes");
    const Read notThrough = readOf(link, notFollowed);
    EXPECT_EQ(notThrough.status, Status::notRegular);
    EXPECT_TRUE(notThrough.bytes.isEmpty());
    ASSERT_EQ(notThrough.said.size(), 1);
    EXPECT_TRUE(notThrough.said.front().contains(u"symbolic link"));
}

// The file stays open for readers that map it or stream it, and the open
// itself counts as one of the GUI thread's reads.
TEST(OwnFile, AnOpenFileKeepsItsFactsAndTheGuiThreadCheckHoldsForIt)
{
    TestHome home;
    const QString notes = home.writeFile(QStringLiteral("notes.conf"), "twelve bytes", 1.7e9);
    {
        const UserFile::AllowOnThisThread directReads;
        OwnFile file = OwnFile::open(notes, {1024, Links::notFollowed});
        ASSERT_TRUE(file.isOpen());
        EXPECT_GE(file.fd(), 0);
        EXPECT_EQ(file.size(), 12u);
        EXPECT_EQ(file.modifiedNs(), std::int64_t(1.7e9) * 1000000000);
        EXPECT_EQ(file.readAll(), "twelve bytes");
        EXPECT_EQ(file.readAll(), "twelve bytes") << "read from its start each time";
    }
    EXPECT_DEATH(OwnFile::read(notes, {1024, Links::followed}), "GUI thread opened .*notes.conf");
}
